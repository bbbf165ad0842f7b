// The open-file request the module makes for its configuration file, for the dialog tests: made
// here by hand, and checked as a dialog provider records it.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Win/DialogProviders.hpp"
#include "Win/Win.hpp"

// Filter pairs as NUL-separated strings with a final extra NUL.
inline constexpr char16_t ConfigurationFilters[] = u"IFC-SG Config File\0*.xml\0Any File\0*.*\0";

struct ConfigurationRequest {
    WCHAR file[MAX_PATH] = {};
    OPENFILENAMEW record;

    ConfigurationRequest()
    {
        std::memset(&record, 0, sizeof(record));
        record.lStructSize = sizeof(OPENFILENAMEW);
        record.lpstrFilter = ConfigurationFilters;
        record.nFilterIndex = 1;
        record.lpstrFile = file;
        record.nMaxFile = MAX_PATH;
        record.lpstrTitle = u"Select an IFC-SG Config File";
        record.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    }
    ConfigurationRequest(const ConfigurationRequest&) = delete;
    ConfigurationRequest& operator=(const ConfigurationRequest&) = delete;

    std::u16string GetFile() const { return std::u16string(file); }
};

// Expects `seen` to be that request as a provider recorded it: the module's own, or the one above.
inline void ExpectConfigurationRequest(const OpenFileRequestCopy& seen)
{
    EXPECT_EQ(seen.structSize, 152u);
    EXPECT_TRUE(seen.ownerIsNull);
    EXPECT_TRUE(seen.hasTitle);
    EXPECT_EQ(seen.title, "Select an IFC-SG Config File");
    EXPECT_EQ(seen.filters, (std::vector<std::string>{"IFC-SG Config File", "*.xml", "Any File", "*.*"}));
    EXPECT_EQ(seen.filterIndex, 1u);
    EXPECT_EQ(seen.flags, 0x1800u);
    EXPECT_EQ(seen.maxFile, 260u);
    EXPECT_EQ(seen.initialFile, "");
    EXPECT_TRUE(seen.otherMembersZero);
}
