// What the in-process reliability suites share: a profile folder as "USERPROFILE", the add-on bound
// to the test host with a dialog that always chooses one file, the owned values of a project by
// names, and a backup file read back into the same terms.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "ConfigurationImport/ExpressionPreservation.hpp"
#include "Host.hpp"
#include "Host/EntryPoints.hpp"
#include "ValueBackup/CommandBackup.hpp"
#include "ValueBackup/ValueBackupFile.hpp"
#include "Win/DialogProviders.hpp"

namespace Reliability {

using namespace Quillmere;
namespace fs = std::filesystem;

inline fs::path SourceFolder()
{
    const char* folder = std::getenv("QUILLMERE_SOURCE_DIR");
    return folder != nullptr && *folder != '\0' ? fs::path(folder) : fs::path(QUILLMERE_DEFAULT_SOURCE_DIR);
}

inline std::string ReadBytes(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    std::string bytes(file ? static_cast<std::size_t>(file.tellg()) : 0, '\0');
    file.seekg(0);
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
}

inline void WriteBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// An owned value by element GUID text, group name and property name.
using ValueName = std::tuple<std::string, std::string, std::string>;
using ValueMap = std::map<ValueName, TestHost::Value>;

inline ValueMap OwnedValues(const TestHost::Project& project)
{
    ValueMap values;
    project.ForEachValue([&](const API_Guid& element, const API_Guid& definition, const TestHost::Value& value) {
        const TestHost::PropertyDefinition* held = project.FindDefinition(definition);
        const std::string& group = project.FindGroup(held->group)->name;
        if (group.find("SGPset_") != std::string::npos)
            values[{TestHost::GuidToText(element), group, held->name}] = value;
    });
    return values;
}

// Equal values, reals bit for bit (so -0.0 is not 0.0).
inline bool SameValue(const TestHost::Value& left, const TestHost::Value& right)
{
    return left == right && std::memcmp(&left.real, &right.real, sizeof(double)) == 0;
}

// A backup file's values by element GUID text and key, as the restore converts them by the type
// of the definition they are written to.
class BackupContent {
public:
    static std::optional<BackupContent> Read(const fs::path& file)
    {
        std::string problem;
        std::optional<ValueBackup> parsed = ValueBackup::Parse(ReadBytes(file), problem);
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

    // Whether the file holds `value` for the element under the group's and property's key.
    bool Holds(const ValueName& name, const TestHost::Value& value) const
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
// (or cancels when that is empty). Module-wide state of the add-on is cleared on both ends.
class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "quillmere-reliability-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        profile = pattern;
        fs::create_directories(profile / "Documents");
        ::setenv("USERPROFILE", profile.c_str(), 1);
        previousProvider = QmSetOpenFileDialogProvider(&Answer, this);
        ExpressionStore.clear();
        RunningCommandBackup.Clear();
    }

    void TearDown() override
    {
        QmSetOpenFileDialogProvider(previousProvider, nullptr);
        ExpressionStore.clear();
        RunningCommandBackup.Clear();
        ::unsetenv("USERPROFILE");
        std::error_code ignored;
        fs::remove_all(profile, ignored);
    }

    fs::path BackupFile() const { return profile / "Documents" / "IFC_SG_Properties.xml"; }
    fs::path TemporaryFile() const { return profile / "Documents" / "IFC_SG_Properties.xml.tmp"; }

    fs::path profile;
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
