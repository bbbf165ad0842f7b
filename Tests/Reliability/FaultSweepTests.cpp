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
        Support::WriteBytes(profile.BackupFile(), EarlierBackup);
        ExpressionStore.clear();
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
        static const std::regex refused("SGPset_.* - .* error while importing property");
        for (const auto& line : outcome.lines)
            EXPECT_TRUE(line.flag == 1 ? std::regex_match(line.text, coded) : std::regex_match(line.text, refused))
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
            const bool saved = backup && backup->Holds(name, value);
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

std::string Line(const char* format, GSErrCode code)
{
    return std::string(format) + ": " + std::to_string(code);
}

// The undo steps a run keeps, in their order: the group removals, the two imports, the expression
// imports. A failed command keeps no step.
std::vector<std::string> Steps(std::size_t removals, bool classifications, bool properties, std::size_t expressions)
{
    std::vector<std::string> steps(removals, "Delete Property Groups");
    if (classifications)
        steps.push_back("Import Classifications");
    if (properties)
        steps.push_back("Import Properties");
    steps.insert(steps.end(), expressions, "Import Expressions");
    return steps;
}

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

// One group fewer removed; the group that stayed takes the import's definitions, and those whose
// expressions were saved get them again (at least as many as in a complete run).
void ExpectStepsAfterAFailedRemoval(const std::vector<std::string>& steps, std::size_t ownedGroups, std::size_t reapplied)
{
    const std::vector<std::string> start = Steps(ownedGroups - 1, true, true, 0);
    ASSERT_GE(steps.size(), start.size() + reapplied);
    EXPECT_EQ(std::vector<std::string>(steps.begin(), steps.begin() + start.size()), start);
    for (std::size_t i = start.size(); i < steps.size(); ++i)
        EXPECT_EQ(steps[i], "Import Expressions");
}

}  // namespace

TEST_F(FaultSweep, EveryCallOfEveryServiceFailingOnce)
{
    const Outcome clean = Run([](TestHost::Host&) {}, true);
    CheckInvariants(clean);
    ASSERT_EQ(clean.alerts, 1u);
    ASSERT_TRUE(clean.lines.empty());
    ExpectCompleteBackup(clean);
    const std::size_t ownedGroups = std::count(clean.steps.begin(), clean.steps.end(), "Delete Property Groups");
    const std::size_t reapplied = std::count(clean.steps.begin(), clean.steps.end(), "Import Expressions");
    ASSERT_GT(ownedGroups, 0u);
    ASSERT_GT(reapplied, 0u);
    ASSERT_EQ(clean.steps, Steps(ownedGroups, true, true, reapplied));
    // The backup lists each element's definitions once; the restore once per saved element.
    TestHost::Project project;
    ASSERT_TRUE(TestHost::ReadProjectXml(original, project).ok);
    const UInt64 elementCount = project.Elements().size();

    std::size_t runs = 0;
    std::size_t expectedRuns = 0;
    for (const auto& [service, count] : clean.calls) {
        const std::vector<UInt64> calls = CallsToFail(count, elementCount);
        expectedRuns += calls.size();
        for (const UInt64 n : calls) {
            SCOPED_TRACE(service + "@" + std::to_string(n));
            const UInt32 index = *TestHost::FindServiceIndex(service);
            const bool keepProjectAfter = service == "HostAddMenu" || service == "HostListPropertyGroups";
            const Outcome outcome = Run(
                [&](TestHost::Host& h) { h.GetFaults().FailNthCall(index, static_cast<UInt32>(n), InjectedCode); },
                keepProjectAfter);
            ++runs;
            CheckInvariants(outcome);
            const std::vector<std::string> texts = Texts(outcome);

            if (service == "HostAddMenu") {
                EXPECT_EQ(outcome.registerCode, InjectedCode);
                EXPECT_EQ(outcome.projectAfter, original);
            } else if (service == "HostSetMenuHandler") {
                EXPECT_EQ(outcome.initializeCode, InjectedCode);
                EXPECT_FALSE(outcome.handlerResult.has_value());
            } else if (service == "HostListPropertyDefinitions") {
                // First the expression export, then the expression import.
                EXPECT_EQ(texts, std::vector<std::string>{Line(n == 1 ? "Expressions Export Error" : "Error", InjectedCode)});
                EXPECT_EQ(outcome.alerts, n == 1 ? 1u : 0u);
                // Nothing saved, nothing re-applied; or the expression import and the restore skipped.
                EXPECT_EQ(outcome.steps, Steps(ownedGroups, true, true, 0));
                if (n == 2) {
                    EXPECT_EQ(outcome.calls.count("HostWriteElementPropertyValue"), 0u);
                }
                ExpectCompleteBackup(outcome);
            } else if (service == "HostListElements") {
                EXPECT_EQ(texts, std::vector<std::string>{Line("Error 1", InjectedCode)});
                EXPECT_EQ(outcome.backup, EarlierBackup);
                EXPECT_EQ(outcome.alerts, 1u);
            } else if (service == "HostListElementPropertyDefinitions") {
                if (n <= elementCount) {
                    EXPECT_EQ(texts, std::vector<std::string>{Line("Error 2", InjectedCode)});
                    EXPECT_EQ(outcome.backup, EarlierBackup);
                } else {
                    // The restore skips that element's entry without a word.
                    EXPECT_TRUE(texts.empty());
                    ExpectCompleteBackup(outcome);
                }
                EXPECT_EQ(outcome.alerts, 1u);
            } else if (service == "HostReadElementPropertyValue") {
                // The value read is skipped (a read of a definition at its default saves nothing anyway).
                EXPECT_EQ(texts, std::vector<std::string>{Line("Error 4", InjectedCode)});
                ExpectCompleteBackup(outcome, 1);
                EXPECT_EQ(outcome.alerts, 1u);
            } else if (service == "HostWriteElementPropertyValue") {
                ASSERT_EQ(outcome.lines.size(), 1u);
                EXPECT_EQ(outcome.lines[0].flag, 0);
                ExpectCompleteBackup(outcome);
                EXPECT_EQ(outcome.alerts, 1u);
                EXPECT_EQ(outcome.valuesAfter.size(), clean.valuesAfter.size() - 1);
            } else if (service == "HostListPropertyGroups") {
                // First the backup's look for owned groups (it then goes on), then the removal.
                EXPECT_TRUE(texts.empty());
                EXPECT_EQ(outcome.alerts, 1u);
                ExpectCompleteBackup(outcome);
                if (n == 1) {
                    EXPECT_EQ(outcome.projectAfter, clean.projectAfter);
                } else {
                    EXPECT_EQ(std::count(outcome.steps.begin(), outcome.steps.end(), "Delete Property Groups"), 0);
                }
            } else if (service == "HostRemovePropertyGroup") {
                EXPECT_EQ(texts, std::vector<std::string>{Line("Deleting properties error", InjectedCode)});
                EXPECT_EQ(outcome.alerts, 1u);
                ExpectStepsAfterAFailedRemoval(outcome.steps, ownedGroups, reapplied);
            } else if (service == "HostRunUndoableCommand") {
                const char* format = n <= ownedGroups       ? "Deleting properties error"
                                     : n == ownedGroups + 1 ? "Classification Import Error"
                                     : n == ownedGroups + 2 ? "Properties Import Error"
                                                            : "Expressions Import Error";
                EXPECT_EQ(texts, std::vector<std::string>{Line(format, InjectedCode)});
                EXPECT_EQ(outcome.alerts, n == ownedGroups + 1 || n == ownedGroups + 2 ? 0u : 1u);
                if (n <= ownedGroups) {
                    ExpectStepsAfterAFailedRemoval(outcome.steps, ownedGroups, reapplied);
                } else {
                    EXPECT_EQ(outcome.steps, n == ownedGroups + 1   ? Steps(ownedGroups, false, true, 0)
                                             : n == ownedGroups + 2 ? Steps(ownedGroups, true, false, 0)
                                                                    : Steps(ownedGroups, true, true, reapplied - 1));
                }
                ExpectCompleteBackup(outcome);
            } else if (service == "HostImportClassificationXml" || service == "HostImportPropertyXml") {
                const char* format = service == "HostImportClassificationXml" ? "Classification Import Error"
                                                                              : "Properties Import Error";
                EXPECT_EQ(texts, std::vector<std::string>{Line(format, InjectedCode)});
                EXPECT_EQ(outcome.alerts, 0u);
                EXPECT_EQ(outcome.calls.count("HostWriteElementPropertyValue"), 0u);
                EXPECT_EQ(outcome.steps, Steps(ownedGroups, service == "HostImportPropertyXml",
                                               service == "HostImportClassificationXml", 0));
            } else if (service == "HostUpdatePropertyDefinition") {
                EXPECT_EQ(texts, std::vector<std::string>{Line("Expressions Import Error", InjectedCode)});
                EXPECT_EQ(outcome.alerts, 1u);
                EXPECT_EQ(outcome.steps, Steps(ownedGroups, true, true, reapplied - 1));
            } else if (service == "HostReadPropertyGroup") {
                // In the backup a group that cannot be read skips its definitions, each with a line;
                // elsewhere the group counts as not owned, silently.
                for (const std::string& text : texts)
                    EXPECT_EQ(text, Line("Error 3", InjectedCode));
                if (texts.empty()) {
                    ExpectCompleteBackup(outcome);
                }
            } else {
                ADD_FAILURE() << "no expectation for " << service;
            }
        }
    }
    std::cout << "[ sweep    ] " << runs << " runs with one failing call; owned values " << restoredCount
              << " restored, " << savedCount << " only in the backup file, " << byUndoCount << " only by undo\n";
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
