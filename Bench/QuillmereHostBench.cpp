// How the whole quillmere-host program grows with the project: its run time and its peak memory per
// owned value, on a project of 5,000 walls against one of 50,000 (20 owned values each by default).
//
// The projects and their configuration are made as quillmere_bench makes them (BenchProject: every
// wall holds a value of every owned property and one of a standard group) and written as project
// files. Each run is the real program as a child process, with everything a user's run may ask
// for: --choose the configuration, --save the resulting project and --json the results, its
// standard output to a file, a fresh --profile folder. A run's wall time is taken around the child
// process, its peak memory is the child's own maximum resident set (wait4), so both cover the
// whole program: reading the project, the module's command, the comparison and the three outputs.
// A run counts only when it exits with 0 and its summary line says that every owned value was kept.
//
// Each round runs both projects, the smaller first in every other round, so that a noisy
// neighbour hits both alike; the ratio is taken within a round and the medians over the rounds are
// reported. One run of each comes first, uncounted, so that the files are in the page cache.
//
//   quillmere_host_bench [--rounds R] [--small N] [--large N] [--values M] [--program FILE] [--keep DIR]
//
// --program runs another build of the program (its module beside it). The files are made in a
// fresh folder in /dev/shm (memory), where there is one, so that the disk's own pace (the program
// flushes --save and --json to the disk before it replaces a file) does not hide the program's;
// --keep DIR makes them in DIR instead and leaves the configuration and the projects there, for
// profiling a run by hand.
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchProject.hpp"
#include "ProjectFile.hpp"
#include "Statistics.hpp"
#include "Support/Files.hpp"
#include "Support/Folders.hpp"

namespace {

using Bench::Median;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double GrowthTarget = 1.2;        // time per value, large project over small
constexpr double PeakPerValueTarget = 1024;  // peak bytes per value, at either size

struct Options {
    int rounds = 5;
    std::size_t small = 5000;
    std::size_t large = 50000;
    std::size_t values = 20;
    fs::path program;  // default: quillmere-host of this build
    fs::path keep;     // where to make the files and leave them; default: a scratch folder
};

// One project as the runs take it.
struct Workload {
    std::size_t elements = 0;
    std::size_t values = 0;  // owned values in all: elements times values per element
    fs::path project;
    std::vector<double> nsPerValue;     // wall time
    std::vector<double> cpuNsPerValue;  // user and system time
    std::vector<double> peakPerValue;
};

// What one run of the program cost.
struct RunCost {
    double seconds = 0;     // wall time
    double cpuSeconds = 0;  // user and system time
    double peakBytes = 0;
};

std::string Grouped(double number)
{
    std::string digits = std::to_string(static_cast<unsigned long long>(number + 0.5));
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

Options ParseOptions(int argc, char** argv)
{
    Options options;
    for (int at = 1; at < argc; ++at) {
        const std::string option = argv[at];
        if (at + 1 >= argc)
            throw std::invalid_argument(option + " needs a value");
        const std::string value = argv[++at];
        const auto number = [&]() {
            char* end = nullptr;
            const unsigned long long parsed = std::strtoull(value.c_str(), &end, 10);
            if (parsed == 0 || *end != '\0')
                throw std::invalid_argument(option + " needs a positive number, not " + value);
            return static_cast<std::size_t>(parsed);
        };
        if (option == "--rounds")
            options.rounds = static_cast<int>(number());
        else if (option == "--small")
            options.small = number();
        else if (option == "--large")
            options.large = number();
        else if (option == "--values")
            options.values = number();
        else if (option == "--program")
            options.program = value;
        else if (option == "--keep")
            options.keep = value;
        else
            throw std::invalid_argument("unknown option " + option);
    }
    if (options.program.empty())
        options.program = Support::BinaryFolder() / "quillmere-host";
    return options;
}

// The last line of a text without its line end.
std::string LastLine(const std::string& text)
{
    std::string trimmed = text;
    while (!trimmed.empty() && trimmed.back() == '\n')
        trimmed.pop_back();
    return trimmed.substr(trimmed.rfind('\n') + 1);
}

class HostBench {
public:
    explicit HostBench(const Options& options) : options(options), folder(options.keep)
    {
        if (folder.empty()) {
            std::error_code code;
            if (fs::is_directory("/dev/shm", code)) {
                folder = fs::path("/dev/shm") / ("quillmere-host-bench-" + std::to_string(::getpid()));
                removeFolder = true;
            } else {
                scratch = std::make_unique<Support::ScratchFolder>("quillmere-host-bench");
                folder = scratch->Path();
            }
        }
        fs::create_directories(folder);
    }

    ~HostBench()
    {
        std::error_code code;
        if (removeFolder)
            fs::remove_all(folder, code);
    }
    HostBench(const HostBench&) = delete;
    HostBench& operator=(const HostBench&) = delete;

    // Writes the configuration and both projects. Each project is made in a child process of its
    // own, so that this process stays small: a run's peak (the child's largest resident set) counts
    // this process too, as it was when the run's process was forked from it.
    void Prepare()
    {
        const std::string configuration = Bench::MakeConfiguration(options.values);
        configurationFile = folder / "configuration.xml";
        Support::WriteBytes(configurationFile, configuration);
        for (const std::size_t elements : {options.small, options.large}) {
            const auto start = Clock::now();
            Workload workload;
            workload.elements = elements;
            workload.values = elements * options.values;
            workload.project = folder / ("project-" + std::to_string(elements) + ".xml");
            std::fflush(stdout);
            const pid_t child = ::fork();
            if (child == 0) {
                std::string error;
                const bool saved = TestHost::SaveProjectFile(Bench::MakeProject(configuration, elements, options.values),
                                                             workload.project.string(), error);
                if (!saved)
                    std::fprintf(stderr, "%s\n", error.c_str());
                ::_exit(saved ? 0 : 1);
            }
            int status = 0;
            if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
                throw std::runtime_error("cannot make " + workload.project.string());
            std::printf("prepared %zu elements x %zu values: %s bytes of project file (%.1f s)\n", elements,
                        options.values, Grouped(static_cast<double>(fs::file_size(workload.project))).c_str(),
                        std::chrono::duration<double>(Clock::now() - start).count());
            std::fflush(stdout);
            workloads.push_back(std::move(workload));
        }
    }

    // Runs the rounds and prints the report; answers whether both targets are met.
    bool Measure()
    {
        for (Workload& workload : workloads)
            Run(workload);
        std::vector<double> ratios, cpuRatios;
        for (int round = 0; round < options.rounds; ++round) {
            for (int step = 0; step < 2; ++step) {
                Workload& workload = workloads[round % 2 == 0 ? step : 1 - step];
                const RunCost cost = Run(workload);
                const double values = static_cast<double>(workload.values);
                workload.nsPerValue.push_back(cost.seconds * 1e9 / values);
                workload.cpuNsPerValue.push_back(cost.cpuSeconds * 1e9 / values);
                workload.peakPerValue.push_back(cost.peakBytes / values);
            }
            ratios.push_back(workloads[1].nsPerValue.back() / workloads[0].nsPerValue.back());
            cpuRatios.push_back(workloads[1].cpuNsPerValue.back() / workloads[0].cpuNsPerValue.back());
            std::printf("round %d: %.0f and %.0f ns per value, ratio %.2f (CPU %.0f and %.0f, ratio %.2f); peak %.0f and "
                        "%.0f bytes per value\n",
                        round + 1, workloads[0].nsPerValue.back(), workloads[1].nsPerValue.back(), ratios.back(),
                        workloads[0].cpuNsPerValue.back(), workloads[1].cpuNsPerValue.back(), cpuRatios.back(),
                        workloads[0].peakPerValue.back(), workloads[1].peakPerValue.back());
            std::fflush(stdout);
        }

        std::printf("\nquillmere-host, whole run per owned value (medians of %d interleaved rounds)\n\n", options.rounds);
        std::printf("| elements | values each | owned values | ns per value | CPU ns per value | peak bytes | peak bytes "
                    "per value |\n");
        std::printf("|---:|---:|---:|---:|---:|---:|---:|\n");
        double worstPeak = 0;
        for (const Workload& workload : workloads) {
            const double peak = Median(workload.peakPerValue);
            worstPeak = std::max(worstPeak, peak);
            std::printf("| %s | %zu | %s | %s | %s | %s | %.0f |\n",
                        Grouped(static_cast<double>(workload.elements)).c_str(), options.values,
                        Grouped(static_cast<double>(workload.values)).c_str(), Grouped(Median(workload.nsPerValue)).c_str(),
                        Grouped(Median(workload.cpuNsPerValue)).c_str(),
                        Grouped(peak * static_cast<double>(workload.values)).c_str(), peak);
        }
        const double growth = Median(ratios);
        const bool flat = growth <= GrowthTarget;
        const bool small = worstPeak < PeakPerValueTarget;
        std::printf("\ntime per value, %s over %s elements: %.2f (rounds %.2f to %.2f; CPU time %.2f, rounds %.2f to "
                    "%.2f); target at most %.1f: %s\n",
                    Grouped(static_cast<double>(options.large)).c_str(),
                    Grouped(static_cast<double>(options.small)).c_str(), growth,
                    *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()),
                    Median(cpuRatios), *std::min_element(cpuRatios.begin(), cpuRatios.end()),
                    *std::max_element(cpuRatios.begin(), cpuRatios.end()), GrowthTarget, flat ? "met" : "NOT MET");
        std::printf("peak memory per value, the larger of the two: %.0f bytes; target under %.0f: %s\n", worstPeak,
                    PeakPerValueTarget, small ? "met" : "NOT MET");
        return flat && small;
    }

private:
    // One run of the program on `workload` in a profile folder of its own; what it wrote is removed
    // afterwards.
    RunCost Run(const Workload& workload)
    {
        const fs::path run = folder / "run";
        fs::remove_all(run);
        fs::create_directories(run / "profile");
        const fs::path out = run / "out.txt";
        const std::vector<std::string> arguments = {options.program.string(),
                                                    "--project", workload.project.string(),
                                                    "--choose", configurationFile.string(),
                                                    "--profile", (run / "profile").string(),
                                                    "--save", (run / "saved.xml").string(),
                                                    "--json", (run / "run.json").string()};
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);

        const auto start = Clock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            const int input = ::open("/dev/null", O_RDONLY);
            const int output = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (input < 0 || output < 0)
                ::_exit(126);
            ::dup2(input, STDIN_FILENO);
            ::dup2(output, STDOUT_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        int status = 0;
        struct rusage usage {};
        if (child < 0 || ::wait4(child, &status, 0, &usage) != child)
            throw std::runtime_error("cannot run " + options.program.string());
        RunCost cost;
        cost.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        cost.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                          static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
        cost.peakBytes = static_cast<double>(usage.ru_maxrss) * 1024.0;  // kilobytes on Linux

        const std::string summary = LastLine(Support::ReadBytes(out));
        const std::string expected = std::to_string(workload.values) + " values kept, 0 changed, 0 lost";
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || summary.rfind(expected, 0) != 0)
            throw std::runtime_error("the run on " + workload.project.string() + " did not keep every value (status " +
                                     std::to_string(status) + "): " + summary);
        fs::remove_all(run);
        return cost;
    }

    Options options;
    std::unique_ptr<Support::ScratchFolder> scratch;  // when no folder to keep was given and no /dev/shm
    fs::path folder;
    bool removeFolder = false;
    fs::path configurationFile;
    std::vector<Workload> workloads;
};

}  // namespace

int main(int argc, char** argv)
{
    try {
        const Options options = ParseOptions(argc, argv);
        HostBench bench(options);
        bench.Prepare();
        return bench.Measure() ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quillmere_host_bench: %s\nusage: %s [--rounds R] [--small N] [--large N] [--values M] "
                     "[--program FILE] [--keep DIR]\n", error.what(), argv[0]);
        return 2;
    }
}
