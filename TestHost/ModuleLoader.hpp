// Loading an add-on module file as a host does: read its texts from the file's resources, load it
// (dlopen / LoadLibrary), find its two exported functions, and then drive it through the export
// record's entry points. Independent of any particular host: the caller brings the service table
// and the context pointers.
#pragma once

#include <filesystem>
#include <string>

#include "Api/Api.hpp"

namespace TestHost {

// What went wrong with a module.
enum class ModuleError {
    None,
    FileNotFound,       // no file at the path
    NotAModule,         // not a module file of this system, or the system refused to load it
    MissingResources,   // a module without the name, description or menu text
    MissingExport,      // an exported function or an entry point of the export record is missing
    NotLoaded,          // an operation that needs a loaded module
    BindFailed,         // SetImportedFuncAddrs answered an error code
    IdentifyRefused,    // the identify entry point answered 0
    RegisterFailed,     // the register entry point answered an error code
    InitializeFailed,   // the initialize entry point answered an error code
};

// A short English description of `error`.
const char* DescribeModuleError(ModuleError error);

// The texts a host shows for a module before running any of its code.
struct ModuleDescription {
    std::string name;         // item 1 of "STRS" 32000
    std::string description;  // item 2 of "STRS" 32000
    std::string menuText;     // item 1 of "STRS" 32500
};

// Reads `file`'s description from its resources without loading it. Returns None, or the reason
// (FileNotFound, NotAModule, MissingResources) with `description` untouched; `detail`, when given,
// receives a sentence for messages.
ModuleError ReadModuleDescription(const std::filesystem::path& file, ModuleDescription& description,
                                  std::string* detail = nullptr);

using GetExportedFuncAddrsProc = void (*)(ExportRecord* exports);
using SetImportedFuncAddrsProc = GSErrCode (*)(const API_ServiceEntry* table);

// One module file loaded into the process. The destructor unloads it (without calling release:
// a host that wants an orderly end calls Release first).
class ModuleLoader {
public:
    ModuleLoader() = default;
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;
    ~ModuleLoader();

    // Reads the description from `file`, loads it and finds its exported functions. On failure
    // nothing stays loaded and the reason is returned; ErrorDetail() says more. A module already
    // loaded by this object is unloaded first.
    ModuleError Load(const std::filesystem::path& file);
    // Unloads the module (dlclose / FreeLibrary). Returns true when its file has left the process,
    // false when it stays (loaded elsewhere too, or pinned by the system) or nothing was loaded.
    bool Unload();

    bool IsLoaded() const noexcept { return handle != nullptr; }
    // The absolute path the module was loaded from.
    const std::filesystem::path& File() const noexcept { return file; }
    const ModuleDescription& Description() const noexcept { return description; }
    const std::string& ErrorDetail() const noexcept { return errorDetail; }
    // The module's exported functions; nullptr when not loaded.
    GetExportedFuncAddrsProc ExportedFunctions() const noexcept { return getExported; }
    SetImportedFuncAddrsProc ImportedFunctions() const noexcept { return setImported; }

    // Calls GetExportedFuncAddrs into `exports`. NotLoaded without a module.
    ModuleError GetExports(ExportRecord& exports);
    // Calls SetImportedFuncAddrs with `table` and puts its answer into `code`.
    ModuleError Bind(const API_ServiceEntry* table, GSErrCode* code = nullptr);

    // Runs a host's start sequence: the export record, the service table, then identify (which
    // fills `environment`), register and initialize through the record. Stops at the first step
    // that fails; `code` receives that step's answer (0 when all succeeded).
    ModuleError Start(const API_ServiceEntry* table, API_EnvirParams& environment,
                      API_RegistrationContext* registration, API_HostContext* context, GSErrCode* code = nullptr);
    // The export record of the last GetExports or Start.
    const ExportRecord& Exports() const noexcept { return exports; }
    // Calls the release entry point of the export record; NotLoaded when there is none.
    ModuleError Release(GSErrCode* code = nullptr);

    // True when the module file at `file` is loaded in this process (by anyone).
    static bool IsModuleFileLoaded(const std::filesystem::path& file);

private:
    void* handle = nullptr;
    std::filesystem::path file;
    ModuleDescription description;
    std::string errorDetail;
    GetExportedFuncAddrsProc getExported = nullptr;
    SetImportedFuncAddrsProc setImported = nullptr;
    ExportRecord exports;
};

}  // namespace TestHost
