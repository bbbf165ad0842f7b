// What the add-on's earlier version kept in files beside the value backup: the history file
// "IFC_SG_Properties.history.xml" (the expression lists no run had brought back, and its record of
// the backup file) and "IFC_SG_Properties.N.xml" (the values run N had not brought back, the
// backup's format with "run" on the root). They are taken into the store once, as belonging to no
// project known, and then renamed ("NAME.in-store-STAMP.xml") so that no later run takes them
// again; a backup file that history records as not yet settled (a run that ended before bringing
// its values back) is taken in too and stays where it is.
#pragma once

#include "Run/UpdateRun.hpp"

namespace Quillmere {

// Takes the earlier version's files into the run's store, when there is a history file; a file that
// cannot be read is reported (EarlierFileUnreadableLine) and stays where it is.
void TakeEarlierVersionFiles(UpdateRun& run);

}  // namespace Quillmere
