// How far the module's value backup, value restore and whole update command are from the floor, on
// projects of N elements with M owned values each.
//
// For every configuration the benchmark builds the project once, then runs rounds; in each round,
// for each configuration in turn (interleaved, so that a noisy neighbour hits all alike, and
// starting with another configuration each round), it times:
//   - the module's backup phase and the floor's write of the same document,
//   - the module's restore phase (from the backup the backup phase kept, as in the command) and
//     the floor's read of that document,
//   - the whole command (menu choice to completion alert).
// The phases are the module's own functions, linked into the benchmark; the whole command is that of
// the module file (Quillmere.so), loaded and started as a host does, so that its memory comes from
// the platform allocator as in the host. The module's own time is the wall time minus the time spent
// inside host services (the test host's service clock). Each ratio is taken within a round and the
// medians over the rounds are reported. The command also gives the host calls per saved value by
// service (first round) and the peak of the platform allocator's live bytes that it added; the
// floor's peaks are measured the same way.
//
//   quillmere_bench [--config N:M]... [--rounds R] [--tsv FILE]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "AddOnMain.hpp"
#include "BenchProject.hpp"
#include "FloorBackup.hpp"
#include "GSRoot/MemoryManager.hpp"
#include "Host.hpp"
#include "Host/EntryPoints.hpp"
#include "ModuleLoader.hpp"
#include "Support/Files.hpp"
#include "Support/Folders.hpp"
#include "Statistics.hpp"
#include "Run/UpdateRun.hpp"
#include "BackupFile/ValueBackupWriter.hpp"
#include "Restore/ValueRestore.hpp"
#include "Win/DialogProviders.hpp"

using namespace Quillmere;

namespace {

using Bench::Median;

using Clock = std::chrono::steady_clock;

// The targets the module is measured against.
constexpr double CallsPerValueTarget = 2.1;        // at M = 20
constexpr double FloorRatioTarget = 1.3;           // backup / floor write, restore / floor read
constexpr double ElementGrowthTarget = 1.15;       // command per value, largest N over smallest N, M = 20
constexpr double ValueGrowthTarget = 1.10;         // restore per value, M = 100 over M = 20, same N
constexpr double PeakToFileTarget = 1.0;           // peak memory added by the command / backup file size

struct Configuration {
    std::size_t elements = 0;
    std::size_t values = 0;
};

struct Options {
    std::vector<Configuration> configurations;
    int rounds = 5;
    std::string tsv;
};

// One phase run: wall time, time inside host services, and the live bytes its peak added.
struct Run {
    double wall = 0;  // seconds
    double host = 0;
    double peakBytes = 0;
    double Own() const { return wall - host; }
};

struct Round {
    Run backup, floorWrite, restore, floorRead, command;
};

struct Workload {
    Configuration configuration;
    std::string configurationPath;
    TestHost::Project project;
    Bench::BackupContent content;
    std::unique_ptr<Bench::FloorReader> reader;
    std::vector<Round> rounds;
    std::map<std::string, UInt64> commandCalls;  // by service, one command
    std::size_t fileBytes = 0;
    bool sameBytesAsFloor = false;
    std::vector<std::string> problems;
};

template <typename Of>
double MedianOver(const std::vector<Round>& rounds, Of of)
{
    std::vector<double> values;
    for (const Round& round : rounds)
        values.push_back(of(round));
    return Median(values);
}

Options ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--config" && hasValue) {
            Configuration configuration;
            if (!Bench::ParseShape(argv[++i], configuration.elements, configuration.values))
                throw std::invalid_argument(std::string("--config takes N:M, not ") + argv[i]);
            options.configurations.push_back(configuration);
        } else if (option == "--rounds" && hasValue) {
            options.rounds = std::atoi(argv[++i]);
            if (options.rounds < 1)
                throw std::invalid_argument("--rounds takes a number from 1");
        } else if (option == "--tsv" && hasValue) {
            options.tsv = argv[++i];
        } else {
            throw std::invalid_argument("usage: quillmere_bench [--config N:M]... [--rounds R] [--tsv FILE]");
        }
    }
    if (options.configurations.empty())
        options.configurations = {{10000, 20}, {100000, 20}, {300000, 20}, {100000, 100}};
    return options;
}

class BenchRun {
public:
    BenchRun(const Options& options) : options(options)
    {
        backupPath = profile.BackupFile().string();
        floorPath = (profile.Path() / "floor.xml").string();
        if (moduleFile.Load(QUILLMERE_MODULE_FILE) != TestHost::ModuleError::None)
            throw std::runtime_error(std::string("cannot load ") + QUILLMERE_MODULE_FILE + ": " + moduleFile.ErrorDetail());
        // The phases run through the linked module, the command through the module file, whose
        // menu handler is installed last and so is the one the menu calls.
        SetImportedFuncAddrs(host.ServiceTable());
        GuardedInitialize(host.Context());
        API_EnvirParams environment;
        GSErrCode code = NoError;
        if (moduleFile.Start(host.ServiceTable(), environment, reinterpret_cast<API_RegistrationContext*>(host.Context()),
                             host.Context(), &code) != TestHost::ModuleError::None)
            throw std::runtime_error("cannot start " + moduleFile.File().string() + ": " + moduleFile.ErrorDetail());
        previousDialog = dialog.Install();
        host.Clock().Enable(true);
    }

    ~BenchRun()
    {
        QmSetOpenFileDialogProvider(previousDialog, nullptr);
        moduleFile.Release();
        GuardedRelease();
    }

    void Prepare()
    {
        for (const Configuration& configuration : options.configurations) {
            const auto start = Clock::now();
            auto workload = std::make_unique<Workload>();
            workload->configuration = configuration;
            const std::string text = Bench::MakeConfiguration(configuration.values);
            workload->configurationPath =
                profile.Write("configuration-" + std::to_string(workloads.size()) + ".xml", text).string();
            workload->project = Bench::MakeProject(text, configuration.elements, configuration.values);
            workload->content = Bench::CollectBackupContent(workload->project);
            workload->reader = std::make_unique<Bench::FloorReader>(workload->content);
            std::printf("prepared N=%zu M=%zu: %zu saved values (%.1f s)\n", configuration.elements, configuration.values,
                        workload->content.valueCount, Seconds(Clock::now() - start));
            std::fflush(stdout);
            workloads.push_back(std::move(workload));
        }
    }

    void RunRounds()
    {
        for (int round = 0; round < options.rounds; ++round) {
            const auto start = Clock::now();
            // Each round starts with another configuration, so that no configuration always runs
            // right after the largest one has released its memory.
            for (std::size_t i = 0; i < workloads.size(); ++i)
                RunRound(*workloads[(static_cast<std::size_t>(round) + i) % workloads.size()], round);
            std::printf("round %d of %d (%.1f s)\n", round + 1, options.rounds, Seconds(Clock::now() - start));
            std::fflush(stdout);
        }
    }

    void Report() const;
    void WriteTsv() const;

private:
    static double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

    // Runs `work` and measures it: wall time, host time and the peak of live bytes it added.
    Run Measure(const std::function<void()>& work)
    {
        host.Clock().Reset();
        GS::MemoryManager::ResetPeakLiveBytes();
        const std::size_t liveBefore = GS::MemoryManager::LiveBytes();
        const auto start = Clock::now();
        work();
        const auto end = Clock::now();
        Run run;
        run.wall = Seconds(end - start);
        run.host = static_cast<double>(host.Clock().TotalNanoseconds()) * 1e-9;
        run.peakBytes = static_cast<double>(GS::MemoryManager::PeakLiveBytes() - liveBefore);
        return run;
    }

    void Expect(Workload& workload, bool holds, const std::string& problem)
    {
        if (!holds && std::find(workload.problems.begin(), workload.problems.end(), problem) == workload.problems.end())
            workload.problems.push_back(problem);
    }

    void ExpectCleanOutput(Workload& workload, const char* phase)
    {
        Expect(workload, host.ReportLines().empty(),
               std::string(phase) + " wrote report lines (first: " +
                   (host.ReportLines().empty() ? std::string() : host.ReportLines().front().text) + ")");
        Expect(workload, host.DebugLines().empty(),
               std::string(phase) + " gave debug lines (first: " +
                   (host.DebugLines().empty() ? std::string() : host.DebugLines().front()) + ")");
        host.ClearOutput();
    }

    // A folder of its own as "USERPROFILE" while it lives: the command runs in one, with the files
    // of its earlier runs as an ordinary command finds them; the phases measured one by one in
    // another.
    struct Profile {
        Support::ScratchFolder folder;
        // A user's profile has its local application data folder, where the command keeps its store.
        Profile()
        {
            std::filesystem::create_directories(folder.Path() / "Documents");
            std::filesystem::create_directories(folder.Path() / "AppData" / "Local");
        }
        std::filesystem::path BackupFile() const { return folder.Path() / "Documents" / "IFC_SG_Properties.xml"; }
    };

    void RunRound(Workload& workload, int round)
    {
        host.ReplaceProject(std::move(workload.project));
        Round result;
        const std::size_t values = host.GetProject().ValueCount();
        // Module and floor take turns at going first.
        const bool moduleFirst = round % 2 == 0;
        // The run the two phases share, as the command's phases share theirs.
        UpdateRun run;
        const auto backup = [&]() {
            result.backup = Measure([&]() { BackupElementValues(run); });
            ExpectCleanOutput(workload, "the backup");
        };
        const auto floorWrite = [&]() {
            result.floorWrite = Measure([&]() { Bench::FloorWrite(workload.content, floorPath); });
        };
        // Neither write pays for dropping the previous configuration's larger file.
        std::error_code ignored;
        std::filesystem::remove(backupPath, ignored);
        std::filesystem::remove(floorPath, ignored);
        moduleFirst ? (backup(), floorWrite()) : (floorWrite(), backup());
        if (round == 0) {
            const std::string written = Support::ReadBytes(backupPath);
            workload.fileBytes = written.size();
            workload.sameBytesAsFloor = written == Support::ReadBytes(floorPath);
        }

        std::size_t floorValues = 0;
        const auto restore = [&]() {
            bool restored = false;
            result.restore = Measure([&]() { restored = RestoreElementValues(run); });
            Expect(workload, restored, "the restore had nothing to restore from");
            ExpectCleanOutput(workload, "the restore");
        };
        const auto floorRead = [&]() {
            result.floorRead = Measure([&]() { floorValues = workload.reader->Read(floorPath); });
        };
        moduleFirst ? (restore(), floorRead()) : (floorRead(), restore());
        Expect(workload, floorValues == workload.content.valueCount, "the floor read a different number of values");
        if (round == 0)
            CheckFloorRead(workload);

        std::map<std::string, UInt64> callsBefore;
        for (const char* name : ServiceNames())
            callsBefore[name] = host.CallCount(name);
        {
            const Support::UserProfile user(commandProfile.folder.Path());
            dialog.QueueChoice(workload.configurationPath);
            result.command = Measure([&]() { host.ChooseMenuItem(MenuStringsResID, 1); });
        }
        Expect(workload, host.Alerts().size() == 1, "the command did not end with one alert");
        ExpectCleanOutput(workload, "the command");
        Expect(workload, host.GetProject().ValueCount() == values, "the command did not restore every value");
        if (round == 0)
            for (const char* name : ServiceNames())
                if (const UInt64 calls = host.CallCount(name) - callsBefore[name])
                    workload.commandCalls[name] = calls;

        // The removed groups stay in the undo history until it is cleared.
        host.History().Clear();
        workload.project = std::move(host.GetProject());
        host.ReplaceProject(TestHost::Project());
        workload.rounds.push_back(result);
    }

    void CheckFloorRead(Workload& workload)
    {
        // Reals pass through six decimals; everything else comes back exactly.
        const auto sameAsSaved = [](const TestHost::Value& read, const TestHost::Value& saved) {
            if (read.type != API_PropertyRealValueType || saved.type != API_PropertyRealValueType)
                return read == saved;
            return std::abs(read.real - saved.real) <= 5e-7;
        };
        bool same = true;
        for (std::size_t entry = 0; entry < workload.content.entries.size() && same; ++entry)
            for (const Bench::SavedValue& saved : workload.content.entries[entry].values)
                same = same && sameAsSaved(workload.reader->Restored(entry, saved.key), saved.value);
        Expect(workload, same, "the floor read back other values than it wrote");
    }

    static const std::vector<const char*>& ServiceNames()
    {
        static const std::vector<const char*> names = {
#define QM_SERVICE_NAME(shape, name, entry, params, args) #name,
            QM_HOST_SERVICES(QM_SERVICE_NAME)
#undef QM_SERVICE_NAME
        };
        return names;
    }

    const Options& options;
    const Support::ProfileFolder profile;  // "USERPROFILE" while the benchmark runs, but for the runs below
    const Profile commandProfile;
    std::string backupPath;
    std::string floorPath;
    TestHost::Host host;
    TestHost::ModuleLoader moduleFile;
    ScriptedFileDialog dialog;
    OpenFileDialogProvider previousDialog = nullptr;
    std::vector<std::unique_ptr<Workload>> workloads;
};

double PerValue(double seconds, const Workload& workload)
{
    return seconds * 1e9 / static_cast<double>(workload.content.valueCount);
}

const char* Verdict(bool met)
{
    return met ? "met" : "NOT MET";
}

void BenchRun::Report() const
{
    std::printf("\nMedians over %d rounds; times per saved value in ns; own = wall - inside host services.\n\n",
                options.rounds);
    std::printf("%8s %4s %9s %10s | %8s %8s %8s %6s | %8s %8s %8s %6s | %8s %8s %8s\n", "N", "M", "values", "file bytes",
                "backup", "floor wr", "host", "ratio", "restore", "floor rd", "host", "ratio", "command", "wall", "host");
    for (const auto& pointer : workloads) {
        const Workload& w = *pointer;
        const auto& r = w.rounds;
        std::printf("%8zu %4zu %9zu %10zu | %8.0f %8.0f %8.0f %6.2f | %8.0f %8.0f %8.0f %6.2f | %8.0f %8.0f %8.0f\n",
                    w.configuration.elements, w.configuration.values, w.content.valueCount, w.fileBytes,
                    PerValue(MedianOver(r, [](const Round& x) { return x.backup.Own(); }), w),
                    PerValue(MedianOver(r, [](const Round& x) { return x.floorWrite.wall; }), w),
                    PerValue(MedianOver(r, [](const Round& x) { return x.backup.host; }), w),
                    MedianOver(r, [](const Round& x) { return x.backup.Own() / x.floorWrite.wall; }),
                    PerValue(MedianOver(r, [](const Round& x) { return x.restore.Own(); }), w),
                    PerValue(MedianOver(r, [](const Round& x) { return x.floorRead.wall; }), w),
                    PerValue(MedianOver(r, [](const Round& x) { return x.restore.host; }), w),
                    MedianOver(r, [](const Round& x) { return x.restore.Own() / x.floorRead.wall; }),
                    PerValue(MedianOver(r, [](const Round& x) { return x.command.Own(); }), w),
                    PerValue(MedianOver(r, [](const Round& x) { return x.command.wall; }), w),
                    PerValue(MedianOver(r, [](const Round& x) { return x.command.host; }), w));
    }

    std::printf("\nPeak memory added (platform allocator), in bytes and per backup file byte:\n\n");
    std::printf("%8s %4s %12s %12s %7s %12s %7s %12s %7s\n", "N", "M", "file bytes", "command", "/file", "floor wr",
                "/file", "floor rd", "/file");
    for (const auto& pointer : workloads) {
        const Workload& w = *pointer;
        const auto& r = w.rounds;
        const double file = static_cast<double>(w.fileBytes);
        const double command = MedianOver(r, [](const Round& x) { return x.command.peakBytes; });
        const double write = MedianOver(r, [](const Round& x) { return x.floorWrite.peakBytes; });
        const double read = MedianOver(r, [](const Round& x) { return x.floorRead.peakBytes; });
        std::printf("%8zu %4zu %12zu %12.0f %7.2f %12.0f %7.2f %12.0f %7.2f\n", w.configuration.elements,
                    w.configuration.values, w.fileBytes, command, command / file, write, write / file, read, read / file);
    }

    std::printf("\nHost calls per saved value, one command:\n\n");
    for (const auto& pointer : workloads) {
        const Workload& w = *pointer;
        UInt64 total = 0;
        std::string line;
        for (const auto& [name, calls] : w.commandCalls) {
            total += calls;
            char part[96];
            std::snprintf(part, sizeof part, "  %s %.4f", name.c_str(),
                          static_cast<double>(calls) / static_cast<double>(w.content.valueCount));
            line += part;
        }
        std::printf("N=%zu M=%zu: %.4f in all;%s\n", w.configuration.elements, w.configuration.values,
                    static_cast<double>(total) / static_cast<double>(w.content.valueCount), line.c_str());
    }

    std::printf("\nTargets:\n\n");
    for (const auto& pointer : workloads) {
        const Workload& w = *pointer;
        const auto& r = w.rounds;
        const std::string name = "N=" + std::to_string(w.configuration.elements) + " M=" + std::to_string(w.configuration.values);
        if (w.configuration.values == 20) {
            UInt64 total = 0;
            for (const auto& [service, calls] : w.commandCalls)
                total += calls;
            const double perValue = static_cast<double>(total) / static_cast<double>(w.content.valueCount);
            // Compared at the target's precision: the few calls per command (listing the elements,
            // the imports) add a ten-thousandth at these sizes.
            std::printf("  %-18s host calls per saved value       %7.4f  (at most %.2f)  %s\n", name.c_str(), perValue,
                        CallsPerValueTarget, Verdict(std::round(perValue * 100) <= std::round(CallsPerValueTarget * 100)));
        }
        const double backupRatio = MedianOver(r, [](const Round& x) { return x.backup.Own() / x.floorWrite.wall; });
        const double restoreRatio = MedianOver(r, [](const Round& x) { return x.restore.Own() / x.floorRead.wall; });
        const double peakRatio =
            MedianOver(r, [](const Round& x) { return x.command.peakBytes; }) / static_cast<double>(w.fileBytes);
        std::printf("  %-18s backup / floor write             %7.3f  (at most %.2f)  %s\n", name.c_str(), backupRatio,
                    FloorRatioTarget, Verdict(backupRatio <= FloorRatioTarget));
        std::printf("  %-18s restore / floor read             %7.3f  (at most %.2f)  %s\n", name.c_str(), restoreRatio,
                    FloorRatioTarget, Verdict(restoreRatio <= FloorRatioTarget));
        std::printf("  %-18s command peak / backup file size  %7.3f  (at most %.2f)  %s\n", name.c_str(), peakRatio,
                    PeakToFileTarget, Verdict(peakRatio <= PeakToFileTarget));
    }

    // Growth of the per-value time, taken round by round between two configurations.
    const auto growth = [](const Workload& small, const Workload& large, auto phase) {
        std::vector<double> ratios;
        for (std::size_t i = 0; i < small.rounds.size() && i < large.rounds.size(); ++i)
            ratios.push_back(PerValue(phase(large.rounds[i]), large) / PerValue(phase(small.rounds[i]), small));
        return Median(ratios);
    };
    const Workload* fewest = nullptr;
    const Workload* most = nullptr;
    for (const auto& pointer : workloads) {
        if (pointer->configuration.values != 20)
            continue;
        if (fewest == nullptr || pointer->configuration.elements < fewest->configuration.elements)
            fewest = pointer.get();
        if (most == nullptr || pointer->configuration.elements > most->configuration.elements)
            most = pointer.get();
    }
    if (fewest != nullptr && most != fewest) {
        const double ratio = growth(*fewest, *most, [](const Round& x) { return x.command.Own(); });
        std::printf("  command per value, N=%zu over N=%zu (M=20)  %7.3f  (at most %.2f)  %s\n", most->configuration.elements,
                    fewest->configuration.elements, ratio, ElementGrowthTarget, Verdict(ratio <= ElementGrowthTarget));
    }
    for (const auto& many : workloads) {
        if (many->configuration.values != 100)
            continue;
        for (const auto& twenty : workloads) {
            if (twenty->configuration.values != 20 || twenty->configuration.elements != many->configuration.elements)
                continue;
            const double ratio = growth(*twenty, *many, [](const Round& x) { return x.restore.Own(); });
            std::printf("  restore per value, M=100 over M=20 (N=%zu)  %7.3f  (at most %.2f)  %s\n",
                        many->configuration.elements, ratio, ValueGrowthTarget, Verdict(ratio <= ValueGrowthTarget));
        }
    }

    for (const auto& pointer : workloads) {
        const Workload& w = *pointer;
        if (!w.sameBytesAsFloor)
            std::printf("\nwarning: N=%zu M=%zu: the module's backup file differs from the floor's\n",
                        w.configuration.elements, w.configuration.values);
        for (const std::string& problem : w.problems)
            std::printf("\nwarning: N=%zu M=%zu: %s\n", w.configuration.elements, w.configuration.values, problem.c_str());
    }
}

void BenchRun::WriteTsv() const
{
    if (options.tsv.empty())
        return;
    std::ofstream out(options.tsv);
    out << "elements\tvalues\tsaved\tfile_bytes\tbackup_ns\tfloor_write_ns\tbackup_host_ns\trestore_ns\tfloor_read_ns\t"
           "restore_host_ns\tcommand_ns\tcommand_wall_ns\tcommand_host_ns\tbackup_ratio\trestore_ratio\t"
           "calls_per_value\tcommand_peak_bytes\tfloor_write_peak_bytes\tfloor_read_peak_bytes\n";
    for (const auto& pointer : workloads) {
        const Workload& w = *pointer;
        const auto& r = w.rounds;
        UInt64 calls = 0;
        for (const auto& [service, count] : w.commandCalls)
            calls += count;
        out << w.configuration.elements << '\t' << w.configuration.values << '\t' << w.content.valueCount << '\t'
            << w.fileBytes << '\t' << PerValue(MedianOver(r, [](const Round& x) { return x.backup.Own(); }), w) << '\t'
            << PerValue(MedianOver(r, [](const Round& x) { return x.floorWrite.wall; }), w) << '\t'
            << PerValue(MedianOver(r, [](const Round& x) { return x.backup.host; }), w) << '\t'
            << PerValue(MedianOver(r, [](const Round& x) { return x.restore.Own(); }), w) << '\t'
            << PerValue(MedianOver(r, [](const Round& x) { return x.floorRead.wall; }), w) << '\t'
            << PerValue(MedianOver(r, [](const Round& x) { return x.restore.host; }), w) << '\t'
            << PerValue(MedianOver(r, [](const Round& x) { return x.command.Own(); }), w) << '\t'
            << PerValue(MedianOver(r, [](const Round& x) { return x.command.wall; }), w) << '\t'
            << PerValue(MedianOver(r, [](const Round& x) { return x.command.host; }), w) << '\t'
            << MedianOver(r, [](const Round& x) { return x.backup.Own() / x.floorWrite.wall; }) << '\t'
            << MedianOver(r, [](const Round& x) { return x.restore.Own() / x.floorRead.wall; }) << '\t'
            << static_cast<double>(calls) / static_cast<double>(w.content.valueCount) << '\t'
            << MedianOver(r, [](const Round& x) { return x.command.peakBytes; }) << '\t'
            << MedianOver(r, [](const Round& x) { return x.floorWrite.peakBytes; }) << '\t'
            << MedianOver(r, [](const Round& x) { return x.floorRead.peakBytes; }) << '\n';
    }
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const Options options = ParseOptions(argc, argv);
        if (options.rounds < 5)
            std::printf("note: fewer than 5 rounds; the medians are rough\n");
        BenchRun bench(options);
        bench.Prepare();
        bench.RunRounds();
        bench.Report();
        bench.WriteTsv();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quillmere_bench: %s\n", error.what());
        return 2;
    }
    return 0;
}
