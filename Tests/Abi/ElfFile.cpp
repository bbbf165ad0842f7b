#include "ElfFile.hpp"

#include <cstring>
#include <elf.h>
#include <fstream>

ElfFile::ElfFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    bytes.resize(file ? static_cast<std::size_t>(file.tellg()) : 0);
    file.seekg(0);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    Elf64_Ehdr header;
    if (bytes.size() < sizeof header)
        return;
    std::memcpy(&header, bytes.data(), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
        header.e_shentsize != sizeof(Elf64_Shdr) || header.e_shoff + header.e_shnum * sizeof(Elf64_Shdr) > bytes.size())
        return;
    std::vector<Elf64_Shdr> raw(header.e_shnum);
    std::memcpy(raw.data(), bytes.data() + header.e_shoff, raw.size() * sizeof(Elf64_Shdr));
    for (const Elf64_Shdr& section : raw) {
        sections.push_back(ElfSection{{}, section.sh_type, section.sh_offset, section.sh_size});
        links.push_back(section.sh_link);
        if (section.sh_type != SHT_NOBITS && section.sh_offset + section.sh_size > bytes.size())
            return;
    }
    if (header.e_shstrndx >= sections.size())
        return;
    for (std::size_t i = 0; i < sections.size(); ++i)
        sections[i].name = StringAt(header.e_shstrndx, raw[i].sh_name);
    valid = true;
}

std::string ElfFile::StringAt(std::size_t tableSection, std::uint64_t offset) const
{
    const ElfSection& table = sections.at(tableSection);
    if (offset >= table.size)
        return {};
    const char* start = reinterpret_cast<const char*>(bytes.data() + table.offset + offset);
    return std::string(start, strnlen(start, table.size - offset));
}

std::vector<ElfSymbol> ElfFile::Symbols(std::uint32_t tableType) const
{
    std::vector<ElfSymbol> symbols;
    for (std::size_t i = 0; valid && i < sections.size(); ++i) {
        if (sections[i].type != tableType)
            continue;
        for (std::uint64_t at = sizeof(Elf64_Sym); at + sizeof(Elf64_Sym) <= sections[i].size; at += sizeof(Elf64_Sym)) {
            Elf64_Sym raw;
            std::memcpy(&raw, bytes.data() + sections[i].offset + at, sizeof raw);
            symbols.push_back(ElfSymbol{StringAt(links[i], raw.st_name), ELF64_ST_BIND(raw.st_info),
                                        ELF64_ST_TYPE(raw.st_info), ELF64_ST_VISIBILITY(raw.st_other),
                                        raw.st_shndx != SHN_UNDEF});
        }
    }
    return symbols;
}

std::vector<std::string> ElfFile::NeededLibraries() const
{
    std::vector<std::string> needed;
    for (std::size_t i = 0; valid && i < sections.size(); ++i) {
        if (sections[i].type != SHT_DYNAMIC)
            continue;
        for (std::uint64_t at = 0; at + sizeof(Elf64_Dyn) <= sections[i].size; at += sizeof(Elf64_Dyn)) {
            Elf64_Dyn entry;
            std::memcpy(&entry, bytes.data() + sections[i].offset + at, sizeof entry);
            if (entry.d_tag == DT_NEEDED)
                needed.push_back(StringAt(links[i], entry.d_un.d_val));
        }
    }
    return needed;
}

std::optional<ElfSection> ElfFile::FindSection(const std::string& name) const
{
    for (const ElfSection& section : sections)
        if (section.name == name)
            return section;
    return std::nullopt;
}
