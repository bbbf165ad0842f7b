// The history file beside the value backup: what it records reads back as it was written.
#include <gtest/gtest.h>

#include "ValueBackup/HistoryFiles.hpp"

using namespace Quillmere;

namespace {

ExpressionList List(std::initializer_list<const char*> texts)
{
    ExpressionList list;
    for (const char* text : texts)
        list.Push(GS::UniString(text));
    return list;
}

}  // namespace

TEST(HistoryFiles, WhatIsPrintedReadsBack)
{
    HistoryFile history;
    history.lastRun = 17;
    history.backup = BackupRecord{FileStamp{26498, -4640840522567140745}, 16, "2026-12-09 13:37", true};
    // Names and texts that XML does not carry as they stand, an empty list, and one left unwritten.
    history.lists.push_back({PropertyName{GS::UniString("SGPset_A;B"), GS::UniString("C \"q\" <&>")},
                             List({"ROUNDDOWN ( {Property:SGPset_Space/Area} / 4 )", "  ", "a\r\nb\t"}), 12,
                             "2026-12-01 09:00", false});
    history.lists.push_back({PropertyName{GS::UniString("SGPset_A"), GS::UniString("B;C")}, List({}), 16, "", true});

    const std::optional<HistoryFile> read = ParseHistory(PrintHistory(history));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->lastRun, 17u);
    ASSERT_TRUE(read->backup.has_value());
    EXPECT_TRUE(read->backup->stamp == history.backup->stamp);
    EXPECT_EQ(read->backup->run, 16u);
    EXPECT_EQ(read->backup->saved, "2026-12-09 13:37");
    EXPECT_TRUE(read->backup->settled);
    ASSERT_EQ(read->lists.size(), 2u);
    for (std::size_t index = 0; index < 2; ++index) {
        const KeptExpressionList& written = history.lists[index];
        const KeptExpressionList& back = read->lists[index];
        EXPECT_TRUE(back.name == written.name) << index;
        EXPECT_EQ(back.run, written.run);
        EXPECT_EQ(back.saved, written.saved);
        EXPECT_EQ(back.unwritten, written.unwritten);
        ASSERT_EQ(back.list.GetSize(), written.list.GetSize());
        for (USize at = 0; at < written.list.GetSize(); ++at)
            EXPECT_TRUE(back.list[at] == written.list[at]) << written.list[at].ToCStr().Get();
    }
}

TEST(HistoryFiles, TextsThatAreNoHistoryGiveNothing)
{
    for (const char* text : {"", "<history", "<project/>", "<?xml version=\"1.0\"?>"})
        EXPECT_FALSE(ParseHistory(text).has_value()) << text;
    EXPECT_EQ(ParseHistory("<history run=\"3\"/>")->lastRun, 3u);
}
