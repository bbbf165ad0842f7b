// The yearly upgrade of the example project, through quillmere-host: the clinic made with the
// IFC-SG 2027.1 edition upgraded to 2028.1 with the reviewed rename table that quillmere-renames
// proposed. Every value whose property 2028.1 still defines, under any name, comes back, converted
// where exact; every other value is kept and told of.
#include "EndToEndSupport.hpp"
#include "Support/Store.hpp"

namespace {

using namespace EndToEnd;
using Json = nlohmann::json;

class UpgradeRun : public ::testing::Test {
protected:
    fs::path Profile() const { return scratch.work() / "profile"; }
    fs::path Store() const { return Profile() / "AppData" / "Local" / "Quillmere" / "store.sqlite"; }

    Json RunUpgrade()
    {
        const fs::path json = scratch.work() / "run.json";
        run = scratch.Run({"--project", (Support::SourceFolder() / "Examples" / "CommunityClinic-2027.xml").string(),
                           "--choose", Configuration("2028").string(), "--profile", Profile().string(), "--json",
                           json.string()});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return Json::parse(Support::ReadBytes(json));
    }

    Scratch scratch;
    ProgramRun run;
};

}  // namespace

TEST_F(UpgradeRun, EveryValueComesBackUnderItsNewNameConvertedOrIsKeptAndTold)
{
    const Json json = RunUpgrade();
    std::vector<std::string> lines;
    for (const Json& line : json.at("reportLines"))
        lines.push_back(line.at("text").get<std::string>());
    const std::string store = Store().string();
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "SGPset_Slab / ThermalTransmittance: 1 of 3 saved values not brought back (1 not defined by the "
                         "configuration); kept in \"" + store + "\"",
                         "SGPset_Door / HasVisionPanel: 6 of 6 saved values not brought back (6 not defined by the "
                         "configuration); kept in \"" + store + "\"",
                         "SGPset_Window / VisibleTransmittance: 1 of 8 saved values not brought back (1 not convertible "
                         "to the property's type); kept in \"" + store + "\"",
                         "Waiting in \"" + store + "\" for an import that defines their properties: 8 values (SGPset_Door, "
                         "SGPset_Slab, SGPset_Window)"}));

    // Value by value: the same value under its name or its new one; a retyped value converted
    // exactly (its text the same); a value not brought back named by a line and in the store.
    std::size_t kept = 0, renamed = 0, converted = 0, lost = 0;
    for (const Json& row : json.at("values")) {
        const std::string name = row.at("element").get<std::string>() + " " + row.at("group").get<std::string>() + " / " +
                                 row.at("property").get<std::string>();
        const std::string status = row.at("status").get<std::string>();
        SCOPED_TRACE(name + ": " + status);
        if (status == "kept") {
            ++kept;
            renamed += row.contains("renamedFrom") ? 1 : 0;
        } else if (status == "changed") {
            ++converted;
            EXPECT_NE(row.at("before").at("type"), row.at("after").at("type"));
            EXPECT_EQ(row.at("before").at("text"), row.at("after").at("text"));
        } else {
            ++lost;
            EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
                return line.rfind(row.at("group").get<std::string>() + " / " + row.at("property").get<std::string>() + ":", 0) == 0;
            }));
        }
    }
    EXPECT_EQ(kept, 368u);
    EXPECT_EQ(renamed, 53u);
    EXPECT_EQ(converted, 19u);
    EXPECT_EQ(lost, 8u);
    EXPECT_EQ(Support::KeptValueCount(Store()), lost);
    EXPECT_EQ(run.OutLines().back(), "368 values kept (53 renamed), 19 changed, 8 lost; 6 expression lists re-applied; 4 report lines");

    // The moves into the standard sets of walls and doors carried every value over.
    std::size_t intoStandardSets = 0;
    for (const Json& row : json.at("values"))
        if (row.value("renamedFrom", "") == "SGPset_Wall-IsExternal" || row.value("renamedFrom", "") == "SGPset_Door-SelfClosing") {
            EXPECT_EQ(row.at("group").get<std::string>().rfind("Pset_", 0), 0u);
            EXPECT_EQ(row.at("status"), "kept");
            ++intoStandardSets;
        }
    EXPECT_EQ(intoStandardSets, 24u);
}
