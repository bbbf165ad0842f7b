#include "UpdateCommand.hpp"

#include "Common/Messages.hpp"
#include "ConfigurationImport/ConfigurationImport.hpp"
#include "ConfigurationImport/ExpressionPreservation.hpp"
#include "ConfigurationImport/GroupRemoval.hpp"
#include "DG/DG.hpp"
#include "Host/HostCalls.hpp"
#include "Run/UpdateRun.hpp"
#include "ValueBackup/ValueBackupWriter.hpp"
#include "ValueBackup/ValueRestore.hpp"

namespace Quillmere {

namespace {

void ShowCompletionAlert()
{
    DGAlert(DG_INFORMATION, GS::UniString(Messages::CompletionAlertTitle), GS::UniString(Messages::CompletionAlertText),
            GS::UniString(""), GS::UniString(Messages::CompletionAlertButton), GS::UniString(""), GS::UniString(""));
}

}  // namespace

// One run, in order. What a phase learns goes into `run` for the phases after it; the expression
// lists saved by the export live in the module's ExpressionStore, since a run that ends early
// leaves them for a later one.
void UpdateCommand()
{
    UpdateRun run;

    // Save what the owned groups carry; what cannot be saved must not be removed.
    if (!ExportExpressions() || !BackupElementValues(run)) {
        ReportLine(Messages::NothingRemovedLine, {});
        return;
    }
    // Replace the owned groups.
    RemoveOwnedPropertyGroups();
    const std::optional<Configuration> configuration = ChooseConfiguration();
    if (!configuration)
        return;  // cancelled, or the file cannot be opened: nothing more, and nothing said
    run.renames = ReadRenameTableBeside(*configuration);
    const ImportCodes imported = ImportConfiguration(*configuration);
    if (imported.properties != NoError)
        return;  // no definitions to bring anything back into
    // Bring back what was saved, into whatever definitions the property import made.
    const bool expressionsImported = ImportExpressions(run);
    const bool valuesRestored = RestoreElementValues(run);
    if (imported.classifications == NoError && expressionsImported && valuesRestored)
        ShowCompletionAlert();
}

}  // namespace Quillmere
