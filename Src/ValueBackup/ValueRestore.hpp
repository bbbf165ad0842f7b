// Writes the saved values back onto the elements after the import, and tells the user that the
// import is complete.
#pragma once

namespace Quillmere {

// Writes each value of this command's backup to its element under the owned definition with the
// same group and property names, reporting each value the host refuses, and ends with the
// completion alert. A command that built no backup (it could not list the elements, or the project
// held no owned group) restores from the file an earlier run left: a file that cannot be read is
// reported as one line and restores nothing; without "USERPROFILE" nothing is read and no alert is
// shown.
void RestoreElementValues();

}  // namespace Quillmere
