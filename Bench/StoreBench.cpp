// What the store of kept values costs the update command, on projects of about 100,000 owned values.
//
// Every run is the whole command of the module file (Quillmere.so), loaded and started as a host
// does, on a project of N walls with M owned values each (BenchProject) and no expression lists.
// Four kinds of run are timed, in turns, for each shape of project:
//   - ordinary, store in use: the configuration imports the groups the project holds, so every
//     value comes back and the run keeps nothing; "LOCALAPPDATA" names a folder whose store the
//     runs before made (tables, nothing kept);
//   - ordinary, store keeps another project's values: the same run, on a store that keeps
//     N x M values of another project (so the run asks for its project and reads its part);
//   - ordinary, no store: the same run, with "LOCALAPPDATA" naming a file, so that the store's
//     folder cannot be made: the store is refused at once, the run reports that in one line and
//     goes on (a run without expression lists needs no store);
//   - bringing back: the store holds the project's N x M values, kept by a run whose configuration
//     defined none of their groups; the run with the right configuration brings all of them back.
//     Before each of these runs (outside the time) the store file made once by that keeping run is
//     copied into place and the project as that run left it is read again.
// Targets: the store adds at most 10 % to an ordinary run (store in use / no store), and bringing
// back N x M kept values takes at most 1.3 times an ordinary run restoring its own (bringing back /
// ordinary with the store in use). Ratios are taken within a round, medians over the rounds
// reported; each round runs the shapes in turn and the kinds in an order shuffled anew each round,
// after one warm-up round that is not counted. Beside the wall time it gives the module's
// own time (wall minus the time inside host services, from the test host's service clock), the
// process's processor time, the time the thread waited for a processor that other programs held
// (Linux's schedstat), and what is left: the time it was blocked, mostly on the disk's syncs.
//
//   quillmere_store_bench [--shape N:M]... [--rounds R] [--profile KIND --perf-control CTL[,ACK]]
//                         [--copy-stores DIR] [--module FILE]
//
// --profile with --perf-control turns a perf record started with "--control fifo:CTL,ACK -D -1" on
// only for the runs of KIND (store, others-store, no-store, bring-back); Bench/profile-store.sh does
// that.
// --copy-stores copies the store each keeping run made into DIR (kept-N-M.sqlite), to look into.
// --module runs another module file than the one built with the benchmark (an earlier one, say).
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "AddOnMain.hpp"
#include "BenchProject.hpp"
#include "Host.hpp"
#include "ModuleLoader.hpp"
#include "ProjectFile.hpp"
#include "Support/Files.hpp"
#include "Support/Folders.hpp"
#include "Support/Store.hpp"
#include "Statistics.hpp"
#include "Win/DialogProviders.hpp"

namespace {

using Bench::Median;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double StoreAddsTarget = 1.10;     // ordinary run, store in use / no store
constexpr double BringBackTarget = 1.30;     // bringing back N x M kept values / ordinary run restoring its own

enum Kind { Store, OthersStore, NoStore, BringBack, KindCount };
const char* const KindNames[KindCount] = {"store", "others-store", "no-store", "bring-back"};
const char* const KindTitles[KindCount] = {"ordinary, store in use", "ordinary, store keeps another's",
                                           "ordinary, no store", "bringing back kept values"};

struct Shape {
    std::size_t elements = 0;
    std::size_t values = 0;  // owned values per element
    std::size_t Saved() const { return elements * values; }
};

struct Options {
    std::vector<Shape> shapes;
    int rounds = 11;
    int profile = -1;  // the kind perf records, or none
    std::string perfControl, perfAck;
    std::string copyStores;  // a folder to copy each shape's kept store into, for a look with sqlite3
    std::string module = QUILLMERE_MODULE_FILE;
};

// One run: wall time, time inside host services, the process's processor time, and the time the
// thread waited for a processor that other programs held; in seconds. What is left, the time the
// thread was blocked, is mostly the disk's syncs.
struct Run {
    double wall = 0;
    double host = 0;
    double cpu = 0;
    double queued = 0;
    double Own() const { return wall - host; }
    double Blocked() const { return std::max(0.0, wall - cpu - queued); }
};

struct Workload {
    Shape shape;
    fs::path configuration;       // imports the groups the project holds
    fs::path otherConfiguration;  // defines none of them: the run keeps them all
    TestHost::Project project;    // every value in place, between the ordinary runs
    std::string keptProject;      // the project file text as the keeping run left the project
    fs::path keptStore;           // the store as the keeping run left it
    std::vector<std::array<Run, KindCount>> rounds;
    std::vector<std::string> problems;
};

template <typename Of>
double MedianOver(const Workload& workload, Of of)
{
    std::vector<double> values;
    for (const auto& round : workload.rounds)
        values.push_back(of(round));
    return Median(values);
}

Options ParseOptions(int argc, char** argv)
{
    Options options;
    const char* usage =
        "usage: quillmere_store_bench [--shape N:M]... [--rounds R] [--profile store|others-store|no-store|bring-back "
        "--perf-control CTL[,ACK]] [--copy-stores DIR] [--module FILE]";
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            throw std::invalid_argument(usage);
        const std::string value = argv[++i];
        Shape shape;
        if (option == "--shape" && Bench::ParseShape(value, shape.elements, shape.values)) {
            options.shapes.push_back(shape);
        } else if (option == "--rounds" && std::atoi(value.c_str()) >= 1) {
            options.rounds = std::atoi(value.c_str());
        } else if (option == "--profile") {
            for (int kind = 0; kind < KindCount; ++kind)
                if (value == KindNames[kind])
                    options.profile = kind;
            if (options.profile < 0)
                throw std::invalid_argument(usage);
        } else if (option == "--module") {
            options.module = value;
        } else if (option == "--copy-stores") {
            options.copyStores = value;
        } else if (option == "--perf-control") {
            const std::size_t comma = value.find(',');
            options.perfControl = value.substr(0, comma);
            options.perfAck = comma == std::string::npos ? std::string() : value.substr(comma + 1);
        } else {
            throw std::invalid_argument(usage);
        }
    }
    if ((options.profile >= 0) != !options.perfControl.empty())
        throw std::invalid_argument("--profile and --perf-control go together");
    if (options.shapes.empty())
        options.shapes = {{5000, 20}, {10000, 10}};
    return options;
}

// The configuration a user picks by mistake: the classification, a group of the same family that
// the project does not hold, and the standard group; none of the project's owned groups.
std::string OtherConfiguration()
{
    return "<configuration>\n  <classificationSystem name=\"IFC-SG\"><item id=\"IfcWall\"/></classificationSystem>\n"
           "  <propertyGroup name=\"SGPset_Elsewhere\">\n"
           "    <property name=\"Note\" type=\"String\"><appliesTo item=\"IfcWall\"/></property>\n"
           "  </propertyGroup>\n"
           "  <propertyGroup name=\"Pset_WallCommon\">\n"
           "    <property name=\"Reference\" type=\"String\"><appliesTo item=\"IfcWall\"/></property>\n"
           "  </propertyGroup>\n</configuration>\n";
}

double ProcessorSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The time the thread has waited for a processor while runnable (Linux's schedstat), in seconds.
double QueuedSeconds()
{
    std::ifstream in("/proc/thread-self/schedstat");
    unsigned long long running = 0, waiting = 0;
    in >> running >> waiting;
    return static_cast<double>(waiting) * 1e-9;
}

// Copies `from` over `to` and has the copy on the disk, so that the run timed next does not pay for
// writing it back when it syncs the file, as it would not with a store it found there.
void PutInPlace(const fs::path& from, const fs::path& to)
{
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    const int file = open(to.c_str(), O_RDONLY);
    if (file < 0 || fsync(file) != 0)
        throw std::runtime_error("cannot sync " + to.string());
    close(file);
}

std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// Turns a perf record on and off through its control fifo (perf's "--control fifo:CTL,ACK").
class PerfControl {
public:
    PerfControl(const std::string& control, const std::string& ack)
    {
        if (control.empty())
            return;
        controlFd = open(control.c_str(), O_WRONLY);
        ackFd = ack.empty() ? -1 : open(ack.c_str(), O_RDONLY);
        if (controlFd < 0 || (!ack.empty() && ackFd < 0))
            throw std::runtime_error("cannot open perf's control fifo " + control);
    }
    ~PerfControl()
    {
        if (controlFd >= 0)
            close(controlFd);
        if (ackFd >= 0)
            close(ackFd);
    }
    PerfControl(const PerfControl&) = delete;
    PerfControl& operator=(const PerfControl&) = delete;

    void Send(const char* command)
    {
        if (controlFd < 0)
            return;
        const std::string line = std::string(command) + "\n";
        if (write(controlFd, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            throw std::runtime_error("cannot write to perf's control fifo");
        char answer[16];
        if (ackFd >= 0 && read(ackFd, answer, sizeof answer) <= 0)
            throw std::runtime_error("perf did not answer on its ack fifo");
    }

private:
    int controlFd = -1;
    int ackFd = -1;
};

class StoreBench {
public:
    explicit StoreBench(const Options& options) : options(options), perf(options.perfControl, options.perfAck)
    {
        // "USERPROFILE" (the backup file's Documents) is the same for every run; each kind of run
        // names its own "LOCALAPPDATA".
        fs::create_directories(home.Documents());
        storeHome = home.Path() / "store-in-use";
        keptHome = home.Path() / "store-bringing-back";
        fs::create_directories(storeHome);
        fs::create_directories(keptHome);
        noStoreHome = home.Write("no-store", "a file where the local application data folder should be");
        othersHome = home.Path() / "store-of-others";
        fs::create_directories(othersHome);
        benchProject = home.Path() / "Bench project.pln";
        otherProject = home.Path() / "Another project.pln";
        host.SetProjectLocation(benchProject.string());
        if (moduleFile.Load(options.module) != TestHost::ModuleError::None)
            throw std::runtime_error("cannot load " + options.module + ": " + moduleFile.ErrorDetail());
        API_EnvirParams environment;
        if (moduleFile.Start(host.ServiceTable(), environment, nullptr, host.Context()) != TestHost::ModuleError::None)
            throw std::runtime_error("cannot start " + moduleFile.File().string() + ": " + moduleFile.ErrorDetail());
        previousDialog = dialog.Install();
        host.Clock().Enable(true);
    }

    ~StoreBench()
    {
        QmSetOpenFileDialogProvider(previousDialog, nullptr);
        moduleFile.Release();
        moduleFile.Unload();
    }

    void Prepare();
    void RunRounds();
    // Prints the report; answers whether both targets are met for every shape.
    bool Report() const;

private:
    static double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

    fs::path StoreFile(const fs::path& local) const { return local / "Quillmere" / "store.sqlite"; }

    void Expect(Workload& workload, bool holds, const std::string& problem)
    {
        if (!holds && std::find(workload.problems.begin(), workload.problems.end(), problem) == workload.problems.end())
            workload.problems.push_back(problem);
    }

    // Runs the command with `configuration` chosen, "LOCALAPPDATA" at `local`, and times it (perf
    // records it when it is of the kind profiled).
    Run Command(const fs::path& configuration, const fs::path& local, int kind)
    {
        std::error_code ignored;
        fs::remove(home.BackupFile(), ignored);  // no run pays for dropping another's larger file
        host.ClearOutput();
        const Support::FolderVariable localAppData("LOCALAPPDATA", local);
        dialog.QueueChoice(configuration.string());
        host.Clock().Reset();
        const bool profiled = kind == options.profile;
        if (profiled) {
            perf.Send("enable");
            ++profiledRuns;
        }
        const double cpuStart = ProcessorSeconds();
        const double queuedStart = QueuedSeconds();
        const auto start = Clock::now();
        host.ChooseMenuItem(Quillmere::MenuStringsResID, 1);
        const auto end = Clock::now();
        Run run;
        run.cpu = ProcessorSeconds() - cpuStart;
        run.queued = QueuedSeconds() - queuedStart;
        if (profiled)
            perf.Send("disable");
        run.wall = Seconds(end - start);
        run.host = static_cast<double>(host.Clock().TotalNanoseconds()) * 1e-9;
        return run;
    }

    std::size_t OwnedValueCount() const { return host.GetProject().ValueCount(); }

    Run RunOrdinary(Workload& workload, Kind kind);
    Run RunBringingBack(Workload& workload);
    void Keep(Workload& workload);

    const Options& options;
    PerfControl perf;
    const Support::ProfileFolder home;
    fs::path storeHome;
    fs::path keptHome;
    fs::path noStoreHome;
    fs::path othersHome;
    fs::path benchProject;  // the project's file, as the host names it
    fs::path otherProject;  // the file of another project, whose run finds the first's values kept
    TestHost::Host host;
    TestHost::ModuleLoader moduleFile;
    ScriptedFileDialog dialog;
    OpenFileDialogProvider previousDialog = nullptr;
    std::vector<std::unique_ptr<Workload>> workloads;
    std::string loadBefore, loadAfter;
    int profiledRuns = 0;
};

// The keeping run: the other configuration defines none of the project's groups, so the store keeps
// every value. The store and the project it leaves are what every bringing-back run starts from.
void StoreBench::Keep(Workload& workload)
{
    const fs::path local = home.Path() / ("keeping-" + std::to_string(workloads.size()));
    fs::create_directories(local);  // a user's local application data folder is there; the store's own is made
    host.ReplaceProject(Bench::MakeProject(Bench::MakeConfiguration(workload.shape.values), workload.shape.elements,
                                           workload.shape.values));
    Command(workload.otherConfiguration, local, -1);
    const std::size_t kept = Support::KeptValueCount(StoreFile(local));
    if (kept != workload.shape.Saved()) {
        for (const auto& line : host.ReportLines())
            std::fprintf(stderr, "keeping run: %s\n", line.text.c_str());
        throw std::runtime_error("the keeping run kept " + std::to_string(kept) + " values, not " +
                                 std::to_string(workload.shape.Saved()));
    }
    host.History().Clear();
    workload.keptProject = TestHost::WriteProjectXml(host.GetProject());
    workload.keptStore = home.Path() / ("kept-" + std::to_string(workloads.size()) + ".sqlite");
    fs::copy_file(StoreFile(local), workload.keptStore);
    if (!options.copyStores.empty()) {
        fs::create_directories(options.copyStores);
        fs::copy_file(workload.keptStore, fs::path(options.copyStores) / ("kept-" + std::to_string(workload.shape.elements) + "-" +
                                                     std::to_string(workload.shape.values) + ".sqlite"),
                      fs::copy_options::overwrite_existing);
    }
    fs::remove_all(local);
    host.ReplaceProject(TestHost::Project());
}

void StoreBench::Prepare()
{
    for (const Shape& shape : options.shapes) {
        const auto start = Clock::now();
        auto workload = std::make_unique<Workload>();
        workload->shape = shape;
        const std::string text = Bench::MakeConfiguration(shape.values);
        const std::string number = std::to_string(workloads.size());
        workload->configuration = home.Write("configuration-" + number + ".xml", text);
        workload->otherConfiguration = home.Write("other-configuration-" + number + ".xml", OtherConfiguration());
        workload->project = Bench::MakeProject(text, shape.elements, shape.values);
        Keep(*workload);
        std::printf("prepared N=%zu M=%zu: %zu owned values, kept store %ju bytes (%.1f s)\n", shape.elements,
                    shape.values, shape.Saved(), static_cast<std::uintmax_t>(fs::file_size(workload->keptStore)),
                    Seconds(Clock::now() - start));
        std::fflush(stdout);
        workloads.push_back(std::move(workload));
    }
}

Run StoreBench::RunOrdinary(Workload& workload, Kind kind)
{
    const std::size_t values = workload.project.ValueCount();
    host.ReplaceProject(std::move(workload.project));
    if (kind == OthersStore) {
        // The kept values of the benchmark's project, for another project's run.
        fs::create_directories(StoreFile(othersHome).parent_path());
        PutInPlace(workload.keptStore, StoreFile(othersHome));
        host.SetProjectLocation(otherProject.string());
    }
    const Run run = Command(workload.configuration, kind == Store ? storeHome : kind == OthersStore ? othersHome : noStoreHome, kind);
    host.SetProjectLocation(benchProject.string());
    Expect(workload, host.Alerts().size() == 1, std::string(KindNames[kind]) + ": the run did not end with one alert");
    Expect(workload, OwnedValueCount() == values, std::string(KindNames[kind]) + ": the run did not restore every value");
    if (kind == OthersStore)
        Expect(workload, Support::KeptValueCount(StoreFile(othersHome)) == workload.shape.Saved(),
               "others-store: the run changed what the store keeps for another project");
    if (kind != NoStore)
        Expect(workload, host.ReportLines().empty(),
               std::string(KindNames[kind]) + ": the run wrote report lines (first: " +
                   (host.ReportLines().empty() ? std::string() : host.ReportLines().front().text) + ")");
    else
        Expect(workload, host.ReportLines().size() == 1 &&
                             host.ReportLines().front().text.find("could not be used") != std::string::npos,
               "no-store: the run did not write the one line of a store refused");
    // The removed groups stay in the undo history until it is cleared.
    host.History().Clear();
    workload.project = std::move(host.GetProject());
    host.ReplaceProject(TestHost::Project());
    return run;
}

Run StoreBench::RunBringingBack(Workload& workload)
{
    const fs::path store = StoreFile(keptHome);
    fs::create_directories(store.parent_path());
    PutInPlace(workload.keptStore, store);
    TestHost::Project project;
    if (!TestHost::ReadProjectXml(workload.keptProject, project).ok)
        throw std::runtime_error("cannot read the project the keeping run left");
    host.ReplaceProject(std::move(project));
    const Run run = Command(workload.configuration, keptHome, BringBack);
    const std::size_t saved = workload.shape.Saved();
    Expect(workload, host.Alerts().size() == 1, "bring-back: the run did not end with one alert");
    Expect(workload, OwnedValueCount() == saved + workload.shape.elements, "bring-back: not every kept value came back");
    Expect(workload, !host.ReportLines().empty() &&
                         host.ReportLines().front().text.rfind(std::to_string(saved) + " values came back", 0) == 0,
           "bring-back: the run did not say that " + std::to_string(saved) + " values came back (first line: " +
               (host.ReportLines().empty() ? std::string() : host.ReportLines().front().text) + ")");
    Expect(workload, Support::KeptValueCount(store) == 0, "bring-back: the store still keeps values");
    host.History().Clear();
    host.ReplaceProject(TestHost::Project());
    return run;
}

void StoreBench::RunRounds()
{
    loadBefore = LoadAverage();
    // The kinds in a new order each round (the same in every benchmark run), so that no kind always
    // follows the same other one, and pays for what that one leaves to the system to finish.
    std::array<Kind, KindCount> order = {Store, OthersStore, NoStore, BringBack};
    std::mt19937 shuffler(20261209);
    // Round 0 warms up: the store in use is made, code and files are in memory.
    for (int round = 0; round <= options.rounds; ++round) {
        std::shuffle(order.begin(), order.end(), shuffler);
        const auto start = Clock::now();
        for (std::size_t i = 0; i < workloads.size(); ++i) {
            Workload& workload = *workloads[(static_cast<std::size_t>(round) + i) % workloads.size()];
            std::array<Run, KindCount> result;
            for (const Kind kind : order) {
                result[kind] = kind == BringBack ? RunBringingBack(workload) : RunOrdinary(workload, kind);
            }
            if (round > 0)
                workload.rounds.push_back(result);
        }
        std::printf("%s %d of %d (%.1f s)\n", round == 0 ? "warm-up round" : "round", round, options.rounds,
                    Seconds(Clock::now() - start));
        std::fflush(stdout);
    }
    loadAfter = LoadAverage();
}

const char* Verdict(bool met)
{
    return met ? "met" : "NOT MET";
}

bool StoreBench::Report() const
{
    std::printf("\nMedians over %d rounds (after a warm-up round); load average before %s, after %s.\n", options.rounds,
                loadBefore.c_str(), loadAfter.c_str());
    std::printf("Milliseconds per run. own = wall - inside host services; cpu = the process's processor time;\n"
                "queued = waiting for a processor that other programs held; blocked = wall - cpu - queued (the disk).\n\n");
    std::printf("%6s %4s %7s |", "N", "M", "values");
    for (int kind = 0; kind < KindCount; ++kind)
        std::printf(" %-35s |", KindTitles[kind]);
    std::printf("\n%6s %4s %7s |", "", "", "");
    for (int kind = 0; kind < KindCount; ++kind)
        std::printf(" %5s %5s %5s %5s %5s %5s |", "wall", "own", "host", "cpu", "queue", "block");
    std::printf("\n");
    for (const auto& pointer : workloads) {
        const Workload& w = *pointer;
        std::printf("%6zu %4zu %7zu |", w.shape.elements, w.shape.values, w.shape.Saved());
        for (int kind = 0; kind < KindCount; ++kind)
            std::printf(" %5.0f %5.0f %5.0f %5.0f %5.0f %5.0f |", MedianOver(w, [&](const auto& r) { return r[kind].wall; }) * 1e3,
                        MedianOver(w, [&](const auto& r) { return r[kind].Own(); }) * 1e3,
                        MedianOver(w, [&](const auto& r) { return r[kind].host; }) * 1e3,
                        MedianOver(w, [&](const auto& r) { return r[kind].cpu; }) * 1e3,
                        MedianOver(w, [&](const auto& r) { return r[kind].queued; }) * 1e3,
                        MedianOver(w, [&](const auto& r) { return r[kind].Blocked(); }) * 1e3);
        std::printf("\n");
    }

    bool allMet = true;
    std::printf("\nRatios (median of the per-round ratios; lowest and highest round in brackets; unqueued: of the wall\n"
                "time less the time spent waiting for a processor that other programs held):\n\n");
    const auto ratio = [](const Workload& w, Kind over, Kind under, double (*part)(const Run&)) {
        std::vector<double> ratios;
        for (const auto& r : w.rounds)
            ratios.push_back(part(r[over]) / part(r[under]));
        std::sort(ratios.begin(), ratios.end());
        return std::array<double, 3>{Median(ratios), ratios.front(), ratios.back()};
    };
    const auto print = [&](const Workload& w, const char* what, Kind over, Kind under, double target, bool counts) {
        const auto wall = ratio(w, over, under, [](const Run& r) { return r.wall; });
        const auto own = ratio(w, over, under, [](const Run& r) { return r.Own(); });
        const auto cpu = ratio(w, over, under, [](const Run& r) { return r.cpu; });
        const auto unqueued = ratio(w, over, under, [](const Run& r) { return r.wall - r.queued; });
        const bool met = wall[0] <= target;
        allMet = allMet && (met || !counts);
        std::printf("  N=%-6zu M=%-3zu %-33s wall %5.3f [%5.3f %5.3f]  own %5.3f [%5.3f %5.3f]  cpu %5.3f  "
                    "unqueued %5.3f  (wall at most %.2f)  %s\n",
                    w.shape.elements, w.shape.values, what, wall[0], wall[1], wall[2], own[0], own[1], own[2], cpu[0],
                    unqueued[0], target, counts ? Verdict(met) : (met ? "(met; not a target)" : "(NOT MET; not a target)"));
    };
    for (const auto& pointer : workloads)
        print(*pointer, "store in use / no store", Store, NoStore, StoreAddsTarget, true);
    for (const auto& pointer : workloads)
        print(*pointer, "store keeps another's / no store", OthersStore, NoStore, StoreAddsTarget, false);
    for (const auto& pointer : workloads)
        print(*pointer, "bringing back / ordinary, store", BringBack, Store, BringBackTarget, true);

    if (options.profile >= 0)
        std::printf("\nprofiled runs: %d (%s)\n", profiledRuns, KindNames[options.profile]);
    for (const auto& pointer : workloads)
        for (const std::string& problem : pointer->problems) {
            std::printf("\nwarning: N=%zu M=%zu: %s\n", pointer->shape.elements, pointer->shape.values, problem.c_str());
            allMet = false;
        }
    return allMet;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const Options options = ParseOptions(argc, argv);
        if (options.rounds < 5)
            std::printf("note: fewer than 5 rounds; the medians are rough\n");
        StoreBench bench(options);
        bench.Prepare();
        bench.RunRounds();
        return bench.Report() ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quillmere_store_bench: %s\n", error.what());
        return 2;
    }
}
