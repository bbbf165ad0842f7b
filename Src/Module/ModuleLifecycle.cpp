// Load and unload of the module file: the steps that run after the module's state is made and
// before it is destroyed (ModuleState.hpp).
#include <string_view>

#include "GSRoot/GSRoot.hpp"
#include "ModuleState.hpp"
#include "RS/RS.hpp"
#include "Store/Sqlite.hpp"
#include "Win/Win.hpp"

#if !defined(_WIN32)
#  include <dlfcn.h>
#endif

namespace {

using Quillmere::TheModule;

// Registers the file dialog's message, records the file path, and opens the module's resources.
// Always succeeds; without readable resources the handle stays -1.
void LoadModule(GSInstance instance)
{
    // The common dialog's message for a hook to check a chosen name: registered at load as the
    // host's add-ons do, so that it exists before any dialog runs. The module installs no hook and
    // never sends it, so its number is not kept.
    RegisterWindowMessageW(QM_WIDE("commdlg_FileNameOK"));
    GetModuleFileNameW(static_cast<HMODULE>(instance), TheModule.filePath, MAX_PATH);
    TheModule.resources = RSInitModuleImageCache(instance);
}

// Closes the resources, releases what SQLite keeps between runs and, when the host never released
// the add-on, says so on the debug output.
void UnloadModule()
{
    Quillmere::ShutDownSqlite();
    if (TheModule.resources != InvalidResModule)
        RSRemoveModuleImageCache(TheModule.resources);
    if (TheModule.binding.hostContext != nullptr) {
        // The path is always NUL-terminated: GetModuleFileNameW cuts a long one to fit.
        const std::u16string_view units(reinterpret_cast<const char16_t*>(TheModule.filePath));
        const GS::UniString path(units.data(), static_cast<USize>(units.size()));
        DBPrintf("Abnormal add-on termination (\"%s\")", path.ToCStr().Get());
        DBPrintf("\n");
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
    ~RuntimePoolRelease() { __gnu_cxx::__freeres(); }
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
        LoadModule(dladdr(&TheModule, &info) != 0 ? info.dli_fbase : nullptr);
    }
    ~ModuleAttachment() { UnloadModule(); }
};

const ModuleAttachment attachment;

}  // namespace

#endif
