#include "AddOnMain.hpp"

#include <exception>
#include <new>

#include "BackupFile/EarlierVersionFiles.hpp"
#include "BackupFile/ValueBackupWriter.hpp"
#include "Common/Messages.hpp"
#include "ConfigurationImport/ConfigurationImport.hpp"
#include "ConfigurationImport/ExpressionPreservation.hpp"
#include "DG/DG.hpp"
#include "Host/HostCalls.hpp"
#include "ModuleState.hpp"
#include "Report/RunReport.hpp"
#include "Restore/ValueRestore.hpp"
#include "Run/UpdateRun.hpp"
#include "Store/RunStore.hpp"

namespace Quillmere {

Int32 GuardedIdentify(API_EnvirParams* environment)
{
    if (!Binding.serviceTableBound)
        return 0;
    // A failed lookup leaves the text as it was; the host then shows no name.
    RSGetIndString(&environment->addOnInfo.name, AddOnInfoStringsResID, 1, TheModule.resources, 0, __FILE__, __LINE__);
    RSGetIndString(&environment->addOnInfo.description, AddOnInfoStringsResID, 2, TheModule.resources, 0, __FILE__,
                   __LINE__);
    return 1;
}

GSErrCode GuardedRegister(API_RegistrationContext* /*registration*/)
{
    if (!Binding.serviceTableBound)
        return ModuleNotBound;
    const API_MenuRequest request{.menuStrResID = MenuStringsResID, .menuPosCode = 5};
    return HostAddMenu(&request);
}

GSErrCode GuardedInitialize(API_HostContext* context)
{
    if (!Binding.serviceTableBound)
        return ModuleNotBound;
    Binding.hostContext = context;
    return HostSetMenuHandler(MenuStringsResID, &MenuCommandHandler);
}

GSErrCode GuardedRelease()
{
    if (!Binding.serviceTableBound)
        return ModuleNotBound;
    Binding.hostContext = nullptr;
    return NoError;
}

namespace {

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
    // What was saved comes back into whatever definitions the property import made; the run says
    // it completed only when every step succeeded.
    bool completed = ImportConfiguration(*configuration, run);
    if (run.propertiesImported) {
        completed = ImportExpressions(run) && completed;
        completed = RestoreElementValues(run) && completed;
    }
    // Whatever did not come back stays for a later run, and the user is told once it is kept.
    KeepForLaterRuns(run);
    ReportWhatWasNotBroughtBack(run);
    if (completed)
        DGAlert(DG_INFORMATION, GS::UniString(Messages::CompletionAlertTitle), GS::UniString(Messages::CompletionAlertText),
                GS::UniString(""), GS::UniString(Messages::CompletionAlertButton), GS::UniString(""), GS::UniString(""));
}

// Tells the user that the command stopped early, for `reason`, or because memory ran out when it is
// nullptr or when no line can be made for it. Must not throw: it runs while an exception is being
// handled.
void ReportStoppedCommand(const char* reason) noexcept
{
    try {
        if (reason != nullptr)
            return ReportLine(Messages::StoppedCommandLine, {reason});
    } catch (...) {
    }
    try {
        HostReportMessage(&TheModule.outOfMemoryLine, 0);
    } catch (...) {
    }
}

}  // namespace

GSErrCode MenuCommandHandler(const MenuCommandParams* params)
{
    if (params->menuResID != MenuStringsResID || params->itemIndex != 1)
        return NoError;
    // Nothing may escape into the host: an unexpected failure ends the command with one report line,
    // and the project stays as the finished undoable steps left it. The exception may come from the
    // platform library or a host service as well as from the module itself.
    try {
        UpdateCommand();
    } catch (const std::bad_alloc&) {
        ReportStoppedCommand(nullptr);
    } catch (const std::exception& failure) {
        ReportStoppedCommand(failure.what());
    } catch (...) {
        ReportStoppedCommand("unknown error");
    }
    return NoError;
}

}  // namespace Quillmere
