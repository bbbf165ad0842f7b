// The add-on's one command, from the first phase to the completion alert.
#pragma once

namespace Quillmere {

// Runs the update command once (UpdateCommand.cpp lists its phases and what decides between them).
// Failures are reported to the host's report window by the phase that meets them.
void UpdateCommand();

}  // namespace Quillmere
