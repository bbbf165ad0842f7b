// How long quillmere-renames takes on large editions: two generated configurations of about N
// properties each, the newer one with every kind of change (spellings, moves into standard sets
// and between owned groups, groups renamed, splits, retypes, withdrawn and added properties, a
// status pair in every owned group), against the least work on the same files: reading both with
// pugixml.
//
// Per size and round, in turns, the order alternating from round to round so that a noisy
// neighbour hits all alike:
//  - floor: both files read and parsed by pugixml (nothing else);
//  - program: RunRenamesProgram in-process (read, check, propose, write the table and the report);
//    its parts timed apart too: reading both editions, the proposal, the two texts;
//  - process: the built quillmere-renames run as a process on the files, against the same program
//    answering --help (the cost of starting a process), at the first size only.
// Ratios are taken within a round; the tables give medians over the rounds. Beside the wall time,
// the program's processor time (of its thread) is given, which a busy machine changes less.
//
//   quillmere_renames_bench [--rounds R] [--properties N]...   (default: 15 rounds, 2000 and 20000)
#include <spawn.h>
#include <sys/wait.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "ChangeReport.hpp"
#include "Edition.hpp"
#include "ProgramFiles.hpp"
#include "Proposal.hpp"
#include "RenameTableText.hpp"
#include "RenamesProgram.hpp"
#include "Statistics.hpp"

namespace fs = std::filesystem;
using namespace RenameProposal;

extern char** environ;

namespace {

using Bench::Median;

using Clock = std::chrono::steady_clock;

constexpr int Entities = 30;         // IfcE00 ... with two subtypes each
constexpr int OwnedPerEntity = 4;    // SGPset_E00, SGPset_E00Dimension, ...
constexpr const char* Words[] = {"Fire", "Resistance", "Clear", "Width", "Height", "Depth", "Thermal", "Acoustic",
                                 "Rating", "Load", "Bearing", "Finish", "Material", "Opening", "Area", "Slope",
                                 "Cover", "Grade", "Sill", "Head", "Level", "Gross", "Net", "Span"};
constexpr const char* Types[] = {"String", "Real", "Integer", "Boolean"};

struct Property {
    std::string name;
    std::string type;
    std::vector<std::string> items;
};

struct Group {
    std::string name;
    std::vector<Property> properties;
};

double Milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

std::string Entity(int entity)
{
    char name[16];
    std::snprintf(name, sizeof name, "IfcE%02d", entity);
    return name;
}

std::string ConfigurationText(const std::vector<Group>& groups)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<configuration>\n"
                       "  <classificationSystem name=\"IFC-SG\" version=\"bench\">\n";
    for (int entity = 0; entity < Entities; ++entity)
        text += "    <item id=\"" + Entity(entity) + "\"><item id=\"" + Entity(entity) + ".A\"/><item id=\"" +
                Entity(entity) + ".B\"/></item>\n";
    text += "  </classificationSystem>\n";
    for (const Group& group : groups) {
        text += "  <propertyGroup name=\"" + group.name + "\">\n";
        for (const Property& property : group.properties) {
            text += "    <property name=\"" + property.name + "\" type=\"" + property.type + "\">";
            for (const std::string& item : property.items)
                text += "<appliesTo item=\"" + item + "\"/>";
            text += "</property>\n";
        }
        text += "  </propertyGroup>\n";
    }
    return text + "</configuration>\n";
}

// The older edition: per entity, owned groups of `perGroup` properties named from the words, and
// a standard set with a few.
std::vector<Group> OlderGroups(std::size_t perGroup, std::mt19937& random)
{
    std::vector<Group> groups;
    const char* suffixes[] = {"", "Dimension", "Performance", "Submission"};
    for (int entity = 0; entity < Entities; ++entity) {
        const std::string items[] = {Entity(entity), Entity(entity) + ".A", Entity(entity) + ".B"};
        for (int owned = 0; owned < OwnedPerEntity; ++owned) {
            Group group{"SGPset_E" + Entity(entity).substr(4) + suffixes[owned], {}};
            for (std::size_t index = 0; index < perGroup; ++index) {
                const std::string name = std::string(Words[random() % std::size(Words)]) + Words[random() % std::size(Words)] +
                                         std::to_string(index);
                const std::size_t first = random() % 3, count = 1 + random() % 2;
                std::vector<std::string> applies(items + first, items + std::min<std::size_t>(3, first + count));
                group.properties.push_back({name, Types[random() % std::size(Types)], applies});
            }
            groups.push_back(group);
        }
        groups.push_back({"Pset_E" + Entity(entity).substr(4) + "Common",
                          {{"Reference", "String", {items[0]}}, {"IsExternal", "Boolean", {items[0]}}}});
    }
    return groups;
}

// A spelling of the name that folds to the same: letter case, an underscore, a blank or an accent.
std::string Respelled(const std::string& name, unsigned how)
{
    switch (how % 4) {
        case 0: return std::string(1, static_cast<char>(name[0] ^ 0x20)) + name.substr(1);
        case 1: return name.substr(0, 4) + "_" + name.substr(4);
        case 2: return name.substr(0, 4) + " " + name.substr(4);
        default: break;
    }
    const std::size_t e = name.find('e');
    return e == std::string::npos ? name + "_" : name.substr(0, e) + "\u00e9" + name.substr(e + 1);
}

// What the newer edition does to one owned property: returns false when it is gone from its group.
bool Change(Property& property, Group& standard, Group& sibling, std::vector<Group>& newGroups, unsigned dice)
{
    if (dice < 4) {
        property.name = Respelled(property.name, dice);
    } else if (dice < 7) {
        standard.properties.push_back(property);
        return false;
    } else if (dice < 9) {
        sibling.properties.push_back(property);
        return false;
    } else if (dice < 11) {
        return false;  // withdrawn
    } else if (dice < 12 && property.items.size() == 2) {
        for (std::size_t half = 0; half < 2; ++half)
            newGroups.push_back({"Pset_Split" + std::to_string(newGroups.size()), {{property.name, property.type, {property.items[half]}}}});
        return false;
    } else if (dice < 15) {
        property.type = property.type == "String" ? "Real" : "String";
    }
    return true;
}

std::vector<Group> NewerGroups(std::vector<Group> groups, std::mt19937& random)
{
    std::vector<Group> added;
    for (std::size_t index = 0; index < groups.size(); ++index) {
        Group& group = groups[index];
        if (group.name.find("SGPset_") == std::string::npos)
            continue;
        const std::size_t block = index / (OwnedPerEntity + 1) * (OwnedPerEntity + 1);
        Group& standard = groups[block + OwnedPerEntity];
        Group& sibling = groups[block + (index - block + 1) % OwnedPerEntity];
        std::vector<Property> kept;
        for (Property& property : group.properties)
            if (Change(property, standard, sibling, added, static_cast<unsigned>(random() % 100)))
                kept.push_back(property);
        group.properties = kept;
        const std::vector<std::string> items = {Entity(static_cast<int>(index / (OwnedPerEntity + 1)))};
        group.properties.push_back({"SubmissionStatus", "String", items});
        group.properties.push_back({"SubmissionDate", "String", items});
        if (random() % 20 == 0)
            group.name += "Data";  // a group renamed
    }
    groups.insert(groups.end(), added.begin(), added.end());
    return groups;
}

struct Editions {
    fs::path older;
    fs::path newer;
    std::size_t olderProperties = 0;
    std::size_t newerProperties = 0;
};

std::size_t PropertyCount(const std::vector<Group>& groups)
{
    std::size_t count = 0;
    for (const Group& group : groups)
        count += group.properties.size();
    return count;
}

Editions WriteEditions(const fs::path& folder, std::size_t properties)
{
    std::mt19937 random(20281209);
    const std::size_t perGroup = std::max<std::size_t>(1, (properties - 2 * Entities) / (Entities * OwnedPerEntity));
    const std::vector<Group> older = OlderGroups(perGroup, random);
    const std::vector<Group> newer = NewerGroups(older, random);
    Editions editions{folder / ("old-" + std::to_string(properties) + ".xml"),
                      folder / ("new-" + std::to_string(properties) + ".xml"), PropertyCount(older), PropertyCount(newer)};
    std::ofstream(editions.older, std::ios::binary) << ConfigurationText(older);
    std::ofstream(editions.newer, std::ios::binary) << ConfigurationText(newer);
    return editions;
}

std::string Read(const fs::path& path)
{
    std::string bytes;
    if (const std::string problem = ReadInputFile(path, bytes); !problem.empty())
        throw std::runtime_error(problem);
    return bytes;
}

// The times of one round at one size, milliseconds.
struct Round {
    double floor = 0, program = 0, programCpu = 0, read = 0, propose = 0, texts = 0, process = 0, start = 0;
};

// The processor time of the calling thread.
double ThreadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double TimeFloor(const Editions& editions)
{
    const Clock::time_point begin = Clock::now();
    for (const fs::path& path : {editions.older, editions.newer}) {
        const std::string bytes = Read(path);
        pugi::xml_document document;
        if (!document.load_buffer(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8))
            throw std::runtime_error("the floor could not parse " + path.string());
    }
    return Milliseconds(Clock::now() - begin);
}

void TimeProgram(const Editions& editions, const fs::path& folder, Round& round)
{
    const double cpu = ThreadMilliseconds();
    const Clock::time_point begin = Clock::now();
    const ProgramResult result = RunRenamesProgram(
        {editions.older, editions.newer, "--output", folder / "table.xml", "--report", folder / "report.txt", "--force"});
    round.program = Milliseconds(Clock::now() - begin);
    round.programCpu = ThreadMilliseconds() - cpu;
    if (result.status != 0)
        throw std::runtime_error("the program failed: " + result.err);
    // Its parts.
    const Clock::time_point reading = Clock::now();
    const EditionReading older = ReadEdition(Read(editions.older)), newer = ReadEdition(Read(editions.newer));
    const Clock::time_point proposing = Clock::now();
    const Proposal proposal = ProposeRenames(older.edition, newer.edition);
    const Clock::time_point writing = Clock::now();
    const EditionPair pair{older.edition, newer.edition, "old.xml", "new.xml"};
    const std::size_t size = RenameTableText(proposal, pair).size() + ChangeReportText(proposal, pair).size();
    const Clock::time_point end = Clock::now();
    round.read = Milliseconds(proposing - reading);
    round.propose = Milliseconds(writing - proposing);
    round.texts = Milliseconds(end - writing);
    if (size == 0)
        throw std::runtime_error("no text");
}

double TimeProcess(const std::vector<std::string>& arguments)
{
    std::vector<std::string> argv = {QUILLMERE_RENAMES_PROGRAM};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (std::string& argument : argv)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);  // O_WRONLY
    const Clock::time_point begin = Clock::now();
    pid_t child = 0;
    int status = 0;
    if (posix_spawn(&child, argv[0].c_str(), &actions, nullptr, pointers.data(), environ) != 0 ||
        waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("quillmere-renames did not run");
    posix_spawn_file_actions_destroy(&actions);
    return Milliseconds(Clock::now() - begin);
}

Round TimeRound(const Editions& editions, const fs::path& folder, bool processes, bool floorFirst)
{
    Round round;
    if (floorFirst)
        round.floor = TimeFloor(editions);
    TimeProgram(editions, folder, round);
    if (!floorFirst)
        round.floor = TimeFloor(editions);
    if (processes) {
        const std::vector<std::string> whole = {editions.older.string(), editions.newer.string(), "--output",
                                                (folder / "table.xml").string(), "--report", (folder / "report.txt").string(),
                                                "--force"};
        round.start = floorFirst ? TimeProcess({"--help"}) : 0;
        round.process = TimeProcess(whole);
        if (!floorFirst)
            round.start = TimeProcess({"--help"});
    }
    return round;
}

// What the proposal holds, to show that the generated changes were found.
std::string ProposalSize(const Editions& editions)
{
    const EditionReading older = ReadEdition(Read(editions.older)), newer = ReadEdition(Read(editions.newer));
    const Proposal proposal = ProposeRenames(older.edition, newer.edition);
    std::size_t moved = 0;
    for (const PropertyEntry& entry : proposal.propertyEntries)
        moved += entry.moved ? 1 : 0;
    return std::to_string(proposal.groupEntries.size()) + " group entries, " +
           std::to_string(proposal.propertyEntries.size() - moved) + " renames, " + std::to_string(moved) + " moves, " +
           std::to_string(proposal.groupChoices.size() + proposal.propertyChoices.size()) + " choices, " +
           std::to_string(proposal.retyped.size()) + " retyped, " + std::to_string(proposal.propertiesRemoved.size()) +
           " removed, " + std::to_string(proposal.propertiesAdded.size()) + " added";
}

void Report(const Editions& editions, const std::vector<Round>& rounds, bool processes)
{
    const auto median = [&](double Round::*field) {
        std::vector<double> values;
        for (const Round& round : rounds)
            values.push_back(round.*field);
        return Median(values);
    };
    std::vector<double> ratios;
    for (const Round& round : rounds)
        ratios.push_back(round.program / round.floor);
    std::printf("%zu / %zu properties: program %.2f ms (processor %.2f ms; read %.2f, propose %.2f, texts %.2f), "
                "floor %.2f ms, program/floor %.2f (rounds %.2f to %.2f)\n",
                editions.olderProperties, editions.newerProperties, median(&Round::program), median(&Round::programCpu),
                median(&Round::read), median(&Round::propose), median(&Round::texts), median(&Round::floor), Median(ratios),
                *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()));
    std::printf("  the proposal: %s\n", ProposalSize(editions).c_str());
    if (processes)
        std::printf("  as a process: %.2f ms, of which starting a process (--help) %.2f ms\n", median(&Round::process),
                    median(&Round::start));
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 15;
    std::vector<std::size_t> sizes;
    for (int index = 1; index + 1 < argc; index += 2) {
        if (std::string(argv[index]) == "--rounds")
            rounds = std::max(1, std::atoi(argv[index + 1]));
        else if (std::string(argv[index]) == "--properties")
            sizes.push_back(static_cast<std::size_t>(std::max(200, std::atoi(argv[index + 1]))));
    }
    if (sizes.empty())
        sizes = {2000, 20000};
    const fs::path folder = fs::temp_directory_path() / ("quillmere-renames-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::vector<Editions> editions;
    for (const std::size_t size : sizes)
        editions.push_back(WriteEditions(folder, size));
    std::vector<std::vector<Round>> times(sizes.size());
    for (int round = 0; round < rounds; ++round)
        for (std::size_t size = 0; size < sizes.size(); ++size)
            times[size].push_back(TimeRound(editions[size], folder, size == 0, (round + static_cast<int>(size)) % 2 == 0));
    std::printf("quillmere-renames on generated editions, %d rounds, medians\n", rounds);
    for (std::size_t size = 0; size < sizes.size(); ++size)
        Report(editions[size], times[size], size == 0);
    fs::remove_all(folder);
    return 0;
}
