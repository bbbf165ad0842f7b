// The backup file's reader: an entry at a time, however the text arrives.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "Support/Files.hpp"
#include "Support/Folders.hpp"
#include "ValueBackup/BackupReader.hpp"

using namespace Quillmere;

namespace {

// The values of a reading as text, one line each: element, key and value text.
std::string Summary(const ValueBackupReading& reading)
{
    if (!reading.backup)
        return "problem " + std::to_string(static_cast<int>(reading.problem)) + ": " + reading.reason + " at " +
               std::to_string(reading.byte);
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

TEST(BackupReader, TextInPiecesReadsAsTheWholeText)
{
    const std::string example =
        Support::ReadBytes(Support::SourceFolder() / "Fuzz" / "corpus" / "backup_restore" / "example-backup.xml");
    const std::string whole = Summary(ParseValueBackup(example));
    ASSERT_GT(whole.size(), 1000u);
    std::mt19937 random(20261209);
    for (int trial = 0; trial < 20; ++trial) {
        BackupReader reader;
        std::string pending;
        for (std::size_t at = 0; at < example.size();) {
            const std::size_t piece = 1 + random() % (trial < 10 ? 7 : 300);
            pending += example.substr(at, piece);
            at += piece;
            ASSERT_TRUE(reader.Take(pending, at >= example.size())) << trial << " " << reader.Reading().reason;
        }
        EXPECT_EQ(Summary(reader.Reading()), whole) << trial;
    }
}

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
        {"", "problem 1:  at 0"},
        {" \n<!-- nothing -->\n", "problem 3:  at 0"},
        {"text", "problem 2: expected < at 0"},
        {"<p>" + entry, "problem 2: unexpected end of data at " + std::to_string(3 + entry.size())},
        // End tags are not compared with their start tags, as rapidxml does not.
        {"<p><element guid=\"x\"><a></b></element></p>", "0 a|(whole) -1 []\n"},
        {"<p><element guid=\"x\"><a b=\"1\" b=\"2\"/><c d=></element></p>", "problem 2: expected ' or \" at 42"},
        {"<p><element guid=\"x\">" + std::string(65, '<') + "</element></p>", "problem 2: unexpected end of data at 100"},
        {"<p><element>" + [] {
             std::string deep;
             for (int i = 0; i < 70; ++i)
                 deep += "<a>";
             return deep;
         }() + "</element></p>",
         "problem 2: elements nested too deep at 3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Summary(ParseValueBackup(c.text)), c.summary) << c.text;
}
