// The files the earlier version of the add-on kept beside the backup, as it wrote them: the history
// (the lists no run had brought back, and its record of the backup file) and a kept file per run
// ("IFC_SG_Properties.N.xml", the backup's format with the run and when it started on the root).
// They are taken into the store once and renamed, and what they hold comes back in later runs;
// any other file beside them is left as it is.
#include <regex>

#include "AddOnFixture.hpp"
#include "Support/Store.hpp"

using namespace AddOnTesting;

namespace {

namespace fs = std::filesystem;

// The edition the earlier version's runs imported: no doors, and walls without their layer count
// and whether they are external.
const char* const Partial = R"(<?xml version="1.0" encoding="utf-8"?>
<configuration>
  <classificationSystem name="IFC-SG" version="2024">
    <item id="IfcWall" name="Wall"/>
    <item id="IfcDoor" name="Door"/>
    <item id="IfcSpace" name="Space"/>
  </classificationSystem>
  <propertyGroup name="SGPset_Wall">
    <property name="FireRating" type="String"><appliesTo item="IfcWall"/></property>
    <property name="Thickness" type="Real" measure="Length"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
  <propertyGroup name="Pset_WallCommon">
    <property name="Reference" type="String"><appliesTo item="IfcWall"/></property>
  </propertyGroup>
</configuration>
)";

const char* const Declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

// One value as the earlier version wrote it: "SGPset_Door-FireExit", "Boolean", "1".
std::string Value(const std::string& name, const char* type, const std::string& text)
{
    return "\t\t<" + name + " valType=\"" + type + "\" MType=\"Default\">" + text + "</" + name + ">\n";
}

std::string Entry(const char* guid, const std::string& values)
{
    return std::string("\t<element guid=\"") + guid + "\">\n" + values + "\t</element>\n";
}

// A kept file: the backup's format, with `rootAttributes` on its root (" run=\"1\" saved=\"...\"").
std::string KeptFile(const std::string& rootAttributes, const std::string& entries)
{
    return Declaration + ("<project" + rootAttributes + ">\n") + entries + "</project>\n";
}

class EarlierVersionFiles : public AddOnTest {
protected:
    void SetUp() override
    {
        AddOnTest::SetUp();
        LoadConfiguration(Partial);
        wall = AddElement(WallGuid, "IfcWall");
        door = AddElement(DoorGuid, "IfcDoor");
        SetValue(wall, "SGPset_Wall", "FireRating", MakeStringValue("REI 60"));
        host.SetProjectLocation((profile.Path() / "clinic.pln").string());
    }

    fs::path History() const { return profile.Documents() / "IFC_SG_Properties.history.xml"; }
    fs::path Kept(int run) const { return profile.Documents() / ("IFC_SG_Properties." + std::to_string(run) + ".xml"); }

    // What the earlier version left after two runs with the partial edition: run 1 kept the door's
    // values and list, run 2 the wall's.
    void WriteEarlierFiles()
    {
        Support::WriteBytes(History(), std::string(Declaration) +
                                           "<history run=\"2\">\n"
                                           "\t<expressions group=\"SGPset_Door\" property=\"ClearWidth\" run=\"1\" saved=\"2026-11-02 09:30\">\n"
                                           "\t\t<expression>{Door.Width} - 0.1</expression>\n"
                                           "\t</expressions>\n"
                                           "</history>\n");
        Support::WriteBytes(Kept(1), KeptFile(" run=\"1\" saved=\"2026-11-02 09:30\"",
                                              Entry(DoorGuid, Value("SGPset_Door-FireExit", "Boolean", "1") +
                                                                  Value("SGPset_Door-ClearWidth", "Real", "0.850000"))));
        Support::WriteBytes(Kept(2), KeptFile(" run=\"2\" saved=\"2026-11-20 16:45\"",
                                              Entry(WallGuid, Value("SGPset_Wall-IsExternal", "Boolean", "1") +
                                                                  Value("SGPset_Wall-LayerCount", "Integer", "-3"))));
    }

    // One run of the command with `configuration`, its report alone in ReportTexts().
    void Run(const std::string& configuration)
    {
        host.ClearOutput();
        ChooseConfiguration(configuration);
        RunCommand();
    }

    // The names in Documents, each "in-store-YYYYMMDD-HHMMSS" as "in-store" (and so "unreadable").
    std::vector<std::string> DocumentNames() const
    {
        static const std::regex stamp(R"(\.(in-store|unreadable)-\d{8}-\d{6}(-\d+)?\.xml$)");
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(profile.Documents()))
            names.push_back(std::regex_replace(entry.path().filename().string(), stamp, ".$1.xml"));
        std::sort(names.begin(), names.end());
        return names;
    }

    std::size_t LinesWith(const std::string& text) const
    {
        std::size_t count = 0;
        for (const std::string& line : ReportTexts())
            count += line.find(text) != std::string::npos ? 1 : 0;
        return count;
    }

    // Everything the earlier version's files held has come back where it belongs.
    void ExpectEverythingBack()
    {
        ASSERT_NE(ValueOf(door, "SGPset_Door", "FireExit"), nullptr);
        EXPECT_EQ(*ValueOf(door, "SGPset_Door", "FireExit"), MakeBooleanValue(true));
        ASSERT_NE(ValueOf(door, "SGPset_Door", "ClearWidth"), nullptr);
        EXPECT_EQ(*ValueOf(door, "SGPset_Door", "ClearWidth"), MakeRealValue(0.85));
        ASSERT_NE(ValueOf(wall, "SGPset_Wall", "IsExternal"), nullptr);
        EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "IsExternal"), MakeBooleanValue(true));
        ASSERT_NE(ValueOf(wall, "SGPset_Wall", "LayerCount"), nullptr);
        EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "LayerCount"), MakeIntegerValue(-3));
        EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "FireRating"), MakeStringValue("REI 60"));
        EXPECT_EQ(Definition("SGPset_Door", "ClearWidth").expressions, std::vector<std::string>{"{Door.Width} - 0.1"});
        EXPECT_EQ(Support::KeptValueCount(profile.Store()), 0u);
        EXPECT_EQ(Support::KeptListCount(profile.Store()), 0u);
    }

    API_Guid wall;
    API_Guid door;
};

}  // namespace

TEST_F(EarlierVersionFiles, AreTakenInOnceAndWhatTheyHoldComesBackWithTheRightEdition)
{
    WriteEarlierFiles();
    const std::string userCopy = KeptFile("", Entry(DoorGuid, Value("SGPset_Door-FireExit", "Boolean", "0")));
    Support::WriteBytes(profile.Documents() / "IFC_SG_Properties.20261201.xml", userCopy);

    Run(BaseConfiguration);
    ExpectEverythingBack();
    // One line per earlier run whose values came back, one for the list.
    EXPECT_EQ(LinesWith("2 values came back from an earlier run, saved 2026-11-02 09:30"), 1u)
        << ::testing::PrintToString(ReportTexts());
    EXPECT_EQ(LinesWith("2 values came back from an earlier run, saved 2026-11-20 16:45"), 1u);
    EXPECT_EQ(LinesWith("1 expression list came back from an earlier run, saved 2026-11-02 09:30"), 1u);
    EXPECT_EQ(DocumentNames(), (std::vector<std::string>{"IFC_SG_Properties.1.in-store.xml",
                                                          "IFC_SG_Properties.2.in-store.xml",
                                                          "IFC_SG_Properties.20261201.xml",
                                                          "IFC_SG_Properties.history.in-store.xml",
                                                          "IFC_SG_Properties.xml"}));
    // The user's own copy of a backup under such a name is not the earlier version's.
    EXPECT_EQ(Support::ReadBytes(profile.Documents() / "IFC_SG_Properties.20261201.xml"), userCopy);
}

TEST_F(EarlierVersionFiles, WhatTheyHoldWaitsThroughWrongEditionsAndIsNotTakenAgain)
{
    WriteEarlierFiles();
    Run(Partial);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"Waiting in \"" + profile.Store().string() + "\" for an import that "
                                                      "defines their properties: 4 values, 1 expression list "
                                                      "(SGPset_Door, SGPset_Wall)"});
    const std::vector<std::string> taken = DocumentNames();
    EXPECT_EQ(taken, (std::vector<std::string>{"IFC_SG_Properties.1.in-store.xml", "IFC_SG_Properties.2.in-store.xml",
                                               "IFC_SG_Properties.history.in-store.xml", "IFC_SG_Properties.xml"}));
    // The values of the project's elements are its own now; the list waits for any project.
    EXPECT_EQ(Support::StoreRows(profile.Store(), "SELECT DISTINCT p.identity FROM kept_value v JOIN project p ON p.id = v.project"),
              std::vector<std::string>{"file:" + (profile.Path() / "clinic.pln").string()});
    EXPECT_EQ(Support::KeptListCount(profile.Store()), 1u);

    const std::vector<std::string> store = Support::KeptValues(profile.Store());
    Run(Partial);
    EXPECT_EQ(LinesWith("Waiting in "), 1u);
    EXPECT_EQ(ReportTexts().size(), 1u) << ::testing::PrintToString(ReportTexts());
    EXPECT_EQ(DocumentNames(), taken);
    EXPECT_EQ(Support::KeptValues(profile.Store()), store);

    Run(BaseConfiguration);
    ExpectEverythingBack();
    EXPECT_EQ(LinesWith("values came back from an earlier run"), 2u);
}

TEST_F(EarlierVersionFiles, OnlyTheEarlierVersionsOwnFilesAreTakenAndAnUnreadableOneIsToldOfAndStays)
{
    WriteEarlierFiles();
    // The history counted six runs, the fourth of which wrote the backup.
    std::string history = Support::ReadBytes(History());
    history.replace(history.find("run=\"2\">"), 8,
                    "run=\"6\">\n\t<backup run=\"4\" size=\"0\" modified=\"0\" saved=\"2026-11-24 08:00\" settled=\"1\"/>");
    Support::WriteBytes(History(), history);
    // Each file names a wall of its own, so that what came back tells which were taken.
    struct Case {
        const char* name;
        const char* element;
        std::string bytes;
        bool taken;
        bool told;  // one line says it cannot be read
    };
    const char* const walls[] = {"3F2504E0-4F89-11D3-9A0C-0305E82C3311", "3F2504E0-4F89-11D3-9A0C-0305E82C3312",
                                 "3F2504E0-4F89-11D3-9A0C-0305E82C3313", "3F2504E0-4F89-11D3-9A0C-0305E82C3314",
                                 "3F2504E0-4F89-11D3-9A0C-0305E82C3315", "3F2504E0-4F89-11D3-9A0C-0305E82C3316",
                                 "3F2504E0-4F89-11D3-9A0C-0305E82C3317", "3F2504E0-4F89-11D3-9A0C-0305E82C3318",
                                 "3F2504E0-4F89-11D3-9A0C-0305E82C3319"};
    const auto kept = [](const std::string& root, const char* wall) {
        return KeptFile(root, Entry(wall, Value("SGPset_Wall-LayerCount", "Integer", "7")));
    };
    const Case cases[] = {
        {"IFC_SG_Properties.5.xml", walls[0], kept(" run=\"5\" saved=\"2026-11-25 08:00\"", walls[0]), true, false},
        {"IFC_SG_Properties.6.xml", walls[1], kept(" run=\"6\" saved=\"2026-11-26 08:00\"", walls[1]), true, false},
        // A copy of the backup the earlier version kept of a run it counted, without a run on it.
        {"IFC_SG_Properties.4.xml", walls[8], kept("", walls[8]), true, false},
        // A user's copy of a backup, without a run, or of another run than its name says.
        {"IFC_SG_Properties.20261201.xml", walls[2], kept("", walls[2]), false, false},
        {"IFC_SG_Properties.7.xml", walls[3], kept(" run=\"9\" saved=\"2026-11-27 08:00\"", walls[3]), false, false},
        // Names the earlier version never gave its files.
        {"IFC_SG_Properties.x.xml", walls[4], kept(" run=\"1\" saved=\"2026-11-27 08:00\"", walls[4]), false, false},
        {"IFC_SG_Properties.1234567890.xml", walls[5], kept(" run=\"1234567890\" saved=\"2026-11-27 08:00\"", walls[5]),
         false, false},
        // The earlier version's, but not readable.
        {"IFC_SG_Properties.8.xml", walls[6], "<project run=\"8\"><element guid=\"" + std::string(walls[6]) + "\">", false, true},
        {"IFC_SG_Properties.9.xml", walls[7], "", false, true},
    };
    for (const Case& row : cases) {
        AddElement(row.element, "IfcWall");
        Support::WriteBytes(profile.Documents() / row.name, row.bytes);
    }

    Run(BaseConfiguration);
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const TestHost::Value* layers = ValueOf(Guid(row.element), "SGPset_Wall", "LayerCount");
        EXPECT_EQ(layers != nullptr && *layers == MakeIntegerValue(7), row.taken);
        const fs::path path = profile.Documents() / row.name;
        EXPECT_EQ(fs::exists(path), !row.taken);
        if (!row.taken) {
            EXPECT_EQ(Support::ReadBytes(path), row.bytes);
        }
        EXPECT_EQ(LinesWith("The file \"" + path.string() + "\" that an earlier version of the add-on kept could not be read ("),
                  row.told ? 1u : 0u);
    }
    // The copy of the backup came back with the time the history recorded for it.
    EXPECT_EQ(LinesWith("1 value came back from an earlier run, saved 2026-11-24 08:00"), 1u)
        << ::testing::PrintToString(ReportTexts());
    // The files that could be read are taken all the same.
    ExpectEverythingBack();
    EXPECT_EQ(fs::exists(History()), false);
}

TEST_F(EarlierVersionFiles, ADamagedHistoryIsSetAsideOnceAndTheRunsItNamedStillComeIn)
{
    WriteEarlierFiles();
    Support::WriteBytes(History(), "<history run=\"2\"><expressions group=\"SGPset_Door\"");
    Run(BaseConfiguration);
    EXPECT_EQ(LinesWith("The file \"" + History().string() + "\" that an earlier version of the add-on kept could not be read "
                        "(it is no history of runs)"),
              1u);
    EXPECT_EQ(DocumentNames(), (std::vector<std::string>{"IFC_SG_Properties.1.in-store.xml",
                                                          "IFC_SG_Properties.2.in-store.xml",
                                                          "IFC_SG_Properties.history.unreadable.xml",
                                                          "IFC_SG_Properties.xml"}));
    // The kept files named their runs: their values came back; the history's list did not.
    ASSERT_NE(ValueOf(door, "SGPset_Door", "FireExit"), nullptr);
    EXPECT_EQ(*ValueOf(door, "SGPset_Door", "FireExit"), MakeBooleanValue(true));
    EXPECT_EQ(Support::KeptListCount(profile.Store()), 0u);

    // Told once: the damaged file is out of the way of the next run.
    Run(BaseConfiguration);
    EXPECT_EQ(LinesWith("that an earlier version of the add-on kept"), 0u);
}

TEST_F(EarlierVersionFiles, AHistoryNestedDeeperThanAnyIsSetAsideUnparsed)
{
    // Deep enough to use up the parser's stack were it followed.
    WriteEarlierFiles();
    std::string nested = "<history run=\"2\">";
    for (int level = 0; level < 200000; ++level)
        nested += "<backup>";
    Support::WriteBytes(History(), nested);
    Run(BaseConfiguration);
    EXPECT_EQ(LinesWith("The file \"" + History().string() + "\" that an earlier version of the add-on kept could not be read "
                        "(it is no history of runs)"),
              1u);
    const std::vector<std::string> names = DocumentNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "IFC_SG_Properties.history.unreadable.xml"), 1);
}

TEST_F(EarlierVersionFiles, TakenTwiceBecauseTheyCouldNotBeRenamedTheyAreKeptOnce)
{
    WriteEarlierFiles();
    const std::string history = Support::ReadBytes(History()), first = Support::ReadBytes(Kept(1)),
                      second = Support::ReadBytes(Kept(2));
    Run(Partial);
    const std::vector<std::string> report = ReportTexts();
    const std::vector<std::string> store = Support::KeptValues(profile.Store());
    ASSERT_EQ(store.size(), 4u);

    // As if the renames had failed: the same files are there for the next run.
    for (const auto& [path, bytes] : {std::pair{History(), history}, std::pair{Kept(1), first}, std::pair{Kept(2), second}})
        Support::WriteBytes(path, bytes);
    Run(Partial);
    EXPECT_EQ(ReportTexts(), report);
    EXPECT_EQ(Support::KeptValues(profile.Store()), store);
    EXPECT_EQ(Support::KeptListCount(profile.Store()), 1u);

    Run(BaseConfiguration);
    ExpectEverythingBack();
    EXPECT_EQ(LinesWith("values came back from an earlier run"), 2u) << ::testing::PrintToString(ReportTexts());
    EXPECT_EQ(LinesWith("no longer wait"), 0u);
}

TEST_F(EarlierVersionFiles, ABackupTheHistoryRecordsAsNotSettledIsTakenInAndStays)
{
    // The earlier version's run 3 saved the door's values in the backup file and ended before it
    // brought them back; the history recorded the file as it left it.
    WriteEarlierFiles();
    Support::WriteBytes(Kept(1), KeptFile(" run=\"1\" saved=\"2026-11-02 09:30\"", ""));
    const std::string backup = KeptFile("", Entry(DoorGuid, Value("SGPset_Door-FireExit", "Boolean", "1") +
                                                                Value("SGPset_Door-ClearWidth", "Real", "0.850000")));
    Support::WriteBytes(profile.BackupFile(), backup);
    const auto stamp = [this](bool settled) {
        const auto modified = fs::last_write_time(profile.BackupFile()).time_since_epoch().count();
        return "\t<backup run=\"3\" size=\"" + std::to_string(fs::file_size(profile.BackupFile())) + "\" modified=\"" +
               std::to_string(modified) + "\" saved=\"2026-11-30 11:00\" settled=\"" + (settled ? "1" : "0") + "\"/>\n";
    };
    const std::string list = "\t<expressions group=\"SGPset_Door\" property=\"ClearWidth\" run=\"1\" saved=\"2026-11-02 09:30\">\n"
                             "\t\t<expression>{Door.Width} - 0.1</expression>\n\t</expressions>\n";
    Support::WriteBytes(History(), std::string(Declaration) + "<history run=\"3\">\n" + stamp(false) + list + "</history>\n");

    Run(BaseConfiguration);
    ExpectEverythingBack();
    EXPECT_EQ(LinesWith("2 values came back from an earlier run, saved 2026-11-30 11:00"), 1u)
        << ::testing::PrintToString(ReportTexts());
    // The backup file is this run's now; the earlier one's values are in the store, not set aside.
    EXPECT_EQ(DocumentNames(), (std::vector<std::string>{"IFC_SG_Properties.1.in-store.xml",
                                                          "IFC_SG_Properties.2.in-store.xml",
                                                          "IFC_SG_Properties.history.in-store.xml",
                                                          "IFC_SG_Properties.xml"}));
}

TEST_F(EarlierVersionFiles, ASettledOrChangedBackupIsNotTakenIn)
{
    // Settled, or written again since the history recorded it: its values are no earlier run's.
    for (const bool settled : {true, false}) {
        SCOPED_TRACE(settled ? "settled" : "changed since");
        const std::string backup = KeptFile("", Entry(DoorGuid, Value("SGPset_Door-FireExit", "Boolean", "1")));
        Support::WriteBytes(profile.BackupFile(), backup);
        const std::uintmax_t size = fs::file_size(profile.BackupFile()) + (settled ? 0 : 1);
        const auto modified = fs::last_write_time(profile.BackupFile()).time_since_epoch().count();
        Support::WriteBytes(History(), std::string(Declaration) + "<history run=\"3\">\n\t<backup run=\"3\" size=\"" +
                                           std::to_string(size) + "\" modified=\"" + std::to_string(modified) +
                                           "\" saved=\"2026-11-30 11:00\" settled=\"" + (settled ? "1" : "0") +
                                           "\"/>\n</history>\n");
        Run(Partial);
        EXPECT_EQ(Support::KeptValueCount(profile.Store()), 0u);
        EXPECT_FALSE(fs::exists(History()));
    }
}
