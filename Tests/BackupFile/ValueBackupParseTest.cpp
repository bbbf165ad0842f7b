// The backup file's parser (ParseValueBackup), as the earlier version's files are read when they
// are taken into the store.
#include <gtest/gtest.h>

#include <string>

#include "Support/Files.hpp"
#include "Support/Folders.hpp"
#include "BackupFile/ValueBackupFile.hpp"

using namespace Quillmere;

namespace {

// The values of a reading as text, one line each: element, key and value text.
std::string Summary(const ValueBackupReading& reading)
{
    if (!reading.backup)
        return "problem: " + reading.problem->Detail();
    std::string summary;
    const ValueBackup& backup = *reading.backup;
    for (const ValueBackup::Entry& entry : backup.Entries())
        for (UInt32 index = entry.firstValue; index < entry.firstValue + entry.valueCount; ++index) {
            const ValueBackup::Value& value = backup.Values()[index];
            const ValueBackup::Key& key = backup.Keys()[value.key];
            summary += std::to_string(entry.element.data1) + " " + std::string(key.group) + "|" + std::string(key.property) +
                       (key.separated ? "" : "(whole)") + " " + std::to_string(value.valueType) + " [" +
                       std::string(value.text, value.textLength) + "]\n";
        }
    return summary;
}

}  // namespace

TEST(BackupReader, WhatTheFileHoldsAroundTheEntries)
{
    const std::string entry = "<element guid=\"00000001-0000-0000-0000-000000000000\"><G-P valType=\"Integer\">1</G-P></element>";
    const std::string one = "1 G|P 1 [1]\n";
    const struct {
        std::string text;
        std::string summary;
    } cases[] = {
        // What rapidxml skips before the root, and a root of any name.
        {"\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- c --><!DOCTYPE x [<!ENTITY e \"v\">]><root>" + entry + "</root>", one},
        // Nodes before the first "element" are no entries; after it every element is one.
        {"<p><other guid=\"00000002-0000-0000-0000-000000000000\"/>text<!-- c -->" + entry +
             "<x guid=\"00000003-0000-0000-0000-000000000000\"><G-Q valType=\"Real\">&amp;</G-Q></x><element/></p>",
         one + "3 G|Q 2 [&]\n"},
        // The forms of a key, and a name without "-".
        {"<p><element guid=\"00000004-0000-0000-0000-000000000000\"><value key=\"A B-C\" valType=\"String\">x</value>"
         "<value group=\"A-B\" property=\"C\" valType=\"String\">y</value><AB/></element></p>",
         "4 A B|C 3 [x]\n4 A-B|C 3 [y]\n4 AB|(whole) -1 []\n"},
        {"<p/>", ""},
        // What is no backup.
        {"", "problem: the file is empty"},
        {" \n<!-- nothing -->\n", "problem: no root element"},
        {"text", "problem: expected < at byte 0"},
        {"<p>" + entry, "problem: unexpected end of data at byte " + std::to_string(3 + entry.size())},
        // End tags are not compared with their start tags, as rapidxml does not.
        {"<p><element guid=\"x\"><a></b></element></p>", "0 a|(whole) -1 []\n"},
        {"<p><element guid=\"x\"><a b=\"1\" b=\"2\"/><c d=></element></p>", "problem: expected ' or \" at byte 42"},
        {"<p><element>" + [] {
             std::string deep;
             for (int i = 0; i < 70; ++i)
                 deep += "<a>";
             return deep;
         }() + "</element></p>",
         "problem: elements nested too deep"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Summary(ParseValueBackup(c.text)), c.summary) << c.text;
}
