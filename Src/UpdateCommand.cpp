#include "UpdateCommand.hpp"

#include "Common/Messages.hpp"
#include "ConfigurationImport/ConfigurationImport.hpp"
#include "ConfigurationImport/ExpressionPreservation.hpp"
#include "ConfigurationImport/GroupRemoval.hpp"
#include "DG/DG.hpp"
#include "Host/HostCalls.hpp"
#include "Run/UpdateRun.hpp"
#include "ValueBackup/HistoryFiles.hpp"
#include "ValueBackup/KeepForLaterRuns.hpp"
#include "ValueBackup/ValueBackupWriter.hpp"
#include "ValueBackup/ValueRestore.hpp"

namespace Quillmere {

namespace {

void ShowCompletionAlert()
{
    DGAlert(DG_INFORMATION, GS::UniString(Messages::CompletionAlertTitle), GS::UniString(Messages::CompletionAlertText),
            GS::UniString(""), GS::UniString(Messages::CompletionAlertButton), GS::UniString(""), GS::UniString(""));
}

// Lets the user choose the configuration, imports it, and brings back what was saved into whatever
// definitions the property import made. Answers whether all of it succeeded, so that the run may say so.
bool ImportAndBringBack(UpdateRun& run)
{
    const std::optional<Configuration> configuration = ChooseConfiguration();
    if (!configuration)
        return false;  // cancelled (nothing said), or the file cannot be read (said)
    run.renamesPath = RenameTablePathBeside(configuration->path);
    run.renames = ReadRenameTableBeside(*configuration);
    const ImportCodes imported = ImportConfiguration(*configuration);
    run.importRan = true;
    run.propertiesImported = imported.properties == NoError;
    if (!run.propertiesImported)
        return false;  // no definitions to bring anything back into
    const bool expressionsImported = ImportExpressions(run);
    const bool valuesRestored = RestoreElementValues(run);
    return imported.classifications == NoError && expressionsImported && valuesRestored;
}

}  // namespace

// One run, in order. What a phase learns goes into `run` for the phases after it.
void UpdateCommand()
{
    UpdateRun run;
    ReadEarlierRuns(run);
    // Save what the owned groups carry; what cannot be saved must not be removed.
    if (!ExportExpressions(run) || !BackupElementValues(run)) {
        ReportLine(Messages::NothingRemovedLine, {});
        return;
    }
    KeepSavedExpressions(run);
    RemoveOwnedPropertyGroups();
    const bool completed = ImportAndBringBack(run);
    // Whatever did not come back stays for a later run, and the user is told.
    KeepForLaterRuns(run);
    ReportWhatWasNotBroughtBack(run);
    if (completed)
        ShowCompletionAlert();
}

}  // namespace Quillmere
