#include "AddOnMain.hpp"

#include <exception>

#include "ConfigurationImport/ConfigurationImport.hpp"
#include "ConfigurationImport/ExpressionPreservation.hpp"
#include "ConfigurationImport/OwnedGroups.hpp"
#include "Host/HostCalls.hpp"
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
    ExportExpressions();
    BackupElementValues();
    RemoveOwnedPropertyGroups();
    ImportConfiguration();
}

namespace {

// Tells the user that the command stopped early. Must not throw: it runs while an exception is
// being handled, possibly because memory ran out.
void ReportStoppedCommand(const char* reason) noexcept
{
    try {
        ReportText(GS::UniString("Import IFC-SG Classifications and Properties stopped: ") +
                   GS::UniString(reason != nullptr ? reason : "unknown error"));
    } catch (...) {
    }
}

}  // namespace

GSErrCode MenuCommandHandler(const MenuCommandParams* params)
{
    if (params->menuResID != MenuStringsResID || params->itemIndex != 1)
        return NoError;
    // Nothing may escape into the host: an unexpected failure ends the command with one report line,
    // and the project stays as the finished undoable steps left it.
    try {
        UpdateCommand();
    } catch (const std::exception& failure) {
        ReportStoppedCommand(failure.what());
    } catch (...) {
        ReportStoppedCommand(nullptr);
    }
    return NoError;
}
