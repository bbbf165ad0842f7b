#include "ImportPatch.hpp"

#include <cstring>

namespace WinTests {

namespace {

// The image of a module handle; a data-file mapping marks the handle's low bits.
const BYTE* ImageOf(HMODULE module)
{
    return reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module) & ~static_cast<ULONG_PTR>(3));
}

const IMAGE_DATA_DIRECTORY* DirectoryOf(HMODULE module, int entry)
{
    const BYTE* base = ImageOf(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return nullptr;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC ||
        nt->OptionalHeader.NumberOfRvaAndSizes <= static_cast<DWORD>(entry))
        return nullptr;
    const IMAGE_DATA_DIRECTORY* directory = &nt->OptionalHeader.DataDirectory[entry];
    return directory->VirtualAddress != 0 && directory->Size != 0 ? directory : nullptr;
}

}  // namespace

ExportDirectory ReadExportDirectory(HMODULE module)
{
    ExportDirectory read;
    const IMAGE_DATA_DIRECTORY* directory = DirectoryOf(module, IMAGE_DIRECTORY_ENTRY_EXPORT);
    if (directory == nullptr)
        return read;
    const BYTE* base = ImageOf(module);
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory->VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        read.names.emplace_back(reinterpret_cast<const char*>(base + names[i]));
    read.addressCount = exports->NumberOfFunctions;
    read.present = true;
    return read;
}

ImportPatch::ImportPatch(HMODULE module, const char* library, const char* function, void* replacement)
{
    const IMAGE_DATA_DIRECTORY* directory = DirectoryOf(module, IMAGE_DIRECTORY_ENTRY_IMPORT);
    if (directory == nullptr)
        return;
    auto* base = const_cast<BYTE*>(ImageOf(module));
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory->VirtualAddress);
         import->Name != 0; ++import) {
        if (_stricmp(reinterpret_cast<const char*>(base + import->Name), library) != 0)
            continue;
        // The lookup table names the functions; the address table at the same index is the slot.
        const auto* lookup = reinterpret_cast<const IMAGE_THUNK_DATA64*>(
            base + (import->OriginalFirstThunk != 0 ? import->OriginalFirstThunk : import->FirstThunk));
        auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA64*>(base + import->FirstThunk);
        for (std::size_t i = 0; lookup[i].u1.AddressOfData != 0; ++i) {
            if (IMAGE_SNAP_BY_ORDINAL64(lookup[i].u1.Ordinal))
                continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + lookup[i].u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0)
                continue;
            void** entry = reinterpret_cast<void**>(&addresses[i].u1.Function);
            DWORD protection = 0;
            if (!VirtualProtect(entry, sizeof(void*), PAGE_READWRITE, &protection))
                return;
            original = *entry;
            *entry = replacement;
            VirtualProtect(entry, sizeof(void*), protection, &protection);
            slot = entry;
            return;
        }
    }
}

ImportPatch::~ImportPatch()
{
    if (slot == nullptr)
        return;
    DWORD protection = 0;
    if (VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection)) {
        *slot = original;
        VirtualProtect(slot, sizeof(void*), protection, &protection);
    }
}

}  // namespace WinTests
