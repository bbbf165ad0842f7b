#include "EarlierVersionFiles.hpp"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <utility>
#include <vector>

#include "ValueBackupFile.hpp"
#include "Common/ExactText.hpp"
#include "Common/Messages.hpp"
#include "Common/XmlDocument.hpp"
#include "Host/HostCalls.hpp"
#include "Store/KeptStore.hpp"

namespace Quillmere {

namespace {

constexpr std::string_view BaseName = "IFC_SG_Properties";

struct EarlierVersion {
    std::vector<std::pair<UInt32, ValueBackup>> values;
    std::vector<KeptExpressionList> lists;
    std::map<UInt32, std::string> started;
    std::vector<SystemPath> taken;  // the files to rename once their content is in the store
    bool retry = false;             // a file could not be read now: the history stays for a later run
};

std::string_view Attribute(const XmlNode* node, const char* name)
{
    const XmlAttribute* attribute = node->first_attribute(name);
    return attribute != nullptr ? ValueOf(attribute) : std::string_view();
}

UInt32 Number(std::string_view text)
{
    return static_cast<UInt32>(std::strtoul(std::string(text).c_str(), nullptr, 10));
}

// The history's backup record says the backup file was written by a run that never settled it, and
// the file is still the one it recorded: a regular file of its size, and time of last write in the
// file system's ticks.
bool BackupUnsettled(const XmlNode* record, const SystemPath& backup)
{
    std::error_code error;
    if (record == nullptr || Attribute(record, "settled") == "1" || !std::filesystem::is_regular_file(backup, error))
        return false;
    const std::uintmax_t size = std::filesystem::file_size(backup, error);
    const auto modified = std::filesystem::last_write_time(backup, error).time_since_epoch().count();
    return !error && std::to_string(size) == Attribute(record, "size") &&
           std::to_string(modified) == Attribute(record, "modified");
}

void TakeLists(const XmlNode* root, EarlierVersion& earlier)
{
    std::u16string units;
    for (const XmlNode* node = root->first_node("expressions"); node != nullptr; node = node->next_sibling("expressions")) {
        KeptExpressionList kept;
        kept.name.group = ExactUtf8ToUniString(Attribute(node, "group"), units);
        kept.name.property = ExactUtf8ToUniString(Attribute(node, "property"), units);
        kept.record = KeptRecord{Number(Attribute(node, "run")), ValueFate::NotDefined, true};
        for (const XmlNode* expression = node->first_node("expression"); expression != nullptr;
             expression = expression->next_sibling("expression"))
            kept.list.Push(ExactUtf8ToUniString(ValueOf(expression), units));
        earlier.started.emplace(kept.record.run, Attribute(node, "saved"));
        earlier.lists.push_back(std::move(kept));
    }
}

// Reads the values run `run` saved in `path`: the backup file, or a kept file of the earlier version
// (when `lastRun`, the last run the history counted, is given): its root names that run, or it names
// none and the run is one the history counted (the earlier version also kept copies of the backup
// so). A user's own file under such a name, say "IFC_SG_Properties.20261201.xml", is left alone.
// False when it is not taken; `retry` is set when it could not be read at all, for a later run to
// try again. The run's start is the root's "saved", unless the history gave it first.
bool TakeValues(const SystemPath& path, UInt32 run, std::optional<UInt32> lastRun, EarlierVersion& earlier)
{
    SystemError error = 0;
    std::optional<std::string> text = ReadTextFile(path, &error);
    ValueBackupReading reading =
        text ? ParseValueBackup(std::move(*text)) : ValueBackupReading{.problem = FileProblem(path, error)};
    if (!reading.backup) {
        ReportLine(Messages::EarlierFileUnreadableLine, {PathText(path), reading.problem->Detail()});
        earlier.retry |= error != 0;
        return false;
    }
    if (lastRun && (reading.run ? *reading.run != run : run > *lastRun))
        return false;
    earlier.started.emplace(run, reading.saved);
    earlier.values.emplace_back(run, std::move(*reading.backup));
    return true;
}

// The run number of a kept file's name, "IFC_SG_Properties.N.xml" with N of at most nine digits; 0
// for another name.
UInt32 KeptFileRun(const std::string& name)
{
    static const std::regex keptFile(std::string(BaseName) + "\\.([0-9]{1,9})\\.xml");
    std::smatch match;
    return std::regex_match(name, match, keptFile) ? Number(match.str(1)) : 0;
}

// The history's root; nothing, told, when the file is no history, which is then set aside so that
// the runs after this one do not tell of it again.
const XmlNode* HistoryRoot(const SystemPath& path, std::string& text, XmlDocument& document)
{
    try {
        if (!NestsTooDeep(text)) {
            document.parse<0>(text.data());
            if (const XmlNode* root = document.first_node("history"))
                return root;
        }
    } catch (const rapidxml::parse_error&) {
    }
    ReportLine(Messages::EarlierFileUnreadableLine, {PathText(path), Messages::NotAHistoryReason});
    SetFileAside(path, "unreadable");
    return nullptr;
}

}  // namespace

void TakeEarlierVersionFiles(UpdateRun& run)
{
    const std::optional<SystemPath> backup = BackupFilePath();
    if (!run.store || !backup)
        return;
    const SystemPath historyPath = backup->parent_path() / (std::string(BaseName) + ".history.xml");
    if (!IsExistingFile(historyPath))
        return;
    SystemError error = 0;
    std::optional<std::string> text = ReadTextFile(historyPath, &error);
    if (!text) {
        ReportLine(Messages::EarlierFileUnreadableLine, {PathText(historyPath), FileProblem(historyPath, error).Detail()});
        return;
    }
    EarlierVersion earlier;
    XmlDocument document;
    const XmlNode* root = HistoryRoot(historyPath, *text, document);
    const UInt32 lastRun = root != nullptr ? Number(Attribute(root, "run")) : 0;
    const XmlNode* record = root != nullptr ? root->first_node("backup") : nullptr;
    if (root != nullptr) {
        earlier.taken.push_back(historyPath);
        TakeLists(root, earlier);
    }
    // The time of the run that saved the backup, which a copy of it kept by that run does not name.
    if (record != nullptr)
        earlier.started.emplace(Number(Attribute(record, "run")), Attribute(record, "saved"));
    for (const SystemPath& path : FilesIn(backup->parent_path()))
        if (const UInt32 number = KeptFileRun(PathText(path.filename()));
            number != 0 && TakeValues(path, number, lastRun, earlier))
            earlier.taken.push_back(path);
    if (BackupUnsettled(record, *backup))
        TakeValues(*backup, Number(Attribute(record, "run")), std::nullopt, earlier);
    if (run.store->WriteEarlierVersion(earlier.values, earlier.lists, earlier.started))
        return;  // told with the run's other store problems when the store is used next
    for (const SystemPath& path : earlier.taken)
        if (!earlier.retry || path != historyPath)
            SetFileAside(path, "in-store");
}

}  // namespace Quillmere
