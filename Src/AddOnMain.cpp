#include "AddOnMain.hpp"

#include <exception>
#include <new>
#include <string>

#include "ConfigurationImport/ConfigurationImport.hpp"
#include "ConfigurationImport/ExpressionPreservation.hpp"
#include "ConfigurationImport/GroupRemoval.hpp"
#include "Host/HostCalls.hpp"
#include "ValueBackup/CommandBackup.hpp"
#include "ValueBackup/ValueBackupWriter.hpp"

GSResModule ResourceModuleHandle = InvalidResModule;

void IdentifyAddOn(API_EnvirParams* environment)
{
    // A failed lookup leaves the text as it was; the host then shows no name.
    RSGetIndString(&environment->addOnInfo.name, AddOnInfoStringsResID, 1, ResourceModuleHandle, 0, __FILE__, __LINE__);
    RSGetIndString(&environment->addOnInfo.description, AddOnInfoStringsResID, 2, ResourceModuleHandle, 0, __FILE__,
                   __LINE__);
}

GSErrCode RegisterAddOnMenu()
{
    return HostAddMenu(MenuStringsResID, 0, 5, 0);
}

GSErrCode InitializeAddOn()
{
    return HostSetMenuHandler(MenuStringsResID, &MenuCommandHandler);
}

GSErrCode ReleaseAddOn()
{
    return NoError;
}

void UpdateCommand()
{
    // This command's backup lives until the command ends, however it ends.
    struct BackupRelease {
        ~BackupRelease() { CurrentCommandBackup().Clear(); }
    } releaseBackup;
    ExportExpressions();
    BackupElementValues();
    RemoveOwnedPropertyGroups();
    ImportConfiguration();
}

namespace {

constexpr const char* StoppedCommandText = "Import IFC-SG Classifications and Properties stopped: ";

// Made when the module loads: once memory has run out, no line could be made to say so.
const GS::UniString OutOfMemoryLine((std::string(StoppedCommandText) + "std::bad_alloc").c_str());

// Tells the user that the command stopped early. Must not throw: it runs while an exception is
// being handled, possibly because memory ran out; then the line made at load is sent instead.
void ReportStoppedCommand(const char* reason) noexcept
{
    try {
        ReportText(GS::UniString(StoppedCommandText) + GS::UniString(reason != nullptr ? reason : "unknown error"));
        return;
    } catch (...) {
    }
    try {
        ReportText(OutOfMemoryLine);
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
        try {
            ReportText(OutOfMemoryLine);
        } catch (...) {
        }
    } catch (const std::exception& failure) {
        ReportStoppedCommand(failure.what());
    } catch (...) {
        ReportStoppedCommand(nullptr);
    }
    return NoError;
}
