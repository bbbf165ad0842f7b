#include "FuzzTargets.hpp"

#include <exception>
#include <optional>
#include <stdexcept>

#include "AddOnMain.hpp"
#include "Common/ExactText.hpp"
#include "Common/SystemFiles.hpp"
#include "ConfigurationImport/ExpressionPreservation.hpp"
#include "Host.hpp"
#include "Host/EntryPoints.hpp"
#include "ProjectFile.hpp"
#include "Support/Files.hpp"
#include "Support/Folders.hpp"
#include "BackupFile/ValueBackupFile.hpp"
#include "Restore/ValueRestore.hpp"

namespace Fuzz {

using namespace Quillmere;

namespace {

std::u16string Units(const char* text, std::size_t length)
{
    std::u16string units;
    GS::Unicode::AppendUtf8AsUtf16(units, text, length, GS::Unicode::Surrogates::Keep);
    return units;
}

// Whether two names are the same text, as bytes or as the units they decode to.
bool SameName(std::string_view a, std::string_view b)
{
    return a == b || Units(a.data(), a.size()) == Units(b.data(), b.size());
}

// Whether two backups hold the same entries and values, as the restore would write them: texts
// equal byte for byte, or converting to the same units.
std::string CompareBackups(const ValueBackup& first, const ValueBackup& second)
{
    if (first.Entries().size() != second.Entries().size())
        return "entry count " + std::to_string(first.Entries().size()) + " became " +
               std::to_string(second.Entries().size());
    for (std::size_t e = 0; e < first.Entries().size(); ++e) {
        const ValueBackup::Entry& a = first.Entries()[e];
        const ValueBackup::Entry& b = second.Entries()[e];
        if (a.element != b.element || a.valueCount != b.valueCount)
            return "entry " + std::to_string(e) + " changed its element or value count";
        for (UInt32 v = 0; v < a.valueCount; ++v) {
            const ValueBackup::Value& x = first.Values()[a.firstValue + v];
            const ValueBackup::Value& y = second.Values()[b.firstValue + v];
            const std::string where = "entry " + std::to_string(e) + " value " + std::to_string(v);
            const ValueBackup::Key& xKey = first.Keys()[x.key];
            const ValueBackup::Key& yKey = second.Keys()[y.key];
            if (xKey.separated != yKey.separated || !SameName(xKey.group, yKey.group) ||
                !SameName(xKey.property, yKey.property))
                return where + ": the key changed";
            if (x.valueType != y.valueType)
                return where + ": the value type changed";
            if (std::string_view(x.text, x.textLength) != std::string_view(y.text, y.textLength) &&
                Units(x.text, x.textLength) != Units(y.text, y.textLength))
                return where + ": the text changed";
        }
    }
    return {};
}

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

struct BackupRestoreTarget::State {
    TestHost::Host host;
    Support::ProfileFolder profile;  // "USERPROFILE" while the target lives
};

BackupRestoreTarget::BackupRestoreTarget(const std::filesystem::path& sourceFolder) : state(std::make_unique<State>())
{
    TestHost::Project project;
    const TestHost::ProjectReadResult read =
        TestHost::LoadProjectFile((sourceFolder / "Examples" / "CommunityClinic.xml").string(), project);
    if (!read.ok)
        throw std::runtime_error("cannot read the example project: " + read.message);
    state->host.ReplaceProject(std::move(project));
    SetImportedFuncAddrs(state->host.ServiceTable());
    if (GuardedInitialize(state->host.Context()) != NoError)
        throw std::runtime_error("the add-on did not initialize");
}

BackupRestoreTarget::~BackupRestoreTarget()
{
    GuardedRelease();
}

std::string BackupRestoreTarget::Run(std::string_view input)
{
    if (!Support::TryWriteBytes(state->profile.BackupFile(), input))
        return "the backup file cannot be written";

    // The file read as the earlier version's files are read when they are taken into the store.
    std::optional<std::string> text = ReadTextFile(state->profile.BackupFile());
    if (!text)
        return "the backup file cannot be read";
    ValueBackupReading reading = ParseValueBackup(std::move(*text));
    if (!reading.backup)
        return reading.problem ? std::string() : "a text that is no backup has no problem";

    // Printed and read again, the backup holds the same values.
    std::string printed;
    PrintValueBackup(*reading.backup, [&printed](std::string_view piece) { printed += piece; });
    const ValueBackupReading reparsed = ParseValueBackup(printed);
    if (!reparsed.backup)
        return "the printed backup does not read back: " + reparsed.problem->Detail();
    if (std::string difference = CompareBackups(*reading.backup, *reparsed.backup); !difference.empty())
        return "printed and read back, " + difference;

    // Restored as a run's own values: whatever the file held, the restore ends normally.
    UpdateRun run;
    run.backup = std::move(reading.backup);
    run.fates.assign(run.backup->ValueCount(), ValueFate::Pending);
    state->host.ClearOutput();
    try {
        if (!RestoreElementValues(run))
            return "the restore says it had nothing to restore from";
    } catch (const std::exception& failure) {
        return std::string("the restore threw: ") + failure.what();
    } catch (...) {
        return "the restore threw something that is not a std::exception";
    }
    // The host may refuse a value; each refusal names the property.
    for (const auto& line : state->host.ReportLines())
        if (line.flag != 0 || !EndsWith(line.text, " error while importing property"))
            return "unexpected report line: " + line.text;
    return {};
}

}  // namespace Fuzz
