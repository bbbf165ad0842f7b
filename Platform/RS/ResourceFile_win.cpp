// Module files on Windows: the PE resources of a DLL, read through a data-file mapping so that
// none of the DLL's code runs.
#include "ResourceFile.hpp"

#include <string>
#include <windows.h>

struct RSModuleFile::Impl {
    HMODULE module = nullptr;
    bool owned = false;  // mapped by Open (released on Close), or a module the process loaded
};

namespace {

// The UTF-16 form of a key: a number travels as MAKEINTRESOURCEW, a name as text.
struct WideKey {
    explicit WideKey(const RSResourceKey& key) : text(key.name.begin(), key.name.end()), id(key.id) {}
    LPCWSTR Get() const { return text.empty() ? MAKEINTRESOURCEW(id) : text.c_str(); }
    std::wstring text;
    UInt16 id;
};

// The mapped image of a module handle; data-file mappings mark the low bits of the handle.
const BYTE* ImageBase(HMODULE module)
{
    return reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module) & ~static_cast<ULONG_PTR>(3));
}

bool IsModuleOfThisSystem(HMODULE module)
{
    const BYTE* base = ImageBase(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return false;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return nt->Signature == IMAGE_NT_SIGNATURE && nt->FileHeader.Machine == IMAGE_FILE_MACHINE_AMD64 &&
           (nt->FileHeader.Characteristics & IMAGE_FILE_DLL) != 0;
}

BOOL CALLBACK StopAtFirstType(HMODULE, LPWSTR, LONG_PTR found)
{
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

bool HasResources(HMODULE module)
{
    bool found = false;
    EnumResourceTypesW(module, &StopAtFirstType, reinterpret_cast<LONG_PTR>(&found));
    return found;
}

}  // namespace

RSModuleFile::RSModuleFile() noexcept : impl(nullptr) {}

RSModuleFile::~RSModuleFile()
{
    Close();
}

RSFileError RSModuleFile::Open(const std::filesystem::path& path)
{
    Close();
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return RSFileError::FileNotFound;
    const HMODULE module =
        LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_ACCESS_DENIED ||
                       error == ERROR_SHARING_VIOLATION
                   ? RSFileError::FileNotFound
                   : RSFileError::NotAModule;
    }
    if (!IsModuleOfThisSystem(module)) {
        FreeLibrary(module);
        return RSFileError::NotAModule;
    }
    if (!HasResources(module)) {
        FreeLibrary(module);
        return RSFileError::NoResources;
    }
    impl = new Impl{module, true};
    return RSFileError::None;
}

RSFileError RSModuleFile::OpenLoaded(GSInstance instance)
{
    Close();
    const auto module = static_cast<HMODULE>(instance);
    wchar_t probe[2];
    if (module == nullptr || GetModuleFileNameW(module, probe, 2) == 0)
        return RSFileError::FileNotFound;
    if (!HasResources(module))
        return RSFileError::NoResources;
    impl = new Impl{module, false};
    return RSFileError::None;
}

void RSModuleFile::Close() noexcept
{
    if (impl != nullptr && impl->owned)
        FreeLibrary(impl->module);
    delete impl;
    impl = nullptr;
}

bool RSModuleFile::IsOpen() const noexcept
{
    return impl != nullptr;
}

RSFileError RSModuleFile::ReadResource(const RSResourceKey& type, const RSResourceKey& name,
                                       std::vector<UInt8>& bytes) const
{
    if (impl == nullptr)
        return RSFileError::NotAModule;
    const WideKey wideType(type);
    const WideKey wideName(name);
    const HRSRC found = FindResourceW(impl->module, wideName.Get(), wideType.Get());
    if (found == nullptr)
        return RSFileError::ResourceNotFound;
    const HGLOBAL loaded = LoadResource(impl->module, found);
    const DWORD size = SizeofResource(impl->module, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr && size != 0)
        return RSFileError::Malformed;
    const auto* first = static_cast<const UInt8*>(data);
    bytes.assign(first, first + size);
    return RSFileError::None;
}
