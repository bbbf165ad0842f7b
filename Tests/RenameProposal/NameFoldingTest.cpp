// Which names are spellings of one name: accents and other marks, letter case, blanks, "-" and "_"
// set aside, and nothing else.
#include <gtest/gtest.h>

#include <string>

#include "NameFolding.hpp"

using RenameProposal::FoldedName;

TEST(NameFolding, SpellingsOfOneNameAndNamesThatDiffer)
{
    struct Case {
        const char* left;
        const char* right;
        bool same;
    };
    const Case cases[] = {
        {"DoubleBayFaçade", "DoubleBayFacade", true},             // an accent dropped
        {"IsWaterproofed", "IsWaterProofed", true},               // letter case
        {"Fire Rating", "FireRating", true},                      // a blank
        {"Fire-Rating", "fire_rating", true},                     // "-", "_" and case
        {"Fire\u00a0Rating", "Fire\tRating", true},               // no-break space, tab
        {"Fire\u2013Rating", "FireRating", true},                 // en dash
        {"Cafe\u0301", "CAFÉ", true},                             // a combining accent, a precomposed one
        {"Straße", "STRASSE", true},                              // a letter that stands for two
        {"Ørsted Łódź", "orsted lodz", true},                     // marks that are part of the letter
        {"ΠΌΡΤΑ", "πορτα", true},                                 // Greek case and tonos
        {"ДВЕРЬ", "дверь", true},                                 // Cyrillic case
        {"门宽", "门宽", true},                                     // other scripts as they are
        {"门宽", "门高", false},
        {"Width", "Height", false},
        {"FireRating1", "FireRating", false},                     // digits count
        {"Fire.Rating", "FireRating", false},                     // "." is not set aside
        {"Fire/Rating", "FireRating", false},
        {"Thickness", "Thicknesses", false},
        {"Façade", "Facades", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.left) + " / " + c.right);
        EXPECT_EQ(FoldedName(c.left) == FoldedName(c.right), c.same);
    }
}

TEST(NameFolding, FoldedForms)
{
    struct Case {
        std::string name;
        std::string folded;
    };
    const Case cases[] = {
        {"Façade_Type", "facadetype"},
        {"ÀÉÎÕÜ ÿ", "aeiouy"},
        {" - _\u00a0\u3000", ""},       // nothing but what is set aside
        {"", ""},
        {"Ǆ", "dz"},                    // a compatibility form
        {"\xff\xfe" "Ab", "\xff\xfe" "ab"},  // bytes that are not UTF-8 stay
        {"A\xc3", "a\xc3"},             // a sequence cut short
        {"\xc0\xaf" "B", "\xc0\xaf" "b"},    // an overlong form
        {"🏠 Room", "🏠room"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FoldedName(c.name), c.folded) << c.name;
}
