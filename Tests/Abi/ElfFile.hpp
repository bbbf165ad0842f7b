// A small reader of 64-bit ELF files for the tests: symbol tables, needed libraries and sections,
// read straight from the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct ElfSymbol {
    std::string name;
    unsigned binding = 0;     // STB_*
    unsigned type = 0;        // STT_*
    unsigned visibility = 0;  // STV_*
    bool defined = false;     // not SHN_UNDEF
};

struct ElfSection {
    std::string name;
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

class ElfFile {
public:
    // Reads the whole file; IsValid() is false when it is not a 64-bit little-endian ELF file.
    explicit ElfFile(const std::filesystem::path& path);
    bool IsValid() const { return valid; }

    // Symbols of the dynamic symbol table (SHT_DYNSYM) or the full one (SHT_SYMTAB), without the
    // null symbol at index 0.
    std::vector<ElfSymbol> Symbols(std::uint32_t tableType) const;
    // The DT_NEEDED libraries.
    std::vector<std::string> NeededLibraries() const;
    std::optional<ElfSection> FindSection(const std::string& name) const;

private:
    std::vector<ElfSection> sections;
    std::vector<std::uint32_t> links;
    std::vector<unsigned char> bytes;
    bool valid = false;

    std::string StringAt(std::size_t tableSection, std::uint64_t offset) const;
};
