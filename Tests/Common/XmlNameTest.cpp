// Which texts can name an XML element as they stand.
#include <gtest/gtest.h>

#include "Common/XmlName.hpp"

using namespace Quillmere;

TEST(XmlName, AcceptsNamesTheBackupMayCarryAsTheyStand)
{
    for (const char* name : {"SGPset_Wall-FireRating", "SGPset_Door-Width2", "_a", "a.b-c", "SGPset_Raum-Fl\xC3\xA4" "che",
                             "SGPset_\xE5\xBB\xBA\xE7\xAD\x91-x", "SGPset_Door-Fire:Rating", ":a"})
        EXPECT_TRUE(IsXmlName(name)) << name;
}

TEST(XmlName, RejectsNamesThatWouldBreakTheFile)
{
    for (const char* name : {"", "SGPset_Wall-Fire Rating", "SGPset_Wall-A<B", "SGPset_Wall-A>B", "SGPset_Wall-A\"B",
                             "SGPset_Wall-A'B", "SGPset_Wall-A/B", "SGPset_Wall-A=B", "SGPset_Wall-A&B",
                             "1SGPset_Wall-A", "-SGPset_Wall-A", ".SGPset_Wall-A", "SGPset_Wall-A\tB",
                             "SGPset_Wall-A\xC3\x97" "B" /* multiplication sign */, "SGPset_Wall-\xED\xA0\x80" /* lone surrogate */,
                             "SGPset_Wall-\xFF" /* not UTF-8 */})
        EXPECT_FALSE(IsXmlName(name)) << name;
}
