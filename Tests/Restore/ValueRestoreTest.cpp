// The restore of element values from a backup: the conversions the saved type asks for, repeated
// values and entries, stray content, nothing to restore from, and names that only the key
// attribute can carry.
#include "AddOnFixture.hpp"

#include "BackupFile/ValueBackupFile.hpp"
#include "BackupFile/ValueBackupWriter.hpp"
#include "Renames/RenameTableReader.hpp"
#include "Restore/ValueRestore.hpp"

using namespace AddOnTesting;

class ValueRestore : public AddOnTest {
protected:
    void SetUp() override
    {
        AddOnTest::SetUp();
        LoadConfiguration();
        wall = AddElement(WallGuid, "IfcWall");
    }

    // Restores the values of the backup file's text `backup` as the run's own; answers whether the
    // run may end with its completion alert.
    bool RestoreFrom(const std::string& backup)
    {
        run = UpdateRun();
        run.backup = ParseValueBackup(backup).backup;
        if (run.backup)
            run.fates.assign(run.backup->ValueCount(), ValueFate::Pending);
        return RestoreElementValues(run);
    }

    API_Guid wall;
};

TEST_F(ValueRestore, ConversionsFollowTheSavedType)
{
    EXPECT_TRUE(RestoreFrom(BackupWithWallValues(
        "\t\t<SGPset_Wall-IsExternal valType=\"Boolean\" MType=\"Default\">true</SGPset_Wall-IsExternal>\n"
        "\t\t<SGPset_Wall-Thickness valType=\"Real\" MType=\"Length\">2.500000</SGPset_Wall-Thickness>\n"
        "\t\t<SGPset_Wall-LayerCount valType=\"Integer\" MType=\"Default\">-2147483648</SGPset_Wall-LayerCount>\n"
        "\t\t<SGPset_Wall-FireRating valType=\"String\" MType=\"Default\">A &amp; B &lt;&gt; \xE5\xBB\xBA</SGPset_Wall-FireRating>\n")));
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "IsExternal"), MakeBooleanValue(false));
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "Thickness"), MakeRealValue(2.5));
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "LayerCount"), MakeIntegerValue(-2147483647 - 1));
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "FireRating"), MakeStringValue("A & B <> \xE5\xBB\xBA"));
    EXPECT_TRUE(host.ReportLines().empty());

    // Only the exact text 1 is true; unreadable numbers give 0; a value of no type ("Undefined", an
    // unknown or a missing "valType") is never written as a number or a text: the property keeps
    // what it had.
    RestoreFrom(BackupWithWallValues(
        "\t\t<SGPset_Wall-IsExternal valType=\"Boolean\" MType=\"Default\"> 1</SGPset_Wall-IsExternal>\n"
        "\t\t<SGPset_Wall-Thickness valType=\"Real\" MType=\"Length\">thick</SGPset_Wall-Thickness>\n"
        "\t\t<SGPset_Wall-LayerCount valType=\"Integer\" MType=\"Default\"> 12</SGPset_Wall-LayerCount>\n"
        "\t\t<SGPset_Wall-FireRating valType=\"Undefined\" MType=\"Default\"/>\n"));
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "IsExternal"), MakeBooleanValue(false));
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "Thickness"), MakeRealValue(0.0));
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "LayerCount"), MakeIntegerValue(0));
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "FireRating"), MakeStringValue("A & B <> \xE5\xBB\xBA"));

    RestoreFrom(BackupWithWallValues(
        "\t\t<SGPset_Wall-IsExternal valType=\"Boolean\" MType=\"Default\">1</SGPset_Wall-IsExternal>\n"
        "\t\t<SGPset_Wall-LayerCount MType=\"Default\">5</SGPset_Wall-LayerCount>\n"
        "\t\t<SGPset_Wall-Thickness valType=\"real\">3.0</SGPset_Wall-Thickness>\n"));
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "IsExternal"), MakeBooleanValue(true));
    EXPECT_EQ(host.CallCount("HostWriteElementPropertyValue"), 4u + 3u + 1u);  // the value of no type went nowhere
}

TEST_F(ValueRestore, RepeatedValuesAndEntriesAreWrittenInTurn)
{
    const std::string entry2 = std::string("\t<element guid=\"") + WallGuid + "\">\n"
                               "\t\t<SGPset_Wall-LayerCount valType=\"Integer\">9</SGPset_Wall-LayerCount>\n\t</element>\n";
    std::string backup = BackupWithWallValues(
        "\t\t<SGPset_Wall-LayerCount valType=\"Integer\">1</SGPset_Wall-LayerCount>\n"
        "\t\t<SGPset_Wall-FireRating valType=\"String\">first</SGPset_Wall-FireRating>\n"
        "\t\t<SGPset_Wall-LayerCount valType=\"Integer\">2</SGPset_Wall-LayerCount>\n"
        "\t\t<SGPset_Wall-FireRating valType=\"String\">last</SGPset_Wall-FireRating>\n");
    backup.insert(backup.find("</project>"), entry2);
    RestoreFrom(backup);
    EXPECT_EQ(host.CallCount("HostWriteElementPropertyValue"), 5u);
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "LayerCount"), MakeIntegerValue(9));
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "FireRating"), MakeStringValue("last"));
}

TEST_F(ValueRestore, EntriesWithoutGuidAndStrayNodesAreSkipped)
{
    EXPECT_TRUE(RestoreFrom(
        "<project>\n"
        "\t<element><SGPset_Wall-LayerCount valType=\"Integer\">1</SGPset_Wall-LayerCount></element>\n"
        "\tstray text\n"
        "\t<element guid=\"not a guid\"><SGPset_Wall-LayerCount valType=\"Integer\">2</SGPset_Wall-LayerCount></element>\n"
        "\t<other guid=\"" + std::string(WallGuid) + "\"><SGPset_Wall-LayerCount valType=\"Integer\">3</SGPset_Wall-LayerCount></other>\n"
        "</project>\n"));
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "LayerCount"), MakeIntegerValue(3));
    EXPECT_TRUE(host.ReportLines().empty());
}

TEST_F(ValueRestore, WithNothingToRestoreFromNoAlertIsShown)
{
    // No values of its own (the project held no owned group) and no store to take kept ones from.
    run = UpdateRun();
    EXPECT_FALSE(RestoreElementValues(run));
    EXPECT_EQ(host.CallCount("HostListElementPropertyDefinitions"), 0u);
    EXPECT_TRUE(host.ReportLines().empty());
}

TEST_F(ValueRestore, UnsafeNamesComeBackThroughTheKeyAttribute)
{
    AddGroupWithDefinition("SGPset_Wall Extra", "Fire <Rating> & \"x\"", API_PropertyStringValueType);
    SetValue(wall, "SGPset_Wall Extra", "Fire <Rating> & \"x\"", MakeStringValue("EI 30"));
    SetValue(wall, "SGPset_Wall", "LayerCount", MakeIntegerValue(4));

    BackupElementValues(run);
    ASSERT_EQ(Model().RemoveGroup(GroupGuid("SGPset_Wall Extra")), 0);
    ASSERT_EQ(Model().ResetElementValue(wall, Definition("SGPset_Wall", "LayerCount").guid), 0);
    AddGroupWithDefinition("SGPset_Wall Extra", "Fire <Rating> & \"x\"", API_PropertyStringValueType);
    RestoreElementValues(run);

    EXPECT_TRUE(host.ReportLines().empty());
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall Extra", "Fire <Rating> & \"x\""), MakeStringValue("EI 30"));
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "LayerCount"), MakeIntegerValue(4));
}

// A kept value saved under an earlier name of a property comes back where the run saved no value
// of the property under any of its names, though it saved one under that earlier name for another
// element.
TEST_F(ValueRestore, KeptValueUnderAnEarlierNameComesBackWhereTheRunSavedNoneOfItsNames)
{
    const char* const otherGuid = "3F2504E0-4F89-11D3-9A0C-0305E82C3309";
    const API_Guid other = AddElement(otherGuid, "IfcWall");
    std::string backup = BackupWithWallValues("\t\t<SGPset_Wall-LayerCount valType=\"Integer\">4</SGPset_Wall-LayerCount>\n");
    backup.insert(backup.find("</project>"), std::string("\t<element guid=\"") + otherGuid +
                                                 "\">\n\t\t<SGPset_Wall-Rating valType=\"String\">EI 30</SGPset_Wall-Rating>\n\t</element>\n");
    run = UpdateRun();
    run.renames = ParseRenameTable(R"(<renames><property group="SGPset_Wall" from="Rating" to="FireRating"/></renames>)").table;
    run.backup = ParseValueBackup(backup).backup;
    run.fates.assign(run.backup->ValueCount(), ValueFate::Pending);
    run.kept.values =
        std::move(*ParseValueBackup(BackupWithWallValues("\t\t<SGPset_Wall-Rating valType=\"String\">REI 90</SGPset_Wall-Rating>\n")).backup);
    run.kept.records.assign(1, KeptRecord{1, ValueFate::NotDefined, false});
    run.kept.fates.assign(1, ValueFate::Pending);
    run.kept.left[wall] = std::nullopt;  // what that run left is not known: an empty property is as left

    EXPECT_TRUE(RestoreElementValues(run));
    EXPECT_EQ(run.kept.fates[0], ValueFate::BroughtBack);
    EXPECT_EQ(*ValueOf(wall, "SGPset_Wall", "FireRating"), MakeStringValue("REI 90"));
    EXPECT_EQ(*ValueOf(other, "SGPset_Wall", "FireRating"), MakeStringValue("EI 30"));
    EXPECT_EQ(run.fates, (std::vector<ValueFate>{ValueFate::BroughtBack, ValueFate::BroughtBack}));
}
