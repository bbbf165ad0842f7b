// The update command on the example project with one host service call failing, for every call
// of every service that a complete run makes, and with each service left out of the table. Every
// run must end normally with the report lines and skipped steps that the failure calls for, leave
// the backup file as it was or complete, lose no owned value, and undo to the original project.
#include <algorithm>
#include <iostream>
#include <random>
#include <regex>
#include <set>

#include "ReliabilitySupport.hpp"

#include "AddOnMain.hpp"
#include "Faults.hpp"
#include "ProjectFile.hpp"

using namespace Reliability;

namespace {

constexpr GSErrCode InjectedCode = 4242;
const GSErrCode NotAvailable = static_cast<GSErrCode>(0x81060387);

// An earlier run's backup, of an element the example does not hold: it tells an untouched file
// from a new one, and restoring from it writes nothing.
const std::string EarlierBackup =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<project>\n\t<element guid=\"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9\">\n"
    "\t\t<SGPset_Wall-Thickness valType=\"Real\" MType=\"Length\">0.250000</SGPset_Wall-Thickness>\n"
    "\t</element>\n</project>\n\n";

const std::vector<std::string> ServiceNames = {
#define QM_SERVICE_NAME(shape, name, entry, params, args) #name,
    QM_HOST_SERVICES(QM_SERVICE_NAME)
#undef QM_SERVICE_NAME
};

// What one run left.
struct Outcome {
    GSErrCode registerCode = NoError;
    GSErrCode initializeCode = NoError;
    std::optional<GSErrCode> handlerResult;  // nothing when the command could not be chosen
    std::vector<TestHost::Host::ReportLine> lines;
    std::size_t alerts = 0;
    std::vector<std::string> steps;
    std::map<std::string, UInt64> calls;
    std::optional<std::string> backup;  // the file's bytes; nothing when there is none
    std::optional<BackupContent> backupContent;  // read back, when it is not the earlier file
    std::vector<BackupContent> keptContents;     // the files of kept values beside it
    bool temporaryLeft = false;
    std::string projectAfter;  // only when asked for
    Support::ValueMap valuesAfter;
    std::string projectAfterUndo;
};

std::vector<std::string> Texts(const Outcome& outcome)
{
    std::vector<std::string> texts;
    for (const auto& line : outcome.lines)
        texts.push_back(line.text);
    return texts;
}

class FaultSweep : public ProfileTest {
protected:
    void SetUp() override
    {
        ProfileTest::SetUp();
        choice = Support::SourceFolder() / "Examples" / "Configurations" / "IFC-SG-2026.xml";
        TestHost::Project project;
        const fs::path example = Support::SourceFolder() / "Examples" / "CommunityClinic.xml";
        ASSERT_TRUE(TestHost::LoadProjectFile(example.string(), project).ok);
        original = TestHost::WriteProjectXml(project);
        originalValues = Support::OwnedValues(project);
        ASSERT_TRUE(host.ReplaceProject(std::move(project)));
    }

    // Runs the command as the host does from loading the add-on to releasing it, with `fault`
    // applied to the fresh call counts.
    Outcome Run(const std::function<void(TestHost::Host&)>& fault, bool keepProjectAfter = false)
    {
        if (projectChanged) {
            TestHost::Project project;
            TestHost::ReadProjectXml(original, project);
            host.ReplaceProject(std::move(project));
        }
        // The earlier run's backup, and nothing else of earlier runs.
        fs::remove_all(profile.Documents());
        fs::create_directories(profile.Documents());
        Support::WriteBytes(profile.BackupFile(), EarlierBackup);
        fs::remove_all(profile.Store().parent_path());
        run = UpdateRun();
        host.GetFaults().Clear();
        host.GetFaults().ResetCallCounts();
        host.ClearOutput();
        fault(host);

        Outcome outcome;
        SetImportedFuncAddrs(host.ServiceTable());
        outcome.registerCode = GuardedRegister(nullptr);
        if (outcome.registerCode == NoError) {
            outcome.initializeCode = GuardedInitialize(host.Context());
            if (outcome.initializeCode == NoError)
                outcome.handlerResult = host.ChooseMenuItem(MenuStringsResID, 1);
        }
        GuardedRelease();
        for (const std::string& name : ServiceNames) {
            host.RestoreService(name);
            if (const UInt64 count = host.CallCount(name))
                outcome.calls[name] = count;
        }
        host.GetFaults().Clear();

        outcome.lines = host.ReportLines();
        outcome.alerts = host.Alerts().size();
        outcome.steps = host.StepNames();
        if (fs::exists(profile.BackupFile())) {
            outcome.backup = Support::ReadBytes(profile.BackupFile());
            if (*outcome.backup != EarlierBackup)
                outcome.backupContent = BackupContent::Read(profile.BackupFile());
        }
        outcome.keptContents.push_back(BackupContent::ReadStore(profile.Store()));
        outcome.temporaryLeft = fs::exists(fs::symlink_status(profile.TemporaryFile()));
        if (keepProjectAfter)
            outcome.projectAfter = TestHost::WriteProjectXml(host.GetProject());
        outcome.valuesAfter = Support::OwnedValues(host.GetProject());
        host.Undo(host.StepNames().size());
        outcome.projectAfterUndo = TestHost::WriteProjectXml(host.GetProject());
        projectChanged = outcome.projectAfterUndo != original;
        return outcome;
    }

    // What holds whatever failed: the command ended normally, nothing was left half-written,
    // undo gives the original project back and every owned value can still be had.
    void CheckInvariants(const Outcome& outcome)
    {
        if (outcome.handlerResult) {
            EXPECT_EQ(*outcome.handlerResult, NoError);
        }
        EXPECT_LE(outcome.alerts, 1u);
        EXPECT_FALSE(outcome.temporaryLeft);
        static const std::regex coded(
            "(Expressions Export Error|Error [1-4]|Deleting properties error|Classification Import Error|"
            "Properties Import Error|Error|Expressions Import Error|Backup Write Error): -?[0-9]+");
        // A finished line tells of a refused value, of what was not removed or not brought back.
        static const std::regex told(
            "SGPset_.* - .* error while importing property|Nothing was removed or imported: .*|"
            "No value or expression list was brought back: .*|SGPset_\\w+ / .*: .* not brought back .*|"
            "Waiting in \"[^\"]+\" for an import that defines their properties: .*");
        for (const auto& line : outcome.lines)
            EXPECT_TRUE(line.flag == 1 ? std::regex_match(line.text, coded) : std::regex_match(line.text, told))
                << int(line.flag) << " " << line.text;

        ASSERT_TRUE(outcome.backup.has_value());
        const std::optional<BackupContent>& backup = outcome.backupContent;
        if (*outcome.backup != EarlierBackup) {
            ASSERT_TRUE(backup.has_value()) << "the backup file is not well-formed";
        }
        EXPECT_EQ(outcome.projectAfterUndo, original) << "undoing every step does not give the project back";

        // Each owned value is on its element after the run, in the backup file, or back by undo.
        Support::ValueMap valuesAfterUndo = originalValues;
        if (outcome.projectAfterUndo != original) {
            TestHost::Project undone;
            ASSERT_TRUE(TestHost::ReadProjectXml(outcome.projectAfterUndo, undone).ok);
            valuesAfterUndo = Support::OwnedValues(undone);
        }
        for (const auto& [name, value] : originalValues) {
            const auto after = outcome.valuesAfter.find(name);
            const auto undoneValue = valuesAfterUndo.find(name);
            const bool restored = after != outcome.valuesAfter.end() && Support::SameValue(after->second, value);
            const bool saved = (backup && backup->Holds(name, value)) ||
                               std::any_of(outcome.keptContents.begin(), outcome.keptContents.end(),
                                           [&](const BackupContent& kept) { return kept.Holds(name, value); });
            const bool byUndo = undoneValue != valuesAfterUndo.end() && Support::SameValue(undoneValue->second, value);
            EXPECT_TRUE(restored || saved || byUndo) << std::get<0>(name) << " " << std::get<1>(name) << " "
                                                       << std::get<2>(name) << " is lost";
            ++(restored ? restoredCount : saved ? savedCount : byUndoCount);
        }
    }

    // The backup file holds every owned value as it was, or all but at most `skipped` of them.
    void ExpectCompleteBackup(const Outcome& outcome, std::size_t skipped = 0)
    {
        ASSERT_TRUE(outcome.backup.has_value());
        ASSERT_NE(*outcome.backup, EarlierBackup) << "no backup was written";
        const std::optional<BackupContent>& backup = outcome.backupContent;
        ASSERT_TRUE(backup.has_value());
        EXPECT_GE(backup->Count() + skipped, originalValues.size());
        std::size_t held = 0;
        for (const auto& [name, value] : originalValues)
            held += backup->Holds(name, value) ? 1 : 0;
        EXPECT_EQ(held, backup->Count());
    }

    TestHost::Host host;
    std::string original;
    Support::ValueMap originalValues;
    bool projectChanged = false;
    std::size_t restoredCount = 0;
    std::size_t savedCount = 0;
    std::size_t byUndoCount = 0;
};

// The calls of a service to fail in turn: every one. Under the sanitizers, which look for memory
// faults and run each call several times slower, a service called more than 50 times gets its
// first and last calls, those around the end of the backup's element walk, and 40 more drawn
// with a fixed seed; the debug build sweeps them all.
std::vector<UInt64> CallsToFail(UInt64 count, UInt64 elementCount)
{
    std::vector<UInt64> calls;
#if defined(__SANITIZE_ADDRESS__)
    constexpr bool sample = true;
#else
    constexpr bool sample = false;
#endif
    if (!sample || count <= 50) {
        for (UInt64 n = 1; n <= count; ++n)
            calls.push_back(n);
        return calls;
    }
    std::set<UInt64> chosen = {1, count, elementCount, elementCount + 1};
    std::mt19937_64 random(20261209);
    while (chosen.size() < 44)
        chosen.insert(1 + random() % count);
    for (const UInt64 n : chosen)
        if (n >= 1 && n <= count)
            calls.push_back(n);
    return calls;
}

// The phases of a run, in order.
enum class Phase { Export, Backup, Removal, ImportClassifications, ImportProperties, ExpressionImport, Restore };

const char* PhaseName(Phase phase)
{
    static const char* const names[] = {"export", "backup", "removal", "classification import", "property import",
                                        "expression import", "restore"};
    return names[static_cast<int>(phase)];
}

// The phase of each call of the complete run on the example, by service and call number: a phase
// begins with the call that opens it (in a complete run of a project with G owned groups and E
// elements).
class PhaseTrace {
public:
    void Record(const std::string& service, UInt64 call, UInt64 ownedGroups, UInt64 elements)
    {
        const struct {
            const char* service;
            UInt64 call;
            Phase phase;
        } openers[] = {
            {"HostListPropertyGroups", 1, Phase::Backup},           // the backup's look for owned groups
            {"HostListPropertyGroups", 2, Phase::Removal},
            {"HostRunUndoableCommand", ownedGroups + 1, Phase::ImportClassifications},
            {"HostRunUndoableCommand", ownedGroups + 2, Phase::ImportProperties},
            {"HostListPropertyDefinitions", 2, Phase::ExpressionImport},
            {"HostListElementPropertyDefinitions", elements + 1, Phase::Restore},  // after one each in the backup
        };
        for (const auto& opener : openers)
            if (service == opener.service && call == opener.call)
                current = opener.phase;
        phases[{service, call}] = current;
    }
    Phase Of(const std::string& service, UInt64 call) const { return phases.at({service, call}); }

private:
    Phase current = Phase::Export;
    std::map<std::pair<std::string, UInt64>, Phase> phases;
};

// The steps a run keeps, against those of the complete run.
enum class Steps {
    None,               // it stopped before removing anything
    All,                // as the complete run
    NoRemoval,          // no group removed; the import adds the groups beside the old ones
    OneRemovalFewer,    // one group stayed and takes the import's definitions too
    NoClassifications,  // the classification import failed (and kept no step)
    OnlyRemovalsAndClassifications,  // the property import failed: nothing to bring back into
    NoExpressions,      // the expression import could not list the definitions
    OneExpressionFewer, // one list could not be written
    AtMostOneExpressionFewer,
};

// What one failing call leads to: the report lines (one regular expression for all of them, one
// line each, in order), whether the completion alert is shown, and the steps kept.
struct Expected {
    const char* service;
    Phase phase;
    const char* lines;
    bool alert;
    Steps steps;
};

#define CODE "4242"
#define KEPT_IN "; (it is )?kept in \"[^\"]+\""
#define NOTHING_REMOVED "\nNothing was removed or imported: the expression lists and values of the owned property groups could not all be saved"
#define VALUES_UNWRITTEN "(SGPset_\\w+ / [^:]+: [0-9]+ of [0-9]+ saved values? not brought back \\([0-9]+ could not be written\\)" KEPT_IN "\n?)"
#define WAITING "\nWaiting in \"[^\"]+\" for an import that defines their properties: [^\n]+"

// Every failing call of the complete run, by service and phase.
const Expected Expectations[] = {
    // The export and the backup stop the run before it removes anything.
    {"HostListPropertyDefinitions", Phase::Export, "Expressions Export Error: " CODE NOTHING_REMOVED, false, Steps::None},
    {"HostReadPropertyGroup", Phase::Export, "Expressions Export Error: " CODE NOTHING_REMOVED, false, Steps::None},
    {"HostListElements", Phase::Backup, "Error 1: " CODE NOTHING_REMOVED, false, Steps::None},
    {"HostListElementPropertyDefinitions", Phase::Backup, "Error 2: " CODE NOTHING_REMOVED, false, Steps::None},
    {"HostReadPropertyGroup", Phase::Backup, "Error 3: " CODE NOTHING_REMOVED, false, Steps::None},
    {"HostReadElementPropertyValue", Phase::Backup, "Error 4: " CODE NOTHING_REMOVED, false, Steps::None},
    // The backup's look for owned groups fails: it saves the values as for any project.
    {"HostListPropertyGroups", Phase::Backup, "", true, Steps::All},
    // A group that is not removed keeps its values; the imported one of its name gets them too.
    {"HostListPropertyGroups", Phase::Removal, "", true, Steps::NoRemoval},
    {"HostRunUndoableCommand", Phase::Removal, "Deleting properties error: " CODE, true, Steps::OneRemovalFewer},
    {"HostRemovePropertyGroup", Phase::Removal, "Deleting properties error: " CODE, true, Steps::OneRemovalFewer},
    // A failed classification import still lets everything come back, without the alert.
    {"HostRunUndoableCommand", Phase::ImportClassifications, "Classification Import Error: " CODE, false, Steps::NoClassifications},
    {"HostImportClassificationXml", Phase::ImportClassifications, "Classification Import Error: " CODE, false, Steps::NoClassifications},
    // A failed property import brings nothing back; everything waits for the next import.
    {"HostRunUndoableCommand", Phase::ImportProperties,
     "Properties Import Error: " CODE "\nNo value or expression list was brought back: they are kept in \"[^\"]+\" for the next import" WAITING,
     false, Steps::OnlyRemovalsAndClassifications},
    {"HostImportPropertyXml", Phase::ImportProperties,
     "Properties Import Error: " CODE "\nNo value or expression list was brought back: they are kept in \"[^\"]+\" for the next import" WAITING,
     false, Steps::OnlyRemovalsAndClassifications},
    // The expression import: without the definitions no list comes back; one list that is not
    // written is told of twice.
    {"HostListPropertyDefinitions", Phase::ExpressionImport,
     "Error: " CODE "(\nSGPset_\\w+ / \\w+: the saved expression list was not brought back \\(it could not be written\\)" KEPT_IN ")+" WAITING,
     false, Steps::NoExpressions},
    {"HostRunUndoableCommand", Phase::ExpressionImport,
     "Expressions Import Error: " CODE "\nSGPset_\\w+ / \\w+: the saved expression list was not brought back \\(it could not be written\\)" KEPT_IN WAITING,
     true, Steps::OneExpressionFewer},
    {"HostUpdatePropertyDefinition", Phase::ExpressionImport,
     "Expressions Import Error: " CODE "\nSGPset_\\w+ / \\w+: the saved expression list was not brought back \\(it could not be written\\)" KEPT_IN WAITING,
     true, Steps::OneExpressionFewer},
    // A group that cannot be read counts as not owned: its definition gets no list.
    {"HostReadPropertyGroup", Phase::ExpressionImport,
     "(SGPset_\\w+ / \\w+: the saved expression list was not brought back \\(it could not be written\\)" KEPT_IN WAITING ")?",
     true, Steps::AtMostOneExpressionFewer},
    // The restore: what cannot be written is told of, and kept.
    {"HostListElementPropertyDefinitions", Phase::Restore, VALUES_UNWRITTEN "+" WAITING, true, Steps::All},
    {"HostReadPropertyGroup", Phase::Restore, "(" VALUES_UNWRITTEN "+" WAITING ")?", true, Steps::All},
    {"HostWriteElementPropertyValue", Phase::Restore, "SGPset_\\w+ - \\w+ error while importing property\n" VALUES_UNWRITTEN WAITING, true, Steps::All},
    // Without the project's file from the host, the project is known by its elements.
    {"HostGetProjectInfo", Phase::Backup, "", true, Steps::All},
};

const Expected* FindExpected(const std::string& service, Phase phase)
{
    for (const Expected& expected : Expectations)
        if (service == expected.service && phase == expected.phase)
            return &expected;
    return nullptr;
}

// The steps `kind` stands for, against the complete run's `ownedGroups` removals and `reapplied`
// expression imports: whether `steps` are such.
bool StepsAre(Steps kind, const std::vector<std::string>& steps, std::size_t ownedGroups, std::size_t reapplied)
{
    const auto count = [&steps](const char* name) { return static_cast<std::size_t>(std::count(steps.begin(), steps.end(), name)); };
    const std::size_t removals = count("Delete Property Groups"), expressions = count("Import Expressions");
    const bool classifications = count("Import Classifications") == 1, properties = count("Import Properties") == 1;
    switch (kind) {
        case Steps::None: return steps.empty();
        case Steps::All: return removals == ownedGroups && classifications && properties && expressions == reapplied;
        case Steps::NoRemoval: return removals == 0 && classifications && properties && expressions >= reapplied;
        case Steps::OneRemovalFewer: return removals == ownedGroups - 1 && classifications && properties && expressions >= reapplied;
        case Steps::NoClassifications: return removals == ownedGroups && !classifications && properties && expressions == reapplied;
        case Steps::OnlyRemovalsAndClassifications:
            return removals == ownedGroups && classifications && !properties && expressions == 0;
        case Steps::NoExpressions: return removals == ownedGroups && classifications && properties && expressions == 0;
        case Steps::OneExpressionFewer: return removals == ownedGroups && classifications && properties && expressions == reapplied - 1;
        case Steps::AtMostOneExpressionFewer:
            return removals == ownedGroups && classifications && properties && expressions + 1 >= reapplied && expressions <= reapplied;
    }
    return false;
}

std::string Joined(const std::vector<std::string>& texts)
{
    std::string joined;
    for (const std::string& text : texts)
        joined += (joined.empty() ? "" : "\n") + text;
    return joined;
}

}  // namespace

TEST_F(FaultSweep, EveryCallOfEveryServiceFailingOnce)
{
    TestHost::Project project;
    ASSERT_TRUE(TestHost::ReadProjectXml(original, project).ok);
    const UInt64 elementCount = project.Elements().size();
    std::size_t ownedGroups = 0;
    for (const TestHost::PropertyGroup& group : project.Groups())
        ownedGroups += Support::IsOwnedGroup(group.name) ? 1 : 0;

    PhaseTrace trace;
    host.GetFaults().SetCallListener([&](UInt32 index, UInt64 call) {
        trace.Record(TestHost::ServiceName(index), call, ownedGroups, elementCount);
    });
    const Outcome clean = Run([](TestHost::Host&) {}, true);
    host.GetFaults().SetCallListener({});
    CheckInvariants(clean);
    ASSERT_EQ(clean.alerts, 1u);
    ASSERT_TRUE(clean.lines.empty()) << clean.lines[0].text;
    ExpectCompleteBackup(clean);
    const std::size_t reapplied = std::count(clean.steps.begin(), clean.steps.end(), "Import Expressions");
    ASSERT_GT(reapplied, 0u);
    ASSERT_TRUE(StepsAre(Steps::All, clean.steps, ownedGroups, reapplied));

    std::size_t runs = 0;
    std::size_t expectedRuns = 0;
    for (const auto& [service, count] : clean.calls) {
        const std::vector<UInt64> calls = CallsToFail(count, elementCount);
        expectedRuns += calls.size();
        for (const UInt64 n : calls) {
            const Phase phase = trace.Of(service, n);
            SCOPED_TRACE(service + "@" + std::to_string(n) + " in the " + PhaseName(phase));
            const UInt32 index = *TestHost::FindServiceIndex(service);
            const bool keepProjectAfter = service == "HostAddMenu";
            const Outcome outcome = Run(
                [&](TestHost::Host& h) { h.GetFaults().FailNthCall(index, static_cast<UInt32>(n), InjectedCode); },
                keepProjectAfter);
            ++runs;
            CheckInvariants(outcome);

            if (service == "HostAddMenu") {
                EXPECT_EQ(outcome.registerCode, InjectedCode);
                EXPECT_EQ(outcome.projectAfter, original);
                continue;
            }
            if (service == "HostSetMenuHandler") {
                EXPECT_EQ(outcome.initializeCode, InjectedCode);
                EXPECT_FALSE(outcome.handlerResult.has_value());
                continue;
            }
            const Expected* expected = FindExpected(service, phase);
            if (expected == nullptr) {
                ADD_FAILURE() << "no expectation";
                continue;
            }
            const std::string lines = Joined(Texts(outcome));
            EXPECT_TRUE(std::regex_match(lines, std::regex(expected->lines))) << lines;
            EXPECT_EQ(outcome.alerts, expected->alert ? 1u : 0u);
            EXPECT_TRUE(StepsAre(expected->steps, outcome.steps, ownedGroups, reapplied)) << Joined(outcome.steps);
            if (expected->steps == Steps::None) {
                EXPECT_EQ(outcome.backup, EarlierBackup);
                EXPECT_EQ(outcome.valuesAfter, originalValues);
            }
        }
    }
    std::cout << "[ sweep    ] " << runs << " runs with one failing call; owned values " << restoredCount
              << " restored, " << savedCount << " only in the backup or kept files, " << byUndoCount << " only by undo\n";
    EXPECT_EQ(runs, expectedRuns);
}

TEST_F(FaultSweep, EveryServiceLeftOutIsLikeEveryCallFailingWithServiceNotAvailable)
{
    for (const std::string& service : ServiceNames) {
        SCOPED_TRACE(service);
        const Outcome removed = Run([&](TestHost::Host& h) { ASSERT_TRUE(h.RemoveService(service)); }, true);
        CheckInvariants(removed);
        const UInt32 index = *TestHost::FindServiceIndex(service);
        const Outcome failing = Run([&](TestHost::Host& h) { h.GetFaults().FailAlways(index, NotAvailable); }, true);
        CheckInvariants(failing);

        EXPECT_EQ(removed.registerCode, failing.registerCode);
        EXPECT_EQ(removed.initializeCode, failing.initializeCode);
        EXPECT_EQ(removed.handlerResult, failing.handlerResult);
        EXPECT_EQ(Texts(removed), Texts(failing));
        EXPECT_EQ(removed.alerts, failing.alerts);
        EXPECT_EQ(removed.steps, failing.steps);
        EXPECT_EQ(removed.backup, failing.backup);
        EXPECT_EQ(removed.projectAfter, failing.projectAfter);
        // A service left out is never reached: the module's forwarder answers for it.
        EXPECT_EQ(removed.calls.count(service), 0u);
    }
}
