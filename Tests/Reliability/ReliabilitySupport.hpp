// What the in-process reliability suites share: a profile folder as "USERPROFILE", the add-on bound
// to the test host with a dialog that always chooses one file, and a backup file read back into
// the terms of the owned values (Support/OwnedValues.hpp).
#pragma once

#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "ConfigurationImport/ExpressionPreservation.hpp"
#include "Host.hpp"
#include "Host/EntryPoints.hpp"
#include "Support/Files.hpp"
#include "Support/Store.hpp"
#include "Support/Folders.hpp"
#include "Support/OwnedValues.hpp"
#include "Run/UpdateRun.hpp"
#include "BackupFile/ValueBackupFile.hpp"
#include "Win/DialogProviders.hpp"

namespace Reliability {

using namespace Quillmere;
namespace fs = std::filesystem;

// A backup file's values by element GUID text and key, as the restore converts them by the type
// of the definition they are written to.
class BackupContent {
public:
    static std::optional<BackupContent> Read(const fs::path& file)
    {
        std::optional<ValueBackup> parsed = ParseValueBackup(Support::ReadBytes(file)).backup;
        if (!parsed)
            return std::nullopt;
        BackupContent content;
        for (const ValueBackup::Entry& entry : parsed->Entries())
            for (UInt32 v = 0; v < entry.valueCount; ++v) {
                const ValueBackup::Value& value = parsed->Values()[entry.firstValue + v];
                content.texts[{TestHost::GuidToText(entry.element), std::string(parsed->Keys()[value.key].text)}] =
                    std::string(value.text, value.textLength);
                ++content.count;
            }
        return content;
    }

    // The values the store keeps, for every project.
    static BackupContent ReadStore(const fs::path& store)
    {
        BackupContent content;
        for (const std::string& row : Support::KeptValues(store)) {
            const std::vector<std::string> columns = Support::KeptValueColumns(row);
            content.texts[{columns[1], columns[2] + "-" + columns[3]}] = columns[7];
            ++content.count;
        }
        return content;
    }

    // Whether the file holds `value` for the element under the group's and property's key.
    bool Holds(const Support::ValueName& name, const TestHost::Value& value) const
    {
        const auto found = texts.find({std::get<0>(name), std::get<1>(name) + "-" + std::get<2>(name)});
        if (found == texts.end())
            return false;
        const std::string& text = found->second;
        switch (value.type) {
            case API_PropertyStringValueType: return text == value.text;
            case API_PropertyRealValueType: {
                const double real = ParseRealText(text.data(), text.size());
                return std::memcmp(&real, &value.real, sizeof real) == 0;
            }
            case API_PropertyIntegerValueType: {
                Int32 integer = 0;
                ParseIntegerText(text.data(), text.size(), integer);
                return integer == value.integer;
            }
            case API_PropertyBooleanValueType: return text == (value.boolean ? "1" : "0");
            default: return text.empty();
        }
    }

    std::size_t Count() const { return count; }

private:
    std::map<std::pair<std::string, std::string>, std::string> texts;
    std::size_t count = 0;
};

// A profile folder as "USERPROFILE" and a dialog that chooses `Choice()` each time it is asked
// (or cancels when that is empty).
class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousProvider = QmSetOpenFileDialogProvider(&Answer, this);
    }

    void TearDown() override
    {
        QmSetOpenFileDialogProvider(previousProvider, nullptr);
    }

    const Support::ProfileFolder profile;
    UpdateRun run;  // for tests that run single phases
    fs::path choice;  // empty: the dialog is cancelled

private:
    static BOOL Answer(OPENFILENAMEW* request, void* self)
    {
        auto& test = *static_cast<ProfileTest*>(self);
        ScriptedFileDialog dialog;
        if (test.choice.empty())
            dialog.QueueCancel();
        else
            dialog.QueueChoice(test.choice.string());
        return dialog.Answer(*request);
    }

    OpenFileDialogProvider previousProvider = nullptr;
};

}  // namespace Reliability
