#include "UpdateCommand.hpp"

#include "Common/Messages.hpp"
#include "ConfigurationImport/ConfigurationImport.hpp"
#include "ConfigurationImport/ExpressionPreservation.hpp"
#include "ConfigurationImport/GroupRemoval.hpp"
#include "DG/DG.hpp"
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

    // Save what the owned groups carry.
    ExportExpressions();
    BackupElementValues(run);
    // Replace the owned groups.
    RemoveOwnedPropertyGroups();
    const std::optional<Configuration> configuration = ChooseConfiguration();
    if (!configuration)
        return;  // cancelled, or the file cannot be opened: nothing more, and nothing said
    run.renames = ReadRenameTableBeside(*configuration);
    const ImportCodes imported = ImportConfiguration(*configuration);
    if (imported.classifications != NoError || imported.properties != NoError)
        return;
    // Bring back what was saved.
    if (!ImportExpressions(run))
        return;
    if (RestoreElementValues(run))
        ShowCompletionAlert();
}

}  // namespace Quillmere
