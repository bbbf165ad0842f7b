// Module files on Linux: a 64-bit ELF shared object whose section "qm_resources" holds the
// resource blob described in Src/Resources/README.md. Only the file is read; nothing is loaded.
#include "ResourceFile.hpp"

#include <cstring>
#include <elf.h>
#include <fstream>
#include <system_error>

#include "LoadedModule_posix.hpp"

namespace {

constexpr char ResourceSectionName[] = "qm_resources";
constexpr char BlobMagic[4] = {'Q', 'M', 'R', 'S'};
constexpr UInt32 BlobVersion = 1;
constexpr std::size_t BlobHeaderSize = 16;
constexpr std::size_t BlobEntrySize = 24;

#if defined(__x86_64__)
constexpr Elf64_Half ModuleMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr Elf64_Half ModuleMachine = EM_AARCH64;
#else
#  error "module files of this processor are not known"
#endif

UInt32 ReadUInt32(const UInt8* at)
{
    return static_cast<UInt32>(at[0]) | (static_cast<UInt32>(at[1]) << 8) | (static_cast<UInt32>(at[2]) << 16) |
           (static_cast<UInt32>(at[3]) << 24);
}

// Reads `size` bytes at `offset`; false when the file ends before.
bool ReadAt(std::ifstream& file, UInt64 offset, void* into, std::size_t size)
{
    file.clear();
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(static_cast<char*>(into), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(file.gcount()) == size;
}

bool EqualsIgnoringCase(const std::string& left, const std::string& right)
{
    if (left.size() != right.size())
        return false;
    for (std::size_t i = 0; i < left.size(); ++i) {
        const auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
        if (fold(left[i]) != fold(right[i]))
            return false;
    }
    return true;
}

}  // namespace

struct RSModuleFile::Impl {
    struct Entry {
        RSResourceKey type;
        RSResourceKey name;
        UInt32 offset = 0;
        UInt32 size = 0;
    };
    std::vector<UInt8> blob;
    std::vector<Entry> entries;

    static bool Matches(const RSResourceKey& stored, const RSResourceKey& wanted)
    {
        if (stored.name.empty() != wanted.name.empty())
            return false;
        return stored.name.empty() ? stored.id == wanted.id : EqualsIgnoringCase(stored.name, wanted.name);
    }

    // A key of the entry table: a name at a non-zero offset (NUL-terminated inside the blob) or,
    // with offset 0, a number.
    bool ReadKey(UInt32 nameOffset, UInt32 id, RSResourceKey& key) const
    {
        if (nameOffset == 0) {
            if (id == 0 || id > 0xFFFF)
                return false;
            key = RSResourceKey::Number(static_cast<UInt16>(id));
            return true;
        }
        if (nameOffset >= blob.size())
            return false;
        const auto* start = reinterpret_cast<const char*>(blob.data() + nameOffset);
        const void* end = std::memchr(start, 0, blob.size() - nameOffset);
        if (end == nullptr || end == start)
            return false;
        key = RSResourceKey::Named(std::string(start, static_cast<const char*>(end)));
        return true;
    }

    bool ParseBlob()
    {
        if (blob.size() < BlobHeaderSize || std::memcmp(blob.data(), BlobMagic, 4) != 0 ||
            ReadUInt32(blob.data() + 4) != BlobVersion)
            return false;
        const UInt64 count = ReadUInt32(blob.data() + 8);
        const UInt64 size = ReadUInt32(blob.data() + 12);
        if (size > blob.size() || BlobHeaderSize + count * BlobEntrySize > size)
            return false;
        blob.resize(size);
        std::vector<Entry> parsed(count);
        for (UInt64 i = 0; i < count; ++i) {
            const UInt8* raw = blob.data() + BlobHeaderSize + i * BlobEntrySize;
            Entry& entry = parsed[i];
            entry.offset = ReadUInt32(raw + 16);
            entry.size = ReadUInt32(raw + 20);
            if (!ReadKey(ReadUInt32(raw), ReadUInt32(raw + 4), entry.type) ||
                !ReadKey(ReadUInt32(raw + 8), ReadUInt32(raw + 12), entry.name) ||
                UInt64{entry.offset} + entry.size > size)
                return false;
        }
        entries = std::move(parsed);
        return true;
    }

    RSFileError Load(const std::filesystem::path& path)
    {
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error))
            return RSFileError::FileNotFound;
        std::ifstream file(path, std::ios::binary);
        if (!file)
            return RSFileError::FileNotFound;

        Elf64_Ehdr header;
        if (!ReadAt(file, 0, &header, sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
            header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
            header.e_type != ET_DYN || header.e_machine != ModuleMachine)
            return RSFileError::NotAModule;
        if (header.e_shoff == 0)
            return RSFileError::NoResources;  // no section table at all
        if (header.e_shentsize != sizeof(Elf64_Shdr))
            return RSFileError::Malformed;

        // With many sections the real count and the names' section sit in section 0.
        Elf64_Shdr first;
        if (!ReadAt(file, header.e_shoff, &first, sizeof first))
            return RSFileError::Malformed;
        const UInt64 sectionCount = header.e_shnum != 0 ? header.e_shnum : first.sh_size;
        const UInt64 namesIndex = header.e_shstrndx != SHN_XINDEX ? header.e_shstrndx : first.sh_link;
        const std::uintmax_t fileSize = std::filesystem::file_size(path, error);
        if (error || sectionCount == 0 || sectionCount > fileSize / sizeof(Elf64_Shdr) || namesIndex >= sectionCount)
            return RSFileError::Malformed;

        std::vector<Elf64_Shdr> sections(sectionCount);
        if (!ReadAt(file, header.e_shoff, sections.data(), sectionCount * sizeof(Elf64_Shdr)))
            return RSFileError::Malformed;
        const auto fits = [fileSize](const Elf64_Shdr& section) {
            return section.sh_type != SHT_NOBITS && section.sh_offset <= fileSize &&
                   section.sh_size <= fileSize - section.sh_offset;
        };
        const Elf64_Shdr& namesSection = sections[namesIndex];
        if (!fits(namesSection))
            return RSFileError::Malformed;
        std::vector<char> names(namesSection.sh_size + 1, '\0');
        if (!ReadAt(file, namesSection.sh_offset, names.data(), namesSection.sh_size))
            return RSFileError::Malformed;

        for (const Elf64_Shdr& section : sections) {
            if (section.sh_name >= namesSection.sh_size ||
                std::strcmp(names.data() + section.sh_name, ResourceSectionName) != 0)
                continue;
            if (!fits(section))
                return RSFileError::Malformed;
            blob.resize(section.sh_size);
            if (!ReadAt(file, section.sh_offset, blob.data(), blob.size()) || !ParseBlob())
                return RSFileError::Malformed;
            return RSFileError::None;
        }
        return RSFileError::NoResources;
    }
};

RSModuleFile::RSModuleFile() noexcept : impl(nullptr) {}

RSModuleFile::~RSModuleFile()
{
    Close();
}

RSFileError RSModuleFile::Open(const std::filesystem::path& path)
{
    Close();
    auto* opened = new Impl;
    const RSFileError error = opened->Load(path);
    if (error != RSFileError::None) {
        delete opened;
        return error;
    }
    impl = opened;
    return RSFileError::None;
}

RSFileError RSModuleFile::OpenLoaded(GSInstance instance)
{
    std::string path;
    if (!QmLoadedModule::FindModuleFile(instance, path)) {
        Close();
        return RSFileError::FileNotFound;
    }
    return Open(std::filesystem::path(path));
}

void RSModuleFile::Close() noexcept
{
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
    for (const Impl::Entry& entry : impl->entries) {
        if (Impl::Matches(entry.type, type) && Impl::Matches(entry.name, name)) {
            bytes.assign(impl->blob.begin() + entry.offset, impl->blob.begin() + entry.offset + entry.size);
            return RSFileError::None;
        }
    }
    return RSFileError::ResourceNotFound;
}
