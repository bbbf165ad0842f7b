// Saves the values elements hold for owned properties, before the owned groups are removed: in
// memory for this command's restore, and in the value backup file.
#pragma once

namespace Quillmere {

// Visits every element, collects the values it really holds (status 2, not the default) for
// owned definitions, keeps them for this command's restore and writes them all to the backup file
// at the end, through a temporary file that replaces it only when complete. Failures are reported
// ("Error 1: %d" to "Error 4: %d", "Backup Write Error: %d"); a backup that cannot be completed
// leaves the earlier file as it was. A project without owned groups gets no backup: the earlier
// file stays (one report line says so) for the restore.
void BackupElementValues();

}  // namespace Quillmere
