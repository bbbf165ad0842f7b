// Saves the values elements hold for owned properties into the value backup file, before the
// owned groups are removed.
#pragma once

// Visits every element, collects the values it really holds (status 2, not the default) for
// owned definitions, and writes them all to the backup file at the end. Failures are reported
// ("Error 1: %d" to "Error 4: %d", "Backup Write Error: %d"); a backup that cannot be completed
// leaves the earlier file as it was.
void BackupElementValues();
