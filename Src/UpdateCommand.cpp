#include "UpdateCommand.hpp"

#include "Common/Messages.hpp"
#include "ConfigurationImport/ConfigurationImport.hpp"
#include "ConfigurationImport/ExpressionPreservation.hpp"
#include "ConfigurationImport/GroupRemoval.hpp"
#include "DG/DG.hpp"
#include "Host/HostCalls.hpp"
#include "Report/RunReport.hpp"
#include "Run/UpdateRun.hpp"
#include "Store/RunStore.hpp"
#include "BackupFile/EarlierVersionFiles.hpp"
#include "BackupFile/ValueBackupWriter.hpp"
#include "Restore/ValueRestore.hpp"

namespace Quillmere {

namespace {

void ShowCompletionAlert()
{
    DGAlert(DG_INFORMATION, GS::UniString(Messages::CompletionAlertTitle), GS::UniString(Messages::CompletionAlertText),
            GS::UniString(""), GS::UniString(Messages::CompletionAlertButton), GS::UniString(""), GS::UniString(""));
}

// Imports the chosen configuration, and brings back what was saved into whatever definitions the
// property import made. Answers whether all of it succeeded, so that the run may say so.
bool ImportAndBringBack(UpdateRun& run, const Configuration& configuration)
{
    const ImportCodes imported = ImportConfiguration(configuration);
    run.importRan = true;
    run.propertiesImported = imported.properties == NoError;
    if (!run.propertiesImported)
        return false;  // no definitions to bring anything back into
    const bool expressionsImported = ImportExpressions(run);
    const bool valuesRestored = RestoreElementValues(run);
    return imported.classifications == NoError && expressionsImported && valuesRestored;
}

}  // namespace

// One run, in order. Nothing is changed before a configuration is chosen and read: a cancelled
// dialog, or a file that cannot be read, leaves the project and every file as they were. What a
// phase learns goes into `run` for the phases after it.
void UpdateCommand()
{
    const std::optional<Configuration> configuration = ChooseConfiguration();
    if (!configuration)
        return;  // cancelled (nothing said), or the file cannot be read (said)
    UpdateRun run;
    run.configuration = configuration->path;
    run.renamesPath = RenameTablePathBeside(configuration->path);
    run.renames = ReadRenameTableBeside(*configuration);
    OpenStore(run);
    TakeEarlierVersionFiles(run);
    ReadWhetherStoreHoldsAnything(run);
    // Save what the owned groups carry; what cannot be saved, or made safe on disk, is not removed.
    if (!ExportExpressions(run) || !BackupElementValues(run)) {
        ReportLine(Messages::NothingRemovedLine, {});
        return;
    }
    if (!KeepSavedBeforeRemoval(run))
        return;
    RemoveOwnedPropertyGroups();
    const bool completed = ImportAndBringBack(run, *configuration);
    // Whatever did not come back stays for a later run, and the user is told once it is kept.
    KeepForLaterRuns(run);
    ReportWhatWasNotBroughtBack(run);
    if (completed)
        ShowCompletionAlert();
}

}  // namespace Quillmere
