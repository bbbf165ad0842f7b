#include "AddOnMain.hpp"

#include <exception>
#include <new>

#include "Common/Messages.hpp"
#include "Host/HostCalls.hpp"
#include "ModuleState.hpp"
#include "UpdateCommand.hpp"

namespace Quillmere {

void IdentifyAddOn(API_EnvirParams* environment)
{
    // A failed lookup leaves the text as it was; the host then shows no name.
    RSGetIndString(&environment->addOnInfo.name, AddOnInfoStringsResID, 1, TheModule.resources, 0, __FILE__, __LINE__);
    RSGetIndString(&environment->addOnInfo.description, AddOnInfoStringsResID, 2, TheModule.resources, 0, __FILE__,
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

namespace {

// Tells the user that the command stopped early, for `reason`, or because memory ran out when it is
// nullptr or when no line can be made for it. Must not throw: it runs while an exception is being
// handled.
void ReportStoppedCommand(const char* reason) noexcept
{
    if (reason != nullptr) {
        try {
            ReportLine(Messages::StoppedCommandLine, {reason});
            return;
        } catch (...) {
        }
    }
    try {
        ReportText(TheModule.outOfMemoryLine);
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
