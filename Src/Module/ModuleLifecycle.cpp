// Load and unload of the module file. Load runs after the module-wide objects are constructed and
// unload before they are destroyed: on Windows the C runtime constructs statics before DllMain's
// process attach and destroys them after its detach; on Linux the attachment object below has the
// default construction priority, later than the module-wide objects that ask for an earlier one,
// and so it is destroyed before them.
#include "AddOnMain.hpp"
#include "GSRoot/GSRoot.hpp"
#include "Host/HostBinding.hpp"
#include "RS/RS.hpp"
#include "Win/Win.hpp"

#if !defined(_WIN32)
#  include <dlfcn.h>
#endif

namespace {

// The module's instance handle and file path, recorded at load.
GSInstance ModuleInstance = nullptr;
WCHAR ModuleFilePath[MAX_PATH] = {};

// The recorded path as UTF-8 text.
GS::UniString ModuleFilePathText()
{
    USize length = 0;
    while (length < MAX_PATH && ModuleFilePath[length] != 0)
        ++length;
    return GS::UniString(reinterpret_cast<const char16_t*>(ModuleFilePath), length);
}

// Registers the file dialog's message, records the instance and the file path, and opens the
// module's resources. Always succeeds; without readable resources the handle stays -1.
void LoadModule(GSInstance instance)
{
    RegisterWindowMessageW(QM_WIDE("commdlg_FileNameOK"));
    ModuleInstance = instance;
    GetModuleFileNameW(static_cast<HMODULE>(ModuleInstance), ModuleFilePath, MAX_PATH);
    ResourceModuleHandle = RSInitModuleImageCache(ModuleInstance);
}

// Closes the resources and, when the host never released the add-on, says so on the debug output.
void UnloadModule()
{
    if (ResourceModuleHandle != InvalidResModule) {
        RSRemoveModuleImageCache(ResourceModuleHandle);
        ResourceModuleHandle = InvalidResModule;
    }
    if (HostContext != nullptr) {
        const GS::UniString path = ModuleFilePathText();
        DBPrintf("Abnormal add-on termination (\"%s\")", path.ToCStr().Get());
        DBPrintf("\n");
        HostContext = nullptr;
    }
}

}  // namespace

#if defined(__GLIBCXX__)

// Frees the emergency exception pool of the C++ runtime linked into the module; declared by no
// header, meant for memory checkers.
namespace __gnu_cxx {
void __freeres();
}

namespace {

// The module's own C++ runtime takes about 70 KB of malloc for its emergency exception pool and
// never gives it back, so every load and unload would leak it. This object is constructed before
// and destroyed after every other module-wide object: when nothing of the module runs any more.
struct RuntimePoolRelease {
    RuntimePoolRelease() = default;
    ~RuntimePoolRelease() { __gnu_cxx::__freeres(); }
    RuntimePoolRelease(const RuntimePoolRelease&) = delete;
    RuntimePoolRelease& operator=(const RuntimePoolRelease&) = delete;
};

__attribute__((init_priority(101))) const RuntimePoolRelease runtimePoolRelease;

}  // namespace

#endif

#if defined(_WIN32)

// The library's notifications from Windows; thread attach and detach need nothing.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH)
        LoadModule(instance);
    else if (reason == DLL_PROCESS_DETACH)
        UnloadModule();
    return TRUE;
}

#else

namespace {

// Stands in for the process attach and detach notifications: built when the module is loaded,
// destroyed when it is unloaded. The instance handle is where the module file is mapped.
struct ModuleAttachment {
    ModuleAttachment()
    {
        Dl_info info{};
        LoadModule(dladdr(&ModuleFilePath, &info) != 0 ? info.dli_fbase : nullptr);
    }
    ~ModuleAttachment() { UnloadModule(); }
    ModuleAttachment(const ModuleAttachment&) = delete;
    ModuleAttachment& operator=(const ModuleAttachment&) = delete;
};

const ModuleAttachment attachment;

}  // namespace

#endif
