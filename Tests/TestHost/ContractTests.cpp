// The services check what the host's contract fixes for the module's calls: each wrong constant
// gets its own code and a debug line, and the project stays as it was.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HostErrors.hpp"
#include "HostFixture.hpp"
#include "Services.hpp"

using namespace TestHost;

namespace {

class ContractTest : public ::testing::Test {
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

}  // namespace

TEST_F(ContractTest, ImportsTakeOnlyTheContractsOptions)
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

TEST_F(ContractTest, ElementListingsTakeTheZeroSelectorFilterAndTheNilParent)
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

TEST_F(ContractTest, GroupRequestsHaveKindTwoAndEmptyTexts)
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

TEST_F(ContractTest, WrittenRecordsCarryTheListedDefinitionStatusZeroItsTypeAndNoDefaultFlag)
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

TEST_F(ContractTest, WithChecksOffTheSameCallsAreServed)
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

TEST(ServiceClock, TimesServicesWithoutTheModuleCodeTheyRunAndOnlyWhenOn)
{
    Host host;
    SampleProject sample(host.GetProject());
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
