// How the cost of applying a rename table grows with the table: per entry, a table of 10,000
// entries against one of 1,000, and a table that renames many groups into one.
//
// Applying a table is what a command does with it: parse its text (ParseRenameTable), then the
// look-ups of the restore and the expression import for a project of definitions: EarlierNames
// for each definition the import made, RenamedName for each name a value or an expression list was
// saved under, and RewriteReferences for the saved expression lists. The project grows with the
// table (three definitions and two saved names per pair of entries), so that a per-entry time
// that stays flat means every part is linear.
//
// Each round times both tables in turns: ten turns, each applying either table until about
// 20,000 entries are applied, the smaller table first in every other turn, so that a noisy
// neighbour hits both alike. The ratio is taken within a round, and the medians over the rounds
// are reported.
//
//   quillmere_rename_table_bench [--rounds R] [--small ENTRIES] [--large ENTRIES]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "Renames/ReferenceRewriting.hpp"
#include "Renames/RenameTableReader.hpp"
#include "Statistics.hpp"

using namespace Quillmere;

namespace {

using Bench::Median;

using Clock = std::chrono::steady_clock;

constexpr double GrowthTarget = 2.0;            // per entry, large table over small
constexpr int TurnsPerRound = 10;
constexpr std::size_t EntriesPerTurn = 20000;  // applied per turn and table, repeating the work

struct Options {
    int rounds = 7;
    std::size_t small = 1000;
    std::size_t large = 10000;
};

// What a command would apply a table to: the table's text and the project's names.
struct Workload {
    std::size_t entries = 0;
    std::string text;
    std::vector<GS::UniString> definitions;  // pairs: group, definition
    std::vector<GS::UniString> saved;        // pairs: group, property of saved values
    std::vector<GS::UniString> expressions;  // saved expression texts
    std::size_t expectedNames = 0;           // what the look-ups must find, as a check
};

std::string Number(std::size_t n)
{
    return std::to_string(n);
}

// `entries` entries in pairs: group i renamed, and its property Width<i> renamed within the new
// group (a property entry that wins over the group entry). The project holds, per pair, the
// definitions ClearWidth<i>, Height and Depth<i> of the new group, values saved under Width<i> and
// Height of the old one, and for every tenth pair an expression list with two references.
Workload MakeWorkload(std::size_t entries)
{
    Workload work;
    work.entries = entries;
    work.text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<renames>\n";
    for (std::size_t i = 0; i < entries / 2; ++i) {
        const std::string old = "SGPset_Type" + Number(i);
        const std::string renamed = "SGPset_Type" + Number(i) + "_2026";
        work.text += "  <group from=\"" + old + "\" to=\"" + renamed + "\"/>\n";
        work.text += "  <property group=\"" + old + "\" from=\"Width" + Number(i) + "\" toGroup=\"" + renamed +
                     "\" to=\"ClearWidth" + Number(i) + "\"/>\n";
        for (const std::string& definition : {"ClearWidth" + Number(i), std::string("Height"), "Depth" + Number(i)}) {
            work.definitions.emplace_back(renamed.c_str());
            work.definitions.emplace_back(definition.c_str());
        }
        for (const std::string& property : {"Width" + Number(i), std::string("Height")}) {
            work.saved.emplace_back(old.c_str());
            work.saved.emplace_back(property.c_str());
        }
        if (i % 10 == 0)
            work.expressions.emplace_back(("{Property:" + old + "/Width" + Number(i) + "} * {Property:" + old +
                                           "/Height} + 0.05")
                                              .c_str());
        // ClearWidth: Width by the property entry and ClearWidth by the group entry; Height and
        // Depth: by the group entry. Both saved names are renamed.
        work.expectedNames += 4 + 2;
    }
    work.text += "</renames>\n";
    return work;
}

// Many groups merged into one: `groups` group entries into SGPset_Wall, each with a property
// entry; `definitions` definitions of SGPset_Wall are looked up.
Workload MakeMergingWorkload(std::size_t groups, std::size_t definitions)
{
    Workload work;
    work.entries = 2 * groups;
    work.text = "<renames>\n";
    for (std::size_t i = 0; i < groups; ++i) {
        const std::string old = "SGPset_Wall" + Number(i);
        work.text += "  <group from=\"" + old + "\" to=\"SGPset_Wall\"/>\n";
        work.text += "  <property group=\"" + old + "\" from=\"Width" + Number(i) +
                     "\" toGroup=\"SGPset_Wall\" to=\"ClearWidth" + Number(i) + "\"/>\n";
    }
    work.text += "</renames>\n";
    for (std::size_t d = 0; d < definitions; ++d) {
        work.definitions.emplace_back("SGPset_Wall");
        work.definitions.emplace_back(("Property" + Number(d)).c_str());
        work.expectedNames += groups;  // each earlier group gives the definition's name
    }
    return work;
}

struct Timing {
    double parse = 0;    // seconds
    double lookUps = 0;
    double Total() const { return parse + lookUps; }
};

// Applies the table `repeat` times.
Timing Apply(const Workload& work, std::size_t repeat)
{
    Timing timing;
    for (std::size_t r = 0; r < repeat; ++r) {
        const Clock::time_point start = Clock::now();
        const RenameTableReading reading = ParseRenameTable(work.text);
        const Clock::time_point parsed = Clock::now();
        const RenameTable& table = reading.table;
        if (reading.problem || !reading.skipped.empty() || table.Entries().size() != work.entries)
            throw std::runtime_error("the benchmark's table did not read as written");
        std::size_t names = 0;
        for (std::size_t at = 0; at < work.definitions.size(); at += 2)
            names += table.EarlierNames(work.definitions[at], work.definitions[at + 1]).size();
        for (std::size_t at = 0; at < work.saved.size(); at += 2)
            names += table.RenamedName(work.saved[at], work.saved[at + 1]) ? 1 : 0;
        std::size_t rewritten = 0;
        for (const GS::UniString& expression : work.expressions) {
            GS::UniString copy = expression;
            rewritten += RewriteReferences(table, copy) ? 1 : 0;
        }
        const Clock::time_point done = Clock::now();
        if (names != work.expectedNames || rewritten != work.expressions.size())
            throw std::runtime_error("the look-ups did not find the names the table gives");
        timing.parse += std::chrono::duration<double>(parsed - start).count();
        timing.lookUps += std::chrono::duration<double>(done - parsed).count();
    }
    return timing;
}

std::string Grouped(std::size_t n)
{
    std::string digits = std::to_string(n);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

Options ParseOptions(int argc, char** argv)
{
    Options options;
    for (int at = 1; at < argc; ++at) {
        const auto value = [&]() -> long {
            if (at + 1 >= argc)
                throw std::invalid_argument(std::string(argv[at]) + " needs a value");
            const long parsed = std::strtol(argv[++at], nullptr, 10);
            if (parsed <= 0)
                throw std::invalid_argument(std::string(argv[at - 1]) + " needs a positive number");
            return parsed;
        };
        if (std::strcmp(argv[at], "--rounds") == 0)
            options.rounds = static_cast<int>(value());
        else if (std::strcmp(argv[at], "--small") == 0)
            options.small = static_cast<std::size_t>(value());
        else if (std::strcmp(argv[at], "--large") == 0)
            options.large = static_cast<std::size_t>(value());
        else
            throw std::invalid_argument(std::string("unknown option ") + argv[at]);
    }
    return options;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    try {
        options = ParseOptions(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\nusage: %s [--rounds R] [--small ENTRIES] [--large ENTRIES]\n", error.what(), argv[0]);
        return 2;
    }

    const Workload tables[] = {MakeWorkload(options.small), MakeWorkload(options.large)};
    std::size_t repeats[2];
    for (int t = 0; t < 2; ++t)
        repeats[t] = std::max<std::size_t>(1, EntriesPerTurn / tables[t].entries);
    Apply(tables[0], 1);  // warms up the allocator and the caches once
    Apply(tables[1], 1);

    // Per entry, in nanoseconds, by table and round.
    std::vector<double> parse[2], lookUps[2], total[2], ratio, parseRatio, lookUpRatio;
    for (int round = 0; round < options.rounds; ++round) {
        Timing timing[2];
        for (int turn = 0; turn < TurnsPerRound; ++turn) {
            for (int step = 0; step < 2; ++step) {
                const int t = (round + turn) % 2 == 0 ? step : 1 - step;
                const Timing applied = Apply(tables[t], repeats[t]);
                timing[t].parse += applied.parse;
                timing[t].lookUps += applied.lookUps;
            }
        }
        for (int t = 0; t < 2; ++t) {
            const double applied = static_cast<double>(tables[t].entries * repeats[t] * TurnsPerRound);
            parse[t].push_back(timing[t].parse / applied * 1e9);
            lookUps[t].push_back(timing[t].lookUps / applied * 1e9);
            total[t].push_back(timing[t].Total() / applied * 1e9);
        }
        ratio.push_back(total[1].back() / total[0].back());
        parseRatio.push_back(parse[1].back() / parse[0].back());
        lookUpRatio.push_back(lookUps[1].back() / lookUps[0].back());
        std::printf("round %d: %.1f and %.1f ns per entry, ratio %.2f\n", round + 1, total[0].back(), total[1].back(),
                    ratio.back());
    }

    std::printf("\nApplying a rename table, per entry (medians of %d interleaved rounds)\n\n", options.rounds);
    std::printf("| entries | project definitions | parse ns/entry | look-ups ns/entry | applying ns/entry |\n");
    std::printf("|---:|---:|---:|---:|---:|\n");
    for (int t = 0; t < 2; ++t)
        std::printf("| %s | %s | %.1f | %.1f | %.1f |\n", Grouped(tables[t].entries).c_str(),
                    Grouped(tables[t].definitions.size() / 2).c_str(), Median(parse[t]), Median(lookUps[t]),
                    Median(total[t]));
    const double growth = Median(ratio);
    std::printf("\n%s over %s entries, per entry: applying %.2f (parse %.2f, look-ups %.2f); target at most %.1f: %s\n",
                Grouped(options.large).c_str(), Grouped(options.small).c_str(), growth, Median(parseRatio),
                Median(lookUpRatio), GrowthTarget, growth <= GrowthTarget ? "met" : "NOT MET");

    // Many groups into one: each definition of the merged group has an earlier name per group, so
    // a look-up answers that many names; the time should grow with the names, not their square.
    std::printf("\nMany groups merged into one (N group entries into SGPset_Wall, N property entries; 20 "
                "definitions of SGPset_Wall looked up), medians of %d rounds\n\n",
                options.rounds);
    std::printf("| N | entries | applying ms |\n|---:|---:|---:|\n");
    for (const std::size_t groups : {500, 1000, 2000, 8000}) {
        const Workload merging = MakeMergingWorkload(groups, 20);
        std::vector<double> ms;
        for (int round = 0; round < options.rounds; ++round)
            ms.push_back(Apply(merging, 1).Total() * 1e3);
        std::printf("| %s | %s | %.2f |\n", Grouped(groups).c_str(), Grouped(merging.entries).c_str(), Median(ms));
    }
    return growth <= GrowthTarget ? 0 : 1;
}
