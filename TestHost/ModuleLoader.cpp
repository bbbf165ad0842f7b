#include "ModuleLoader.hpp"

#include <system_error>
#include <vector>

#include "RS/ResourceFile.hpp"

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

namespace TestHost {

namespace {

constexpr UInt16 AddOnInfoStrings = 32000;
constexpr UInt16 MenuStrings = 32500;
constexpr char GetExportedName[] = "GetExportedFuncAddrs";
constexpr char SetImportedName[] = "SetImportedFuncAddrs";

#if defined(_WIN32)

std::string DescribeLastError()
{
    const DWORD code = GetLastError();
    char* text = nullptr;
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length != 0 ? std::string(text, length) : "error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

// Dependencies of the module are looked for next to it, as the host finds its add-ons' platform.
void* OpenLibrary(const std::filesystem::path& file, std::string& detail)
{
    HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr)
        detail = DescribeLastError();
    return module;
}

void* FindSymbol(void* handle, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void CloseLibrary(void* handle)
{
    FreeLibrary(static_cast<HMODULE>(handle));
}

#else

void* OpenLibrary(const std::filesystem::path& file, std::string& detail)
{
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = dlerror();
        detail = error != nullptr ? error : "dlopen failed";
    }
    return handle;
}

void* FindSymbol(void* handle, const char* name)
{
    return dlsym(handle, name);
}

void CloseLibrary(void* handle)
{
    dlclose(handle);
}

#endif

ModuleError ReadDescription(const std::filesystem::path& file, ModuleDescription& description, std::string& detail)
{
    RSModuleFile module;
    const RSFileError error = module.Open(file);
    if (error != RSFileError::None) {
        detail = file.string() + ": " + RSDescribeFileError(error);
        switch (error) {
        case RSFileError::FileNotFound:
            return ModuleError::FileNotFound;
        case RSFileError::NotAModule:
            return ModuleError::NotAModule;
        default:
            return ModuleError::MissingResources;
        }
    }
    std::vector<UInt8> info;
    std::vector<UInt8> menu;
    const RSResourceKey strings = RSResourceKey::Named("STRS");
    ModuleDescription read;
    if (module.ReadResource(strings, RSResourceKey::Number(AddOnInfoStrings), info) != RSFileError::None ||
        module.ReadResource(strings, RSResourceKey::Number(MenuStrings), menu) != RSFileError::None ||
        !RSGetStringItem(info, 1, read.name) || !RSGetStringItem(info, 2, read.description) ||
        !RSGetStringItem(menu, 1, read.menuText)) {
        detail = file.string() + ": the module lacks its name, description or menu text";
        return ModuleError::MissingResources;
    }
    description = std::move(read);
    return ModuleError::None;
}

}  // namespace

const char* DescribeModuleError(ModuleError error)
{
    switch (error) {
    case ModuleError::None:
        return "no error";
    case ModuleError::FileNotFound:
        return "the module file does not exist";
    case ModuleError::NotAModule:
        return "the file is not a loadable module";
    case ModuleError::MissingResources:
        return "the module lacks its name, description or menu text";
    case ModuleError::MissingExport:
        return "the module lacks an exported function or entry point";
    case ModuleError::NotLoaded:
        return "no module is loaded";
    case ModuleError::BindFailed:
        return "the module refused the service table";
    case ModuleError::IdentifyRefused:
        return "the module did not identify itself";
    case ModuleError::RegisterFailed:
        return "the module's registration failed";
    case ModuleError::InitializeFailed:
        return "the module's initialization failed";
    }
    return "unknown error";
}

ModuleError ReadModuleDescription(const std::filesystem::path& file, ModuleDescription& description,
                                  std::string* detail)
{
    std::string text;
    const ModuleError error = ReadDescription(file, description, text);
    if (detail != nullptr)
        *detail = text;
    return error;
}

ModuleLoader::~ModuleLoader()
{
    Unload();
}

ModuleError ModuleLoader::Load(const std::filesystem::path& path)
{
    Unload();
    errorDetail.clear();
    // A bare file name would make the system search its library folders instead of this file.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error).lexically_normal();
    if (error || !std::filesystem::is_regular_file(absolute, error)) {
        errorDetail = path.string() + ": no such file";
        return ModuleError::FileNotFound;
    }
    ModuleDescription read;
    if (const ModuleError failure = ReadDescription(absolute, read, errorDetail); failure != ModuleError::None)
        return failure;

    void* opened = OpenLibrary(absolute, errorDetail);
    if (opened == nullptr)
        return ModuleError::NotAModule;
    const auto getter = reinterpret_cast<GetExportedFuncAddrsProc>(FindSymbol(opened, GetExportedName));
    const auto setter = reinterpret_cast<SetImportedFuncAddrsProc>(FindSymbol(opened, SetImportedName));
    if (getter == nullptr || setter == nullptr) {
        errorDetail = absolute.string() + ": " + (getter == nullptr ? GetExportedName : SetImportedName) +
                      " is not exported";
        CloseLibrary(opened);
        return ModuleError::MissingExport;
    }
    handle = opened;
    file = absolute;
    description = std::move(read);
    getExported = getter;
    setImported = setter;
    exports = ExportRecord{};
    return ModuleError::None;
}

bool ModuleLoader::Unload()
{
    if (handle == nullptr)
        return false;
    CloseLibrary(handle);
    handle = nullptr;
    getExported = nullptr;
    setImported = nullptr;
    exports = ExportRecord{};
    return !IsModuleFileLoaded(file);
}

ModuleError ModuleLoader::GetExports(ExportRecord& record)
{
    if (handle == nullptr)
        return ModuleError::NotLoaded;
    getExported(&record);
    return ModuleError::None;
}

ModuleError ModuleLoader::Bind(const API_ServiceEntry* table, GSErrCode* code)
{
    if (handle == nullptr)
        return ModuleError::NotLoaded;
    const GSErrCode answer = setImported(table);
    if (code != nullptr)
        *code = answer;
    return answer == NoError ? ModuleError::None : ModuleError::BindFailed;
}

ModuleError ModuleLoader::Start(const API_ServiceEntry* table, API_EnvirParams& environment,
                                API_RegistrationContext* registration, API_HostContext* context, GSErrCode* code)
{
    GSErrCode answer = NoError;
    const auto finish = [&](ModuleError error) {
        if (code != nullptr)
            *code = answer;
        return error;
    };
    if (handle == nullptr)
        return finish(ModuleError::NotLoaded);
    getExported(&exports);
    if (exports.identify == nullptr || exports.registerMenu == nullptr || exports.initialize == nullptr ||
        exports.release == nullptr) {
        errorDetail = file.string() + ": the export record lacks an entry point";
        return finish(ModuleError::MissingExport);
    }
    if (const ModuleError error = Bind(table, &answer); error != ModuleError::None)
        return finish(error);
    if (exports.identify(&environment) == 0)
        return finish(ModuleError::IdentifyRefused);
    if ((answer = exports.registerMenu(registration)) != NoError)
        return finish(ModuleError::RegisterFailed);
    if ((answer = exports.initialize(context)) != NoError)
        return finish(ModuleError::InitializeFailed);
    return finish(ModuleError::None);
}

ModuleError ModuleLoader::Release(GSErrCode* code)
{
    if (handle == nullptr || exports.release == nullptr)
        return ModuleError::NotLoaded;
    const GSErrCode answer = exports.release();
    if (code != nullptr)
        *code = answer;
    return ModuleError::None;
}

bool ModuleLoader::IsModuleFileLoaded(const std::filesystem::path& path)
{
#if defined(_WIN32)
    HMODULE module = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, path.c_str(), &module) != 0;
#else
    void* probe = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (probe == nullptr)
        return false;
    dlclose(probe);
    return true;
#endif
}

}  // namespace TestHost
