#include "HistoryFiles.hpp"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "rapidxml.hpp"

#if defined(_WIN32)
#include "Win/Win.hpp"
#else
#include <dirent.h>
#endif

#include "Common/ExactText.hpp"
#include "Common/Messages.hpp"
#include "Common/XmlDocument.hpp"
#include "Host/HostCalls.hpp"
#include "BackupReader.hpp"
#include "ValueBackupFile.hpp"
#include "XmlPrinting.hpp"

namespace Quillmere {

namespace {

using namespace XmlPrinting;

constexpr std::string_view BaseName = "IFC_SG_Properties";

std::string_view Attribute(const XmlNode* node, const char* name)
{
    const XmlAttribute* attribute = node->first_attribute(name);
    return attribute != nullptr ? ValueOf(attribute) : std::string_view();
}

std::uint64_t Number(std::string_view text)
{
    return std::strtoull(std::string(text).c_str(), nullptr, 10);
}

// The run number of a kept file's name, "IFC_SG_Properties.N.xml"; nothing for another name.
template <typename Char>
std::optional<UInt32> KeptFileRun(const std::basic_string<Char>& name)
{
    const std::size_t prefix = BaseName.size() + 1, suffix = 4;
    if (name.size() <= prefix + suffix || name.size() > prefix + suffix + 9)
        return std::nullopt;
    for (std::size_t at = 0; at < BaseName.size(); ++at)
        if (name[at] != static_cast<Char>(BaseName[at]))
            return std::nullopt;
    const std::basic_string<Char> dotXml = {'.', 'x', 'm', 'l'};
    if (name[BaseName.size()] != '.' || name.compare(name.size() - suffix, suffix, dotXml) != 0)
        return std::nullopt;
    UInt32 run = 0;
    for (std::size_t at = prefix; at < name.size() - suffix; ++at) {
        if (name[at] < '0' || name[at] > '9')
            return std::nullopt;
        run = run * 10 + static_cast<UInt32>(name[at] - '0');
    }
    return run;
}

// The names in `folder`; none when it cannot be listed. (The standard library's directory iterator
// allocates where it may not throw, so memory running out would end the host.)
std::vector<SystemPath::string_type> FileNamesIn(const SystemPath& folder)
{
    std::vector<SystemPath::string_type> names;
#if defined(_WIN32)
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((folder / L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    struct Closer {
        HANDLE search;
        ~Closer() { FindClose(search); }
    } closer{search};
    do
        names.emplace_back(entry.cFileName);
    while (FindNextFileW(search, &entry));
#else
    DIR* const directory = ::opendir(folder.c_str());
    if (directory == nullptr)
        return names;
    struct Closer {
        DIR* directory;
        ~Closer() { ::closedir(directory); }
    } closer{directory};
    while (const dirent* entry = ::readdir(directory))
        names.emplace_back(entry->d_name);
#endif
    return names;
}

std::string TimeText(std::time_t time)
{
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &time);
#else
    localtime_r(&time, &local);
#endif
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return std::string(text, length);
}

void PutIndentedLine(StringOutput& out, int depth, std::string_view text)
{
    for (int tab = 0; tab < depth; ++tab)
        out.Write('\t');
    PutLiteral(out, text);
}

void PutRecord(StringOutput& out, const BackupRecord& backup)
{
    PutIndentedLine(out, 1, "<backup");
    PutAttribute(out, "run", std::to_string(backup.run));
    PutAttribute(out, "size", std::to_string(backup.stamp.size));
    PutAttribute(out, "modified", std::to_string(backup.stamp.modified));
    PutAttribute(out, "saved", backup.saved);
    PutAttribute(out, "settled", backup.settled ? "1" : "0");
    PutLiteral(out, "/>");
    PutLiteral(out, LineEnd);
}

void PutList(StringOutput& out, const KeptExpressionList& kept)
{
    PutIndentedLine(out, 1, "<expressions");
    PutAttribute(out, "group", ExactUtf8(kept.name.group));
    PutAttribute(out, "property", ExactUtf8(kept.name.property));
    PutAttribute(out, "run", std::to_string(kept.run));
    PutAttribute(out, "saved", kept.saved);
    if (kept.unwritten)
        PutAttribute(out, "unwritten", "1");
    if (kept.list.IsEmpty()) {
        PutLiteral(out, "/>");
        PutLiteral(out, LineEnd);
        return;
    }
    PutLiteral(out, ">");
    PutLiteral(out, LineEnd);
    for (const GS::UniString& expression : kept.list) {
        PutIndentedLine(out, 2, "<expression>");
        PutEscaped(out, ExactUtf8(expression), false);
        PutLiteral(out, "</expression>");
        PutLiteral(out, LineEnd);
    }
    PutIndentedLine(out, 1, "</expressions>");
    PutLiteral(out, LineEnd);
}

}  // namespace

std::string PrintHistory(const HistoryFile& history)
{
    std::string text;
    StringOutput out{text};
    PutLiteral(out, "<?xml version=\"1.0\" encoding=\"utf-8\"?>");
    PutLiteral(out, LineEnd);
    PutLiteral(out, "<history");
    PutAttribute(out, "run", std::to_string(history.lastRun));
    PutLiteral(out, ">");
    PutLiteral(out, LineEnd);
    if (history.backup)
        PutRecord(out, *history.backup);
    for (const KeptExpressionList& kept : history.lists)
        PutList(out, kept);
    PutLiteral(out, "</history>");
    PutLiteral(out, LineEnd);
    return text;
}

std::optional<HistoryFile> ParseHistory(std::string text)
{
    XmlDocument document;
    try {
        document.parse<0>(text.data());
    } catch (const rapidxml::parse_error&) {
        return std::nullopt;
    }
    const XmlNode* root = document.first_node("history");
    if (root == nullptr)
        return std::nullopt;
    HistoryFile history;
    history.lastRun = static_cast<UInt32>(Number(Attribute(root, "run")));
    std::u16string units;
    for (const XmlNode* node = root->first_node(); node != nullptr; node = node->next_sibling()) {
        const std::string_view name(node->name(), node->name_size());
        if (name == "backup") {
            BackupRecord backup;
            backup.run = static_cast<UInt32>(Number(Attribute(node, "run")));
            backup.stamp.size = Number(Attribute(node, "size"));
            backup.stamp.modified = std::strtoll(std::string(Attribute(node, "modified")).c_str(), nullptr, 10);
            backup.saved = std::string(Attribute(node, "saved"));
            backup.settled = Attribute(node, "settled") == "1";
            history.backup = std::move(backup);
        } else if (name == "expressions") {
            KeptExpressionList kept;
            kept.name.group = ExactUtf8ToUniString(Attribute(node, "group"), units);
            kept.name.property = ExactUtf8ToUniString(Attribute(node, "property"), units);
            kept.run = static_cast<UInt32>(Number(Attribute(node, "run")));
            kept.saved = std::string(Attribute(node, "saved"));
            kept.unwritten = Attribute(node, "unwritten") == "1";
            for (const XmlNode* expression = node->first_node("expression"); expression != nullptr;
                 expression = expression->next_sibling("expression"))
                kept.list.Push(ExactUtf8ToUniString(ValueOf(expression), units));
            history.lists.push_back(std::move(kept));
        }
    }
    return history;
}

SystemPath HistoryFilePath(const SystemPath& folder)
{
    return folder / (std::string(BaseName) + ".history.xml");
}

SystemPath KeptValuesPath(const SystemPath& folder, UInt32 run)
{
    return folder / (std::string(BaseName) + "." + std::to_string(run) + ".xml");
}

std::vector<KeptValues> FindKeptValues(const SystemPath& folder)
{
    std::vector<KeptValues> found;
    for (const SystemPath::string_type& name : FileNamesIn(folder)) {
        const std::optional<UInt32> run = KeptFileRun(name);
        if (!run)
            continue;
        KeptValues kept;
        kept.path = folder / name;
        kept.run = *run;
        found.push_back(std::move(kept));
    }
    std::sort(found.begin(), found.end(), [](const KeptValues& a, const KeptValues& b) { return a.run > b.run; });
    return found;
}

std::optional<FileStamp> StampOf(const SystemPath& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return std::nullopt;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error)
        return std::nullopt;
    const std::filesystem::file_time_type modified = std::filesystem::last_write_time(path, error);
    if (error)
        return std::nullopt;
    FileStamp stamp;
    stamp.size = size;
    stamp.modified = static_cast<std::int64_t>(modified.time_since_epoch().count());
    return stamp;
}

std::string TimeText()
{
    return TimeText(std::time(nullptr));
}

std::string TimeText(const FileStamp& stamp)
{
    const std::filesystem::file_time_type modified{std::filesystem::file_time_type::duration(stamp.modified)};
    const auto system = std::chrono::file_clock::to_sys(modified);
    return TimeText(std::chrono::system_clock::to_time_t(std::chrono::time_point_cast<std::chrono::system_clock::duration>(system)));
}

std::string BackupSavedText(const EarlierRuns& earlier)
{
    if (earlier.BackupRecorded())
        return earlier.backup->saved;
    return earlier.backupFile ? TimeText(*earlier.backupFile) : std::string();
}

namespace {

// Writes what `print` puts into the file in place of the file at `path`.
template <typename Print>
bool WriteReplacing(const SystemPath& path, Print print)
{
    ReplacingFileWriter file(path);
    SystemError error = file.Open();
    if (error == 0) {
        print(file);
        error = file.Commit();
    }
    if (error != 0)
        ReportErrorCode(Messages::BackupWriteError, error);
    return error == 0;
}

}  // namespace

bool WriteValuesFile(const SystemPath& path, const ValueBackup& values, const KeptFileHeader* header)
{
    return WriteReplacing(path, [&](ReplacingFileWriter& file) { PrintValueBackup(values, file, header); });
}

bool WriteHistory(const SystemPath& folder, const HistoryFile& history)
{
    const std::string text = PrintHistory(history);
    return WriteReplacing(HistoryFilePath(folder), [&](ReplacingFileWriter& file) { file.Write(text.data(), text.size()); });
}

namespace {

// Numbers the backup file's run when the history does not know it (a file of an earlier version of
// the add-on, or one changed since): newer than any run known. Answers the number of the run about
// to start.
UInt32 NumberRuns(EarlierRuns& earlier)
{
    UInt32 known = earlier.lastRun;
    if (earlier.backup)
        known = std::max(known, earlier.backup->run);
    for (const KeptValues& kept : earlier.kept)
        known = std::max(known, kept.run);
    if (earlier.BackupRecorded())
        earlier.backupRun = earlier.backup->run;
    else if (earlier.backupFile)
        earlier.backupRun = ++known;
    return known + 1;
}

// Puts the file at `path`, which cannot be read, aside under a name no later run reads, and tells
// of it by `line` (the path, and where it is kept): told of once, and still there for whoever
// wants what it held.
void PutAside(const SystemPath& path, const char* line)
{
    SystemPath aside = path;
    aside.replace_extension(".unreadable.xml");
    std::error_code error;
    std::filesystem::rename(path, aside, error);
    ReportLine(line, {PathText(path), PathText(error ? path : aside)});
}

// The history file's content; nothing, reported, when there is a file that cannot be read.
std::optional<HistoryFile> ReadHistory(const EarlierRuns& earlier)
{
    const SystemPath historyPath = HistoryFilePath(earlier.folder);
    if (!IsExistingFile(historyPath))
        return std::nullopt;
    std::optional<HistoryFile> history;
    if (std::optional<std::string> text = ReadTextFile(historyPath))
        history = ParseHistory(std::move(*text));
    if (!history)
        PutAside(historyPath, Messages::UnreadableHistoryLine);
    return history;
}

}  // namespace

void ReadEarlierRuns(UpdateRun& run)
{
    EarlierRuns& earlier = run.earlier;
    run.started = TimeText();
    run.number = 1;
    if (const std::optional<SystemPath> backupPath = BackupFilePath()) {
        earlier.folder = backupPath->parent_path();
        earlier.backupFile = StampOf(*backupPath);
        earlier.kept = FindKeptValues(earlier.folder);
        if (std::optional<HistoryFile> history = ReadHistory(earlier)) {
            earlier.lastRun = history->lastRun;
            earlier.backup = std::move(history->backup);
            // The file is the store's truth (another session may have brought lists back), but for
            // the lists of a run that ended before it could record them.
            for (KeptExpressionList& kept : ExpressionStore)
                if (kept.run > history->lastRun)
                    history->lists.push_back(std::move(kept));
            ExpressionStore = std::move(history->lists);
        }
        run.number = NumberRuns(earlier);
    }
    for (const KeptExpressionList& kept : ExpressionStore)
        run.number = std::max(run.number, kept.run + 1);
}

void ReadKeptValues(KeptValues& kept)
{
    if (kept.values || kept.unreadable)
        return;
    SystemError error = 0;
    std::optional<ValueBackupReading> reading = ReadValueBackupFile(kept.path, error);
    if (!reading || !reading->backup) {
        kept.unreadable = true;
        PutAside(kept.path, Messages::UnreadableKeptValuesLine);
        return;
    }
    if (reading->header && !reading->header->saved.empty())
        kept.saved = reading->header->saved;
    else if (const std::optional<FileStamp> stamp = StampOf(kept.path))
        kept.saved = TimeText(*stamp);
    kept.values = std::move(reading->backup);
    kept.fates.assign(kept.values->ValueCount(), ValueFate::Pending);
}

}  // namespace Quillmere
