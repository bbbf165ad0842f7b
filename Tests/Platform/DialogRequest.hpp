// The open-file request the module makes for its configuration file, for the dialog tests.
#pragma once

#include <cstring>

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
