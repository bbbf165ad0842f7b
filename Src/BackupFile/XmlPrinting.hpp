// Printing the module's XML files (the value backup and the history beside it) as rapidxml's
// printer prints them, with the escapes that make every text come back as it was. `Output` has
// Write(const char*, size) and Write(char).
#pragma once

#include <charconv>
#include <cstddef>
#include <string>
#include <string_view>

namespace Quillmere::XmlPrinting {

#if defined(_WIN32)
constexpr std::string_view LineEnd = "\r\n";
#else
constexpr std::string_view LineEnd = "\n";
#endif

// How the printer treats each byte of a text: as it is, or otherwise.
enum ByteClass : unsigned char {
    Plain,
    Entity,     // & < > ' " as the standard entity references
    LineFeed,   // the system's line end in text, a reference in an attribute
    Tab,        // as it is in text, a reference in an attribute
    Control,    // a character reference
    Surrogate,  // 0xED, the first byte of a surrogate's three-byte form when one follows
};

struct ByteClasses {
    ByteClass of[256];
    constexpr ByteClasses() : of()
    {
        for (int c = 0; c < 0x20; ++c)
            of[c] = Control;
        of[static_cast<unsigned char>('\n')] = LineFeed;
        of[static_cast<unsigned char>('\t')] = Tab;
        for (char c : {'&', '<', '>', '\'', '"'})
            of[static_cast<unsigned char>(c)] = Entity;
        of[0xED] = Surrogate;
    }
};
constexpr ByteClasses Classes;

template <typename Output>
inline void PutCharacterReference(Output& out, unsigned code)
{
    char reference[16] = "&#";
    char* end = std::to_chars(reference + 2, reference + sizeof reference - 1, code).ptr;
    *end++ = ';';
    out.Write(reference, static_cast<std::size_t>(end - reference));
}

template <typename Output>
void PutEntity(Output& out, char c)
{
    switch (c) {
        case '&': out.Write("&amp;", 5); break;
        case '<': out.Write("&lt;", 4); break;
        case '>': out.Write("&gt;", 4); break;
        case '\'': out.Write("&apos;", 6); break;
        default: out.Write("&quot;", 6); break;
    }
}

// Writes `text` escaped for element content (`inAttribute` false) or for an attribute value
// delimited by `quote`, whose other quote character stays as it is, as rapidxml's printer does.
template <typename Output>
void PutEscaped(Output& out, std::string_view text, bool inAttribute, char quote = '"')
{
    // In an attribute the quote that does not delimit it stays as it is; in text both are expanded.
    const int unexpanded = inAttribute ? (quote == '"' ? '\'' : '"') : -1;
    std::size_t at = 0;
    // A text of white space alone would come back empty: its first character is a reference.
    if (!inAttribute && !text.empty() && text.find_first_not_of(" \t\n\r") == std::string_view::npos) {
        PutCharacterReference(out, static_cast<unsigned char>(text[0]));
        at = 1;
    }
    std::size_t runStart = at;
    for (; at < text.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        const ByteClass byteClass = Classes.of[c];
        if (byteClass == Plain || c == unexpanded || (byteClass == Tab && !inAttribute))
            continue;
        if (byteClass == Surrogate &&
            !(at + 2 < text.size() && (static_cast<unsigned char>(text[at + 1]) & 0xE0) == 0xA0))
            continue;  // an ordinary character of U+D000 to U+D7FF
        out.Write(text.data() + runStart, at - runStart);
        switch (byteClass) {
            case Entity: PutEntity(out, static_cast<char>(c)); break;
            case LineFeed:
                if (inAttribute)
                    PutCharacterReference(out, '\n');
                else
                    out.Write(LineEnd.data(), LineEnd.size());
                break;
            case Surrogate: {
                const unsigned code = 0xD000u | ((static_cast<unsigned char>(text[at + 1]) & 0x3Fu) << 6) |
                                      (static_cast<unsigned char>(text[at + 2]) & 0x3Fu);
                PutCharacterReference(out, code);
                at += 2;
                break;
            }
            default: PutCharacterReference(out, c); break;
        }
        runStart = at + 1;
    }
    out.Write(text.data() + runStart, text.size() - runStart);
}

template <typename Output>
void PutLiteral(Output& out, std::string_view text)
{
    out.Write(text.data(), text.size());
}

// ` name="value"` with the value as rapidxml's printer quotes it.
template <typename Output>
void PutAttribute(Output& out, std::string_view name, std::string_view value)
{
    const char quote = value.find('"') != std::string_view::npos ? '\'' : '"';
    out.Write(' ');
    PutLiteral(out, name);
    out.Write('=');
    out.Write(quote);
    PutEscaped(out, value, true, quote);
    out.Write(quote);
}

struct StringOutput {
    std::string& text;
    void Write(const char* data, std::size_t size) { text.append(data, size); }
    void Write(char c) { text.push_back(c); }
};

}  // namespace Quillmere::XmlPrinting
