#include "NameFolding.hpp"

#include <algorithm>
#include <iterator>

#include "XmlText.hpp"

namespace RenameProposal {

namespace {

struct FoldedLetter {
    char32_t code;
    const char* folded;
};

constexpr FoldedLetter FoldedLetters[] = {
#include "NameFoldingTable.inc"
};

constexpr bool IsSortedByCode()
{
    for (std::size_t index = 1; index < std::size(FoldedLetters); ++index)
        if (FoldedLetters[index - 1].code >= FoldedLetters[index].code)
            return false;
    return true;
}
static_assert(IsSortedByCode(), "NameFoldingTable.inc must be sorted by code point");

// Blanks, "-", "_" and the other hyphens and dashes: left out of a folded name.
bool IsSetAside(char32_t code)
{
    switch (code) {
        case U' ': case U'\t': case U'\n': case U'\r': case U'-': case U'_':
        case 0x00A0: case 0x1680: case 0x202F: case 0x205F: case 0x3000: case 0xFEFF: case 0x2212:
            return true;
        default:
            return (code >= 0x2000 && code <= 0x200B) || (code >= 0x2010 && code <= 0x2015);
    }
}

// Combining marks, which put accents and other marks on the letter before them.
bool IsCombiningMark(char32_t code)
{
    return (code >= 0x0300 && code <= 0x036F) || (code >= 0x1AB0 && code <= 0x1AFF) ||
           (code >= 0x1DC0 && code <= 0x1DFF) || (code >= 0x20D0 && code <= 0x20FF) || (code >= 0xFE20 && code <= 0xFE2F);
}

const char* FoldedLetterOf(char32_t code)
{
    const auto found = std::lower_bound(std::begin(FoldedLetters), std::end(FoldedLetters), code,
                                        [](const FoldedLetter& letter, char32_t wanted) { return letter.code < wanted; });
    return found != std::end(FoldedLetters) && found->code == code ? found->folded : nullptr;
}

}  // namespace

std::string FoldedName(std::string_view name)
{
    std::string folded;
    folded.reserve(name.size());
    for (std::size_t at = 0; at < name.size();) {
        char32_t code = 0;
        const std::size_t length = Utf8SequenceAt(name, at, code);
        if (length == 0) {
            folded.push_back(name[at++]);
            continue;
        }
        if (code >= U'A' && code <= U'Z')
            folded.push_back(static_cast<char>(code - U'A' + U'a'));
        else if (const char* letter = FoldedLetterOf(code))
            folded += letter;
        else if (!IsSetAside(code) && !IsCombiningMark(code))
            folded.append(name.substr(at, length));
        at += length;
    }
    return folded;
}

}  // namespace RenameProposal
