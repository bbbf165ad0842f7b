#include "FuzzTargets.hpp"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <unistd.h>

#include "Common/RenameTable.hpp"
#include "Host.hpp"
#include "Host/EntryPoints.hpp"

namespace Fuzz {

using namespace Quillmere;

struct RenameTableTarget::State {
    TestHost::Host host;
    std::filesystem::path folder;
};

RenameTableTarget::RenameTableTarget() : state(std::make_unique<State>())
{
    std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a folder for the table");
    state->folder = pattern;
    SetImportedFuncAddrs(state->host.ServiceTable());
    if (GuardedInitialize(state->host.Context()) != NoError)
        throw std::runtime_error("the add-on did not initialize");
}

RenameTableTarget::~RenameTableTarget()
{
    GuardedRelease();
    std::error_code ignored;
    std::filesystem::remove_all(state->folder, ignored);
}

std::string RenameTableTarget::Run(std::string_view input)
{
    const std::filesystem::path configuration = state->folder / "config.xml";
    std::ofstream(RenameTable::PathBeside(configuration), std::ios::binary | std::ios::trunc)
        .write(input.data(), static_cast<std::streamsize>(input.size()));

    state->host.ClearOutput();
    try {
        const RenameTable table = RenameTable::ReadBeside(configuration);
        // The names the example's table and the format's examples use.
        static const char* const names[][2] = {{"SGPset_StructuralColumn", "SectionDepth"},
                                               {"SGPset_Space", "OccupancyClass"},
                                               {"SGPset_New", "ClearWidth"},
                                               {"", ""}};
        for (const auto& name : names)
            table.EarlierNames(GS::UniString(name[0]), GS::UniString(name[1]));
        // A name that the text cannot hold has no earlier names.
        if (input.find("Zq") == std::string_view::npos && input.find("&#") == std::string_view::npos &&
            !table.EarlierNames(GS::UniString("SGPset_Zq"), GS::UniString("Zq")).empty())
            return "earlier names for a name the table does not hold";
    } catch (const std::exception& error) {
        return std::string("reading the table threw: ") + error.what();
    }
    for (const auto& line : state->host.ReportLines())
        if (line.text.rfind("The rename table \"", 0) != 0)
            return "unexpected report line: " + line.text;
    return {};
}

}  // namespace Fuzz
