// Writes the values saved in the backup file back onto the elements after the import, and tells
// the user that the import is complete.
#pragma once

// Reads the backup file and writes each saved value to its element under the owned definition
// with the same group and property names, reporting each value the host refuses. Ends with the
// completion alert. A backup that cannot be read is reported as one line and restores nothing;
// without "USERPROFILE" nothing is read and no alert is shown.
void RestoreElementValues();
