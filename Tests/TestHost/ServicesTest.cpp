// The host's services as the module calls them through the service table: the table itself, what
// each service does with its records, the contract checks on the module's calls, and the clock
// that times them.
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HostErrors.hpp"
#include "HostFixture.hpp"
#include "Services.hpp"

// The fixture bears the unit's name, as TestHost::Services does, so the test host's names are taken
// one by one rather than by a using-directive, which would make "Services" ambiguous.
namespace HostError = TestHost::HostError;
using TestHost::GuidToText;
using TestHost::Host;
using TestHost::MakeBooleanValue;
using TestHost::MakeIntegerValue;
using TestHost::MakeRealValue;
using TestHost::Project;
using TestHost::PropertyDefinition;
using TestHost::ServiceClock;
using TestHost::ToUtf8;

namespace {

std::vector<std::string> NamesOf(const GS::Array<API_PropertyDefinition>& definitions)
{
    std::vector<std::string> names;
    for (const API_PropertyDefinition& definition : definitions)
        names.push_back(ToUtf8(definition.name));
    return names;
}

GSErrCode lastHandlerResult = NoError;
MenuCommandParams lastParams;

GSErrCode RecordingHandler(const MenuCommandParams* params)
{
    lastParams = *params;
    return lastHandlerResult;
}

}  // namespace

// A host with the sample project; the services' contract checks are on. ExpectBroken checks a call
// that breaks the contract against the project as it was when the test began.
class Services : public ::testing::Test {
protected:
    // Expects `code`, one new debug line naming the service and `detail`, and no change to the project.
    void ExpectBroken(GSErrCode result, GSErrCode code, const char* service, const std::string& detail)
    {
        EXPECT_EQ(result, code) << HostError::ErrorName(result);
        ASSERT_EQ(host.DebugLines().size(), linesSeen + 1) << service << ": " << detail;
        const std::string& line = host.DebugLines().back();
        EXPECT_EQ(line.rfind(std::string("Test host: ") + service + " called with ", 0), 0u) << line;
        EXPECT_NE(line.find(detail), std::string::npos) << line;
        EXPECT_EQ(line.back(), '\n');
        EXPECT_EQ(Snapshot(host.GetProject()), before);
        linesSeen = host.DebugLines().size();
    }

    // The record the module writes: the definition as listed for the element, status 0, a fresh
    // value of the definition's type, the default flag false.
    ElementPropertyRecord ModuleRecord(const API_Guid& element, const API_Guid& definition)
    {
        GS::Array<API_PropertyDefinition> listed;
        EXPECT_EQ(CALL_SERVICE(host, HostListElementPropertyDefinitions, &element, 0, &listed), NoError);
        ElementPropertyRecord record;
        for (const API_PropertyDefinition& candidate : listed)
            if (candidate.guid == definition)
                record.definition = candidate;
        record.status = 0;
        record.value.typeCode = record.definition.valueType;
        record.isDefault = false;
        return record;
    }

    Host host;
    SampleProject sample{host.GetProject()};
    std::string before = Snapshot(host.GetProject());
    std::size_t linesSeen = 0;
};

TEST_F(Services, TableHoldsTheSixteenServicesAndNothingElse)
{
    const API_ServiceEntry* table = host.ServiceTable();
    std::size_t present = 0;
    for (UInt32 i = 0; i < HostServiceTableSize; ++i)
        present += table[i] != nullptr ? 1 : 0;
    EXPECT_EQ(present, 16u);
    EXPECT_EQ(table[ServiceIndex::HostAddMenu], reinterpret_cast<API_ServiceEntry>(&TestHost::Services::HostAddMenu));
    EXPECT_EQ(table[ServiceIndex::HostImportClassificationXml],
              reinterpret_cast<API_ServiceEntry>(&TestHost::Services::HostImportClassificationXml));
    EXPECT_EQ(table[ServiceIndex::HostRemovePropertyGroup], reinterpret_cast<API_ServiceEntry>(&TestHost::Services::HostRemovePropertyGroup));
    EXPECT_EQ(table[0], nullptr);
    EXPECT_EQ(table[HostServiceTableSize - 1], nullptr);
}

TEST_F(Services, MenusAreRecordedAndChosenItemsReachTheHandler)
{
    API_MenuRequest request;
    request.menuStrResID = 32500;
    request.menuPosCode = 5;
    std::memset(request.reserved, 0xAB, sizeof request.reserved);
    const auto addMenu = reinterpret_cast<ServiceEntry::HostAddMenu>(host.ServiceTable()[ServiceIndex::HostAddMenu]);
    EXPECT_EQ(addMenu(&request), NoError);
    ASSERT_EQ(host.MenuRequests().size(), 1u);
    EXPECT_EQ(std::memcmp(&host.MenuRequests()[0], &request, sizeof request), 0);  // all 32 bytes, as sent

    EXPECT_EQ(host.ChooseMenuItem(32500, 1), HostError::NoMenuHandler);
    EXPECT_EQ(CALL_SERVICE(host, HostSetMenuHandler, Int16{32500}, &RecordingHandler), NoError);
    EXPECT_TRUE(host.HasMenuHandler(32500));
    EXPECT_FALSE(host.HasMenuHandler(32501));
    lastHandlerResult = 77;
    EXPECT_EQ(host.ChooseMenuItem(32500, 2), 77);
    EXPECT_EQ(lastParams.menuResID, 32500);
    EXPECT_EQ(lastParams.itemIndex, 2);
    EXPECT_EQ(CALL_SERVICE(host, HostSetMenuHandler, Int16{32500}, nullptr), HostError::BadParameter);
}

TEST_F(Services, ReportLinesAreFormattedOnlyWithFlagOne)
{
    EXPECT_EQ(SendReport(host, "Classification Import Error: %d", 1, static_cast<int>(0x81060387)), NoError);
    EXPECT_EQ(SendReport(host, "Deleting properties error: %d", 1, 0), NoError);
    EXPECT_EQ(SendReport(host, "%s - %s: %d%%", 1, "SGPset_Wall", "Thickness", 100), NoError);
    // Flag 0: the text as it stands, whatever it contains.
    EXPECT_EQ(SendReport(host, "SGPset_Wall - Width 100% %d %s error while importing property", 0), NoError);
    EXPECT_EQ(SendReport(host, "Ünïcode – SGPset_Space - Name error while importing property", 0), NoError);

    const std::vector<Host::ReportLine> expected = {
        {1, "Classification Import Error: -2130312313"},
        {1, "Deleting properties error: 0"},
        {1, "SGPset_Wall - Thickness: 100%"},
        {0, "SGPset_Wall - Width 100% %d %s error while importing property"},
        {0, "Ünïcode – SGPset_Space - Name error while importing property"},
    };
    EXPECT_EQ(host.ReportLines(), expected);
}

TEST_F(Services, UndoableCommandsRunOnceAndFailedOnesAreRolledBack)
{
    const std::string before = Snapshot(host.GetProject());
    int runs = 0;
    const GSErrCode removed = RunCommand(host, "Delete Property Groups", [&]() {
        ++runs;
        return CALL_SERVICE(host, HostRemovePropertyGroup, &sample.doorGroup);
    });
    EXPECT_EQ(removed, NoError);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(host.GetProject().FindGroup(sample.doorGroup), nullptr);

    // The callable's code comes back unchanged; what it did is taken back.
    const GSErrCode failed = RunCommand(host, "Delete Property Groups", [&]() -> GSErrCode {
        CALL_SERVICE(host, HostRemovePropertyGroup, &sample.wallGroup);
        return 1234;
    });
    EXPECT_EQ(failed, 1234);
    EXPECT_NE(host.GetProject().FindGroup(sample.wallGroup), nullptr);

    // A nested command is part of the outer step.
    const GSErrCode nested = RunCommand(host, "Import Properties", [&]() {
        return RunCommand(host, "Import Expressions", [&]() {
            return CALL_SERVICE(host, HostRemovePropertyGroup, &sample.commonGroup);
        });
    });
    EXPECT_EQ(nested, NoError);

    EXPECT_EQ(host.StepNames(), (std::vector<std::string>{"Delete Property Groups", "Import Properties"}));
    ASSERT_EQ(host.Commands().size(), 4u);
    EXPECT_EQ(host.Commands()[1].result, 1234);
    EXPECT_EQ(host.Commands()[2].name, "Import Properties");
    EXPECT_FALSE(host.Commands()[2].nested);
    EXPECT_EQ(host.Commands()[3].name, "Import Expressions");
    EXPECT_TRUE(host.Commands()[3].nested);

    EXPECT_EQ(host.Undo(2), 2u);
    EXPECT_EQ(Snapshot(host.GetProject()), before);

    const GS::UniString name("Empty");
    API_CommandCallable noInvoke;
    EXPECT_EQ(CALL_SERVICE(host, HostRunUndoableCommand, &name, &noInvoke), HostError::BadParameter);
    EXPECT_EQ(CALL_SERVICE(host, HostRunUndoableCommand, &name, nullptr), HostError::BadParameter);
}

TEST_F(Services, ElementsAreListedInHostOrderIntoAClearedArray)
{
    GS::Array<API_Guid> elements;
    elements.Push(API_Guid{9, 9, 9, {}});
    const API_ElemType selector;
    EXPECT_EQ(CALL_SERVICE(host, HostListElements, &selector, &elements, 0, &APINULLGuid), NoError);
    ASSERT_EQ(elements.GetSize(), 3u);
    EXPECT_EQ(elements[0], sample.wall1);
    EXPECT_EQ(elements[1], sample.wall2);
    EXPECT_EQ(elements[2], sample.door);
    EXPECT_EQ(CALL_SERVICE(host, HostListElements, &selector, nullptr, 0, &APINULLGuid), HostError::BadParameter);
}

TEST_F(Services, ElementDefinitionsFollowTheClassificationWithFullRecords)
{
    Project& project = host.GetProject();
    PropertyDefinition withExpressions = *project.FindDefinition(sample.thickness);
    withExpressions.expressions = {"{Property:Pset_WallCommon/Width} / 2", "0.2"};
    withExpressions.expressionFlag = 1;
    ASSERT_EQ(project.UpdateDefinition(withExpressions), NoError);

    GS::Array<API_PropertyDefinition> definitions;
    definitions.Emplace();
    ASSERT_EQ(CALL_SERVICE(host, HostListElementPropertyDefinitions, &sample.wall1, 0, &definitions), NoError);
    EXPECT_EQ(NamesOf(definitions),
              (std::vector<std::string>{"FireResistancePeriod", "Thickness", "IsExternal", "AcousticRating"}));
    const API_PropertyDefinition& thickness = definitions[1];
    EXPECT_EQ(thickness.guid, sample.thickness);
    EXPECT_EQ(thickness.groupGuid, sample.wallGroup);
    EXPECT_EQ(thickness.kind, API_PropertyCustomDefinitionKind);
    EXPECT_EQ(thickness.valueType, API_PropertyRealValueType);
    EXPECT_EQ(thickness.measureType, API_PropertyLengthMeasureType);
    EXPECT_EQ(thickness.defaultValue.typeCode, API_PropertyRealValueType);
    EXPECT_EQ(thickness.defaultValue.realValue, 0.2);
    EXPECT_EQ(thickness.defaultValue.variantStatus, API_VariantStatusNormal);
    ASSERT_EQ(thickness.expressions.GetSize(), 2u);
    EXPECT_EQ(ToUtf8(thickness.expressions[0]), "{Property:Pset_WallCommon/Width} / 2");
    EXPECT_EQ(thickness.expressionFlag, 1);
    ASSERT_EQ(thickness.availability.GetSize(), 1u);
    EXPECT_EQ(thickness.availability[0], sample.wallItem);

    ASSERT_EQ(CALL_SERVICE(host, HostListElementPropertyDefinitions, &sample.door, 0, &definitions), NoError);
    EXPECT_EQ(NamesOf(definitions), (std::vector<std::string>{"ClearWidth", "FireExit"}));

    const API_Guid proxy = project.AddElement("P-1", "IfcBuildingElementProxy", APINULLGuid);
    ASSERT_EQ(CALL_SERVICE(host, HostListElementPropertyDefinitions, &proxy, 0, &definitions), NoError);
    EXPECT_EQ(definitions.GetSize(), 0u);
    EXPECT_EQ(CALL_SERVICE(host, HostListElementPropertyDefinitions, &sample.wallGroup, 0, &definitions), HostError::BadId);
}

TEST_F(Services, ReadingGivesOwnValuesOrDefaultsWithTheirFlags)
{
    ElementPropertyRecord own;
    ASSERT_EQ(CALL_SERVICE(host, HostReadElementPropertyValue, &sample.wall1, &sample.thickness, &own), NoError);
    EXPECT_EQ(own.status, API_VariantStatusNormal);
    EXPECT_FALSE(own.isDefault);
    EXPECT_EQ(own.value.typeCode, API_PropertyRealValueType);
    EXPECT_EQ(own.value.realValue, 0.25);
    EXPECT_EQ(own.definition.guid, sample.thickness);
    EXPECT_EQ(ToUtf8(own.definition.name), "Thickness");

    ElementPropertyRecord fallback;
    ASSERT_EQ(CALL_SERVICE(host, HostReadElementPropertyValue, &sample.wall2, &sample.fireResistance, &fallback), NoError);
    EXPECT_EQ(fallback.status, API_VariantStatusNormal);
    EXPECT_TRUE(fallback.isDefault);
    EXPECT_EQ(fallback.value.typeCode, API_PropertyIntegerValueType);
    EXPECT_EQ(fallback.value.intValue, 60);

    ElementPropertyRecord text;
    ASSERT_EQ(CALL_SERVICE(host, HostReadElementPropertyValue, &sample.wall1, &sample.acousticRating, &text), NoError);
    EXPECT_EQ(ToUtf8(text.value.stringValue), "Rw 52");

    ElementPropertyRecord untouched;
    EXPECT_EQ(CALL_SERVICE(host, HostReadElementPropertyValue, &sample.door, &sample.thickness, &untouched),
              HostError::NotApplicable);
    EXPECT_EQ(CALL_SERVICE(host, HostReadElementPropertyValue, &sample.thickness, &sample.thickness, &untouched),
              HostError::BadId);
    EXPECT_EQ(CALL_SERVICE(host, HostReadElementPropertyValue, &sample.wall1, &sample.wall1, &untouched), HostError::BadId);
    EXPECT_EQ(untouched.status, 0);
    EXPECT_TRUE(untouched.isDefault);
}

TEST_F(Services, WritingTakesTheFieldOfTheDefinitionsTypeAndCanReset)
{
    Project& project = host.GetProject();
    ElementPropertyRecord record;
    ASSERT_EQ(CALL_SERVICE(host, HostReadElementPropertyValue, &sample.wall2, &sample.fireResistance, &record), NoError);
    record.status = 0;
    record.isDefault = false;
    record.value.intValue = 90;
    record.value.realValue = 1.5;  // not an Integer's field: ignored
    record.value.stringValue = "ninety";
    ASSERT_EQ(CALL_SERVICE(host, HostWriteElementPropertyValue, &sample.wall2, &record), NoError);
    EXPECT_EQ(*project.FindElementValue(sample.wall2, sample.fireResistance), MakeIntegerValue(90));

    // Beyond the contract, which the module keeps (a full definition copy, status 0, the
    // definition's type code, the default flag false): the definition in the project decides, not
    // the record's type codes, and the default flag true resets the value to the default.
    host.SetContractChecks(false);
    ElementPropertyRecord loose;
    loose.definition.guid = sample.isExternal;
    loose.definition.valueType = API_PropertyStringValueType;
    loose.value.typeCode = API_PropertyStringValueType;
    loose.value.boolValue = true;
    loose.isDefault = false;
    ASSERT_EQ(CALL_SERVICE(host, HostWriteElementPropertyValue, &sample.wall2, &loose), NoError);
    EXPECT_EQ(*project.FindElementValue(sample.wall2, sample.isExternal), MakeBooleanValue(true));

    // isDefault true: back to the default.
    loose.isDefault = true;
    ASSERT_EQ(CALL_SERVICE(host, HostWriteElementPropertyValue, &sample.wall2, &loose), NoError);
    EXPECT_EQ(project.FindElementValue(sample.wall2, sample.isExternal), nullptr);

    const std::string before = Snapshot(project);
    loose.isDefault = false;
    EXPECT_EQ(CALL_SERVICE(host, HostWriteElementPropertyValue, &sample.door, &loose), HostError::NotApplicable);
    EXPECT_EQ(CALL_SERVICE(host, HostWriteElementPropertyValue, &sample.doorItem, &loose), HostError::BadId);
    loose.definition.guid = sample.doorGroup;
    EXPECT_EQ(CALL_SERVICE(host, HostWriteElementPropertyValue, &sample.wall2, &loose), HostError::BadId);
    EXPECT_EQ(Snapshot(project), before);
    // Written outside any command: nothing to undo.
    EXPECT_EQ(host.History().StepCount(), 0u);
}

TEST_F(Services, GroupsAndDefinitionsAreListedAndGroupsRead)
{
    GS::Array<API_PropertyGroup> groups;
    groups.Emplace();
    ASSERT_EQ(CALL_SERVICE(host, HostListPropertyGroups, &groups), NoError);
    ASSERT_EQ(groups.GetSize(), 3u);
    EXPECT_EQ(ToUtf8(groups[0].name), "SGPset_Wall");
    EXPECT_EQ(ToUtf8(groups[0].description), "Wall data checked by the agencies");
    EXPECT_EQ(groups[1].guid, sample.doorGroup);
    EXPECT_EQ(ToUtf8(groups[2].name), "Pset_WallCommon");

    GS::Array<API_PropertyDefinition> definitions;
    ASSERT_EQ(CALL_SERVICE(host, HostListPropertyDefinitions, &APINULLGuid, &definitions), NoError);
    EXPECT_EQ(NamesOf(definitions), (std::vector<std::string>{"FireResistancePeriod", "Thickness", "IsExternal",
                                                              "ClearWidth", "FireExit", "AcousticRating"}));
    ASSERT_EQ(CALL_SERVICE(host, HostListPropertyDefinitions, &sample.doorGroup, &definitions), NoError);
    EXPECT_EQ(NamesOf(definitions), (std::vector<std::string>{"ClearWidth", "FireExit"}));
    EXPECT_EQ(CALL_SERVICE(host, HostListPropertyDefinitions, &sample.thickness, &definitions), HostError::BadId);

    API_PropertyGroup group;
    group.guid = sample.commonGroup;
    ASSERT_EQ(CALL_SERVICE(host, HostReadPropertyGroup, &group), NoError);
    EXPECT_EQ(ToUtf8(group.name), "Pset_WallCommon");
    EXPECT_EQ(ToUtf8(group.description), "Standard wall set");

    API_PropertyGroup unknown;
    unknown.guid = sample.thickness;
    unknown.kind = 7;
    host.SetContractChecks(false);  // a request the module never makes, to see that nothing is filled in
    EXPECT_EQ(CALL_SERVICE(host, HostReadPropertyGroup, &unknown), HostError::BadId);
    EXPECT_EQ(unknown.kind, 7);
    EXPECT_EQ(ToUtf8(unknown.name), "");
    EXPECT_EQ(unknown.guid, sample.thickness);
}

TEST_F(Services, UpdatingADefinitionTakesTheRecordsContent)
{
    GS::Array<API_PropertyDefinition> definitions;
    ASSERT_EQ(CALL_SERVICE(host, HostListPropertyDefinitions, &sample.wallGroup, &definitions), NoError);
    API_PropertyDefinition record = definitions[1];
    record.expressions.Clear();
    record.expressions.Push(GS::UniString("{Property:SGPset_Wall/Length} * 0.1"));
    record.expressionFlag = 1;
    record.description = "Changed";
    record.defaultValue.realValue = 0.35;
    record.availability.Push(sample.doorItem);
    record.groupGuid = sample.doorGroup;
    ASSERT_EQ(CALL_SERVICE(host, HostUpdatePropertyDefinition, &record), NoError);

    const PropertyDefinition& stored = *host.GetProject().FindDefinition(sample.thickness);
    EXPECT_EQ(stored.expressions, std::vector<std::string>{"{Property:SGPset_Wall/Length} * 0.1"});
    EXPECT_EQ(stored.expressionFlag, 1);
    EXPECT_EQ(stored.description, "Changed");
    EXPECT_EQ(stored.defaultValue, MakeRealValue(0.35));
    EXPECT_EQ(stored.group, sample.wallGroup);
    EXPECT_TRUE(host.GetProject().AppliesTo(sample.thickness, sample.door));

    const std::string before = Snapshot(host.GetProject());
    API_PropertyDefinition badMeasure = record;
    badMeasure.measureType = 9;
    EXPECT_EQ(CALL_SERVICE(host, HostUpdatePropertyDefinition, &badMeasure), HostError::BadParameter);
    API_PropertyDefinition badItem = record;
    badItem.availability.Push(sample.wall1);
    EXPECT_EQ(CALL_SERVICE(host, HostUpdatePropertyDefinition, &badItem), HostError::BadParameter);
    API_PropertyDefinition unknown = record;
    unknown.guid = sample.wall1;
    EXPECT_EQ(CALL_SERVICE(host, HostUpdatePropertyDefinition, &unknown), HostError::BadId);
    EXPECT_EQ(CALL_SERVICE(host, HostRemovePropertyGroup, &sample.thickness), HostError::BadId);
    EXPECT_EQ(Snapshot(host.GetProject()), before);
}

TEST_F(Services, ImportsReadTheTextOfTheString)
{
    ASSERT_TRUE(host.ReplaceProject(Project()));
    const GS::UniString text(SampleConfiguration);
    EXPECT_EQ(CALL_SERVICE(host, HostImportPropertyXml, &text, 1), HostError::UnknownItem);  // no items yet
    EXPECT_NE(host.LastImport().message.find("IfcWall"), std::string::npos);
    EXPECT_TRUE(host.GetProject().Groups().empty());
    EXPECT_EQ(CALL_SERVICE(host, HostImportClassificationXml, &text, 0, 0), NoError);
    EXPECT_EQ(CALL_SERVICE(host, HostImportPropertyXml, &text, 1), NoError);
    EXPECT_EQ(host.GetProject().Groups().size(), 3u);

    const GS::UniString empty;
    EXPECT_EQ(CALL_SERVICE(host, HostImportClassificationXml, &empty, 0, 0), HostError::EmptyConfiguration);
    EXPECT_EQ(CALL_SERVICE(host, HostImportPropertyXml, &empty, 1), HostError::EmptyConfiguration);
}

TEST_F(Services, ACallWithAnotherContextIsRefused)
{
    GS::Array<API_PropertyGroup> groups;
    const auto entry = reinterpret_cast<ServiceEntry::HostListPropertyGroups>(host.ServiceTable()[ServiceIndex::HostListPropertyGroups]);
    EXPECT_EQ(entry(nullptr, &groups), HostError::BadParameter);
    EXPECT_EQ(entry(reinterpret_cast<API_HostContext*>(&groups), &groups), HostError::BadParameter);
    EXPECT_EQ(groups.GetSize(), 0u);
    EXPECT_EQ(host.CallCount("HostListPropertyGroups"), 0u);
}

// The services check what the host's contract fixes for the module's calls: each wrong constant
// gets its own code and a debug line, and the project stays as it was.
TEST_F(Services, ImportsTakeOnlyTheContractsOptions)
{
    const GS::UniString text(SampleConfiguration);
    ExpectBroken(CALL_SERVICE(host, HostImportClassificationXml, &text, 1, 0), HostError::UnexpectedImportOption,
                 "HostImportClassificationXml", "the options 1, 0, but the contract fixes 0, 0");
    ExpectBroken(CALL_SERVICE(host, HostImportClassificationXml, &text, 0, -1), HostError::UnexpectedImportOption,
                 "HostImportClassificationXml", "the options 0, -1");
    ExpectBroken(CALL_SERVICE(host, HostImportPropertyXml, &text, 0), HostError::UnexpectedImportOption,
                 "HostImportPropertyXml", "the options 0, but the contract fixes 1");
    ExpectBroken(CALL_SERVICE(host, HostImportPropertyXml, &text, 2), HostError::UnexpectedImportOption,
                 "HostImportPropertyXml", "the options 2");
    // A null text is still a bad parameter, not a broken contract.
    EXPECT_EQ(CALL_SERVICE(host, HostImportPropertyXml, nullptr, 0), HostError::BadParameter);

    EXPECT_EQ(CALL_SERVICE(host, HostImportClassificationXml, &text, 0, 0), NoError);
    EXPECT_EQ(CALL_SERVICE(host, HostImportPropertyXml, &text, 1), NoError);
    EXPECT_EQ(host.DebugLines().size(), linesSeen);
}

TEST_F(Services, ElementListingsTakeTheZeroSelectorFilterAndTheNilParent)
{
    GS::Array<API_Guid> elements;
    elements.Push(sample.wallItem);  // a refused call leaves the array as it was
    const API_ElemType everyType;
    API_ElemType walls;
    walls.typeID = 1;
    ExpectBroken(CALL_SERVICE(host, HostListElements, &walls, &elements, 0, &APINULLGuid),
                 HostError::UnexpectedElementSelector, "HostListElements", "the type selector 1/0/");
    API_ElemType variation;
    variation.variationID = 3;
    ExpectBroken(CALL_SERVICE(host, HostListElements, &variation, &elements, 0, &APINULLGuid),
                 HostError::UnexpectedElementSelector, "HostListElements", "all 24 bytes zero");
    API_ElemType classified;
    classified.classificationID = sample.wallItem;
    ExpectBroken(CALL_SERVICE(host, HostListElements, &classified, &elements, 0, &APINULLGuid),
                 HostError::UnexpectedElementSelector, "HostListElements", GuidToText(sample.wallItem));
    ExpectBroken(CALL_SERVICE(host, HostListElements, &everyType, &elements, 1, &APINULLGuid),
                 HostError::UnexpectedFilter, "HostListElements", "the filter 1, but the contract fixes 0");
    ExpectBroken(CALL_SERVICE(host, HostListElements, &everyType, &elements, 0, &sample.wall1),
                 HostError::UnexpectedParent, "HostListElements", "the parent " + GuidToText(sample.wall1));
    ASSERT_EQ(elements.GetSize(), 1u);
    EXPECT_EQ(elements[0], sample.wallItem);
    EXPECT_EQ(CALL_SERVICE(host, HostListElements, nullptr, &elements, 0, &APINULLGuid), HostError::BadParameter);
    EXPECT_EQ(CALL_SERVICE(host, HostListElements, &everyType, &elements, 0, nullptr), HostError::BadParameter);
    EXPECT_EQ(CALL_SERVICE(host, HostListElements, &everyType, &elements, 0, &APINULLGuid), NoError);
    EXPECT_EQ(elements.GetSize(), 3u);

    GS::Array<API_PropertyDefinition> definitions;
    ExpectBroken(CALL_SERVICE(host, HostListElementPropertyDefinitions, &sample.wall1, 2, &definitions),
                 HostError::UnexpectedFilter, "HostListElementPropertyDefinitions", "the filter 2");
    EXPECT_EQ(definitions.GetSize(), 0u);
    EXPECT_EQ(CALL_SERVICE(host, HostListElementPropertyDefinitions, &sample.wall1, 0, &definitions), NoError);
    EXPECT_EQ(definitions.GetSize(), 4u);
    EXPECT_EQ(host.DebugLines().size(), linesSeen);
}

TEST_F(Services, GroupRequestsHaveKindTwoAndEmptyTexts)
{
    API_PropertyGroup request;
    request.guid = sample.wallGroup;
    request.kind = 1;
    ExpectBroken(CALL_SERVICE(host, HostReadPropertyGroup, &request), HostError::UnexpectedGroupRequest,
                 "HostReadPropertyGroup", "a request of kind 1, name \"\" and description \"\"");
    EXPECT_EQ(request.kind, 1);  // not filled in
    request.kind = API_PropertyCustomDefinitionKind;
    request.name = "SGPset_Wall";
    ExpectBroken(CALL_SERVICE(host, HostReadPropertyGroup, &request), HostError::UnexpectedGroupRequest,
                 "HostReadPropertyGroup", "name \"SGPset_Wall\"");
    request.name = "";
    request.description = "stale";
    ExpectBroken(CALL_SERVICE(host, HostReadPropertyGroup, &request), HostError::UnexpectedGroupRequest,
                 "HostReadPropertyGroup", "description \"stale\", but the contract fixes kind 2 with empty texts");
    EXPECT_EQ(ToUtf8(request.description), "stale");

    request.description = "";
    ASSERT_EQ(CALL_SERVICE(host, HostReadPropertyGroup, &request), NoError);
    EXPECT_EQ(ToUtf8(request.name), "SGPset_Wall");
    // A second read with the filled record is a request with texts: the module makes a new one each time.
    ExpectBroken(CALL_SERVICE(host, HostReadPropertyGroup, &request), HostError::UnexpectedGroupRequest,
                 "HostReadPropertyGroup", "name \"SGPset_Wall\"");
}

TEST_F(Services, WrittenRecordsCarryTheListedDefinitionStatusZeroItsTypeAndNoDefaultFlag)
{
    // Every field of the definition counts, down to the arrays the module never reads.
    const std::vector<std::pair<std::string, std::function<void(API_PropertyDefinition&)>>> changes = {
        {"kind", [](API_PropertyDefinition& d) { d.kind = 1; }},
        {"groupGuid", [this](API_PropertyDefinition& d) { d.groupGuid = sample.doorGroup; }},
        {"name", [](API_PropertyDefinition& d) { d.name = "thickness"; }},
        {"description", [](API_PropertyDefinition& d) { d.description = " "; }},
        {"collectionType", [](API_PropertyDefinition& d) { d.collectionType = 1; }},
        {"valueType", [](API_PropertyDefinition& d) { d.valueType = API_PropertyStringValueType; }},
        {"measureType", [](API_PropertyDefinition& d) { d.measureType = API_PropertyDefaultMeasureType; }},
        {"defaultValue.realValue", [](API_PropertyDefinition& d) { d.defaultValue.realValue = 0.2000001; }},
        {"defaultValue.intValue", [](API_PropertyDefinition& d) { d.defaultValue.intValue = 1; }},
        {"defaultValue.variantStatus", [](API_PropertyDefinition& d) { d.defaultValue.variantStatus = 0; }},
        {"defaultValue.listValue", [](API_PropertyDefinition& d) { d.defaultValue.listValue.Emplace(); }},
        {"expressions", [](API_PropertyDefinition& d) { d.expressions.Push(GS::UniString("0.3")); }},
        {"expressionFlag", [](API_PropertyDefinition& d) { d.expressionFlag = 1; }},
        {"availability", [this](API_PropertyDefinition& d) { d.availability.Push(sample.doorItem); }},
        {"possibleEnumValues", [](API_PropertyDefinition& d) { d.possibleEnumValues.Emplace(); }},
        {"canValueBeEditable", [](API_PropertyDefinition& d) { d.canValueBeEditable = 1; }},
    };
    for (const auto& [field, change] : changes) {
        ElementPropertyRecord record = ModuleRecord(sample.wall2, sample.thickness);
        change(record.definition);
        ExpectBroken(CALL_SERVICE(host, HostWriteElementPropertyValue, &sample.wall2, &record),
                     HostError::DefinitionNotAsListed, "HostWriteElementPropertyValue",
                     "a definition whose field " + field + " differs from the listed " + GuidToText(sample.thickness));
    }

    // A copy listed before the definition changed is no longer what the host lists.
    ElementPropertyRecord stale = ModuleRecord(sample.wall2, sample.thickness);
    PropertyDefinition updated = *host.GetProject().FindDefinition(sample.thickness);
    updated.expressions = {"{Property:SGPset_Wall/Length} * 0.1"};
    ASSERT_EQ(host.GetProject().UpdateDefinition(updated), NoError);
    before = Snapshot(host.GetProject());
    ExpectBroken(CALL_SERVICE(host, HostWriteElementPropertyValue, &sample.wall2, &stale),
                 HostError::DefinitionNotAsListed, "HostWriteElementPropertyValue", "field expressions");

    ElementPropertyRecord status = ModuleRecord(sample.wall2, sample.thickness);
    status.status = API_VariantStatusNormal;  // what a read gives back
    ExpectBroken(CALL_SERVICE(host, HostWriteElementPropertyValue, &sample.wall2, &status), HostError::UnexpectedStatus,
                 "HostWriteElementPropertyValue", "the status 2, but the contract fixes 0");

    ElementPropertyRecord typed = ModuleRecord(sample.wall2, sample.thickness);
    typed.value.typeCode = API_PropertyIntegerValueType;
    ExpectBroken(CALL_SERVICE(host, HostWriteElementPropertyValue, &sample.wall2, &typed), HostError::ValueTypeMismatch,
                 "HostWriteElementPropertyValue", "a value of type code 1, but the contract fixes the definition's 2");

    ElementPropertyRecord reset = ModuleRecord(sample.wall1, sample.thickness);
    reset.isDefault = true;
    ExpectBroken(CALL_SERVICE(host, HostWriteElementPropertyValue, &sample.wall1, &reset), HostError::DefaultFlagSet,
                 "HostWriteElementPropertyValue", "the default flag set, but the contract fixes false");
    EXPECT_EQ(host.GetProject().FindElementValue(sample.wall1, sample.thickness)->real, 0.25);

    // Unknown GUIDs and inapplicable definitions keep their own codes, before the record is looked at.
    ElementPropertyRecord door = ModuleRecord(sample.door, sample.clearWidth);
    door.status = 5;
    EXPECT_EQ(CALL_SERVICE(host, HostWriteElementPropertyValue, &sample.wall1, &door), HostError::NotApplicable);
    EXPECT_EQ(CALL_SERVICE(host, HostWriteElementPropertyValue, &sample.doorItem, &door), HostError::BadId);
    EXPECT_EQ(host.DebugLines().size(), linesSeen);

    ElementPropertyRecord written = ModuleRecord(sample.wall2, sample.thickness);
    written.value.realValue = 0.3;
    ASSERT_EQ(CALL_SERVICE(host, HostWriteElementPropertyValue, &sample.wall2, &written), NoError);
    EXPECT_EQ(*host.GetProject().FindElementValue(sample.wall2, sample.thickness), MakeRealValue(0.3));
    EXPECT_EQ(host.DebugLines().size(), linesSeen);
}

TEST_F(Services, WithContractChecksOffTheSameCallsAreServed)
{
    host.SetContractChecks(false);
    const API_ElemType walls{1, 2, {}};
    GS::Array<API_Guid> elements;
    EXPECT_EQ(CALL_SERVICE(host, HostListElements, &walls, &elements, 7, &sample.wall1), NoError);
    EXPECT_EQ(elements.GetSize(), 3u);
    API_PropertyGroup request;
    request.guid = sample.doorGroup;
    request.name = "old";
    request.kind = 0;
    EXPECT_EQ(CALL_SERVICE(host, HostReadPropertyGroup, &request), NoError);
    EXPECT_EQ(ToUtf8(request.name), "SGPset_Door");
    ElementPropertyRecord reset = ModuleRecord(sample.wall1, sample.thickness);
    reset.isDefault = true;
    reset.status = 2;
    EXPECT_EQ(CALL_SERVICE(host, HostWriteElementPropertyValue, &sample.wall1, &reset), NoError);
    EXPECT_EQ(host.GetProject().FindElementValue(sample.wall1, sample.thickness), nullptr);
    EXPECT_TRUE(host.DebugLines().empty());
}

TEST_F(Services, ClockTimesServicesWithoutTheModuleCodeTheyRunAndOnlyWhenOn)
{
    ServiceClock& clock = host.Clock();
    GS::Array<API_PropertyGroup> groups;
    ASSERT_EQ(CALL_SERVICE(host, HostListPropertyGroups, &groups), NoError);
    EXPECT_EQ(clock.Calls(ServiceIndex::HostListPropertyGroups), 0u);
    EXPECT_EQ(clock.TotalNanoseconds(), 0u);

    clock.Enable(true);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(CALL_SERVICE(host, HostListPropertyGroups, &groups), NoError);
    EXPECT_EQ(clock.Calls(ServiceIndex::HostListPropertyGroups), 3u);
    EXPECT_GT(clock.Nanoseconds(ServiceIndex::HostListPropertyGroups), 0u);
    EXPECT_EQ(clock.TotalNanoseconds(), clock.Nanoseconds(ServiceIndex::HostListPropertyGroups));

    // The callable's own time is the module's; the service it calls is timed under its entry.
    const UInt64 listed = clock.TotalNanoseconds();
    UInt64 atCallable = 0;
    const auto wait = std::chrono::milliseconds(100);
    ASSERT_EQ(RunCommand(host, "Delete Property Groups", [&]() {
                  atCallable = clock.TotalNanoseconds();
                  const auto until = std::chrono::steady_clock::now() + wait;
                  while (std::chrono::steady_clock::now() < until) {
                  }
                  return CALL_SERVICE(host, HostRemovePropertyGroup, &sample.doorGroup);
              }),
              NoError);
    EXPECT_EQ(clock.Calls(ServiceIndex::HostRunUndoableCommand), 1u);
    EXPECT_EQ(clock.Calls(ServiceIndex::HostRemovePropertyGroup), 1u);
    EXPECT_GT(atCallable, listed);  // the command's part before the callable was counted by then
    EXPECT_LT(clock.Nanoseconds(ServiceIndex::HostRunUndoableCommand),
              static_cast<UInt64>(std::chrono::nanoseconds(wait).count()));
    EXPECT_LT(clock.TotalNanoseconds() - listed, static_cast<UInt64>(std::chrono::nanoseconds(wait).count()));
    EXPECT_EQ(clock.TotalNanoseconds(), listed + clock.Nanoseconds(ServiceIndex::HostRunUndoableCommand) +
                                            clock.Nanoseconds(ServiceIndex::HostRemovePropertyGroup));
    // Calls refused by a fault are not timed; the fault counter still counts them.
    host.GetFaults().FailAlways(ServiceIndex::HostListPropertyGroups, 5);
    EXPECT_EQ(CALL_SERVICE(host, HostListPropertyGroups, &groups), 5);
    EXPECT_EQ(clock.Calls(ServiceIndex::HostListPropertyGroups), 3u);
    EXPECT_EQ(host.CallCount(ServiceIndex::HostListPropertyGroups), 5u);

    clock.Reset();
    EXPECT_TRUE(clock.IsEnabled());
    EXPECT_EQ(clock.Calls(ServiceIndex::HostRunUndoableCommand), 0u);
    EXPECT_EQ(clock.Nanoseconds(ServiceIndex::HostListPropertyGroups), 0u);
    EXPECT_EQ(clock.TotalNanoseconds(), 0u);
}
