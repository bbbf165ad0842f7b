#include "FuzzTargets.hpp"

#include <optional>
#include <stdexcept>

#include "Common/RenameTable.hpp"
#include "Host.hpp"
#include "Host/EntryPoints.hpp"
#include "Support/Files.hpp"
#include "Support/Folders.hpp"

namespace Fuzz {

using namespace Quillmere;

struct RenameTableTarget::State {
    TestHost::Host host;
    Support::ScratchFolder folder;  // where the configuration and its table lie
};

RenameTableTarget::RenameTableTarget() : state(std::make_unique<State>())
{
    SetImportedFuncAddrs(state->host.ServiceTable());
    if (GuardedInitialize(state->host.Context()) != NoError)
        throw std::runtime_error("the add-on did not initialize");
}

RenameTableTarget::~RenameTableTarget()
{
    GuardedRelease();
}

std::string RenameTableTarget::Run(std::string_view input)
{
    const std::filesystem::path configuration = state->folder.Path() / "config.xml";
    if (!Support::TryWriteBytes(RenameTablePathBeside(configuration), input))
        return "the table cannot be written";

    try {
        const RenameTableReading reading = ReadRenameTable(RenameTablePathBeside(configuration));
        const RenameTable& table = reading.table;
        if (!reading.problems.empty() && reading.problems[0].kind <= RenameTableProblem::Kind::NoRenamesRoot &&
            !table.IsEmpty())
            return "a table that cannot be used still has entries";
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
    return {};
}

}  // namespace Fuzz
