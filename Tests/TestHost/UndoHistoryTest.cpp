#include <algorithm>
#include <map>

#include <gtest/gtest.h>

#include "HostErrors.hpp"
#include "HostFixture.hpp"
#include "UndoHistory.hpp"

using namespace TestHost;

TEST(UndoHistory, UndoOfAGroupRemovalRestoresTheProjectExactly)
{
    Project project;
    UndoHistory history(project);
    const SampleProject sample(project);
    // A definition of another group created after the removed group's, so that order matters.
    PropertyDefinition late = *project.FindDefinition(sample.acousticRating);
    late.guid = APINULLGuid;
    late.group = sample.doorGroup;
    late.name = "Late";
    ASSERT_NE(project.AddDefinition(late), APINULLGuid);
    const std::string before = Snapshot(project);

    history.OpenStep("Delete Property Groups");
    ASSERT_EQ(project.RemoveGroup(sample.wallGroup), NoError);
    history.CloseStep(true);
    ASSERT_NE(Snapshot(project), before);

    EXPECT_EQ(history.Undo(), 1u);
    EXPECT_EQ(Snapshot(project), before);
    // The indices came back too, not only what the file shows.
    EXPECT_TRUE(project.AppliesTo(sample.thickness, sample.wall1));
    EXPECT_EQ(project.DefinitionsOfGroup(sample.wallGroup).size(), 3u);
    EXPECT_EQ(project.FindGroupByName("SGPset_Wall")->guid, sample.wallGroup);
}

TEST(UndoHistory, UndoOfImportAndOfDefinitionUpdateRestoresExactly)
{
    Project project;
    UndoHistory history(project);
    const SampleProject sample(project);
    const std::string before = Snapshot(project);

    // A later edition: a renamed item, a changed default and type, a new property and group.
    const char* edition = R"xml(<configuration>
  <classificationSystem name="IFC-SG" version="2025.1">
    <item id="IfcWall" name="Wall (2025)"/>
    <item id="IfcSlab" name="Slab"/>
  </classificationSystem>
  <propertyGroup name="SGPset_Wall" description="Edition 2025">
    <property name="Thickness" type="Real" measure="Length" default="0.3"><appliesTo item="IfcWall"/></property>
    <property name="FireResistancePeriod" type="String" default="2h"><appliesTo item="IfcWall"/></property>
    <property name="Span" type="Real" measure="Length"><appliesTo item="IfcSlab"/></property>
  </propertyGroup>
  <propertyGroup name="SGPset_Slab"><property name="SlabType" type="String"><appliesTo item="IfcSlab"/></property></propertyGroup>
</configuration>)xml";
    history.OpenStep("Import Classifications");
    ASSERT_EQ(ImportClassificationXml(project, edition).code, NoError);
    history.CloseStep(true);
    history.OpenStep("Import Properties");
    ASSERT_EQ(ImportPropertyXml(project, edition).code, NoError);
    history.CloseStep(true);
    const std::string imported = Snapshot(project);

    PropertyDefinition changed = *project.FindDefinition(sample.thickness);
    changed.expressions = {"{Property:SGPset_Wall/Thickness} * 2", ""};
    changed.expressionFlag = 1;
    changed.availability.clear();
    history.OpenStep("Import Expressions");
    ASSERT_EQ(project.UpdateDefinition(changed), NoError);
    history.CloseStep(true);

    EXPECT_EQ(history.StepNames(),
              (std::vector<std::string>{"Import Classifications", "Import Properties", "Import Expressions"}));
    EXPECT_EQ(history.Undo(), 1u);
    EXPECT_EQ(Snapshot(project), imported);
    EXPECT_TRUE(project.AppliesTo(sample.thickness, sample.wall1));
    EXPECT_EQ(history.Undo(2), 2u);
    EXPECT_EQ(Snapshot(project), before);
    EXPECT_EQ(project.FindItemById("IfcSlab"), nullptr);
    // Importing again after the undo gives the same project as the first time.
    ASSERT_EQ(ImportClassificationXml(project, edition).code, NoError);
    ASSERT_EQ(ImportPropertyXml(project, edition).code, NoError);
    EXPECT_EQ(Snapshot(project), imported);
}

TEST(UndoHistory, ChangesOutsideAStepStayAndUndoCountsAreKept)
{
    Project project;
    UndoHistory history(project);
    const SampleProject sample(project);  // built outside any step
    EXPECT_EQ(history.StepCount(), 0u);
    EXPECT_EQ(history.Undo(), 0u);
    EXPECT_NE(project.FindElement(sample.wall1), nullptr);

    history.OpenStep("Delete Property Groups");
    project.RemoveGroup(sample.doorGroup);
    history.CloseStep(true);
    const std::string afterRemoval = Snapshot(project);
    // Restored values are written without a command: not undoable, and kept by later undos.
    ASSERT_EQ(project.SetElementValue(sample.wall2, sample.thickness, MakeRealValue(0.15)), NoError);
    history.OpenStep("Delete Property Groups");
    project.RemoveGroup(sample.commonGroup);
    history.CloseStep(true);

    EXPECT_EQ(history.Undo(5), 2u);
    EXPECT_EQ(project.FindElementValue(sample.wall2, sample.thickness)->real, 0.15);
    EXPECT_NE(project.FindGroup(sample.doorGroup), nullptr);
    EXPECT_NE(project.FindGroup(sample.commonGroup), nullptr);
    EXPECT_NE(Snapshot(project), afterRemoval);
    EXPECT_EQ(history.StepCount(), 0u);
}

TEST(UndoHistory, NestedPartsBelongToTheOuterStepAndFailedPartsRollBack)
{
    Project project;
    UndoHistory history(project);
    const SampleProject sample(project);
    const std::string before = Snapshot(project);

    history.OpenStep("Outer");
    project.SetElementValue(sample.wall2, sample.thickness, MakeRealValue(0.3));
    history.OpenStep("Inner kept");
    project.RemoveGroup(sample.doorGroup);
    history.CloseStep(true);
    history.OpenStep("Inner failed");
    project.RemoveGroup(sample.commonGroup);
    EXPECT_EQ(history.Undo(), 0u);  // nothing is undone while a step is open
    history.CloseStep(false);
    EXPECT_NE(project.FindGroup(sample.commonGroup), nullptr);
    EXPECT_EQ(project.FindGroup(sample.doorGroup), nullptr);
    history.CloseStep(true);

    EXPECT_EQ(history.StepNames(), std::vector<std::string>{"Outer"});
    ASSERT_EQ(history.Undo(), 1u);
    EXPECT_EQ(Snapshot(project), before);

    // A failed outermost step leaves no entry and no change.
    history.OpenStep("Failed");
    project.RemoveGroup(sample.wallGroup);
    history.CloseStep(false);
    EXPECT_EQ(history.StepCount(), 0u);
    EXPECT_EQ(Snapshot(project), before);
}

TEST(UndoHistory, ManyStepsUndoBackToTheStartAndEachStepHoldsOnlyItsChanges)
{
    Project project;
    UndoHistory history(project);
    const SampleProject sample(project);
    std::vector<API_Guid> walls;
    for (int i = 0; i < 2000; ++i)
        walls.push_back(project.AddElement("W-" + std::to_string(i), "IfcWall", sample.wallItem));
    const std::string before = Snapshot(project);

    std::map<int, std::string> snapshots;  // the project before the step of that number
    for (int step = 0; step < 300; ++step) {
        if (step == 50 || step == 200)
            snapshots[step] = Snapshot(project);
        history.OpenStep("Step " + std::to_string(step));
        const API_Guid& wall = walls[static_cast<std::size_t>(step * 7) % walls.size()];
        project.SetElementValue(wall, sample.thickness, MakeRealValue(step / 100.0));
        if (step % 3 == 0)
            project.ResetElementValue(sample.wall1, sample.fireResistance);
        if (step % 50 == 0) {
            PropertyDefinition changed = *project.FindDefinition(sample.isExternal);
            changed.expressions.push_back("expr " + std::to_string(step));
            project.UpdateDefinition(changed);
        }
        history.CloseStep(true);
    }
    // A step's size follows what it changed, never the number of elements.
    EXPECT_EQ(history.ActionCount(1), 1u);
    EXPECT_LE(history.ActionCount(0), 3u);

    // Undo in chunks, checking the project at each point against what it was.
    EXPECT_EQ(history.Undo(100), 100u);
    EXPECT_EQ(Snapshot(project), snapshots[200]);
    EXPECT_EQ(history.Undo(150), 150u);
    EXPECT_EQ(Snapshot(project), snapshots[50]);
    EXPECT_EQ(history.Undo(1000), 50u);
    EXPECT_EQ(Snapshot(project), before);
}

TEST(UndoHistory, ValueStoreKeepsItsOrderAndCountThroughRemovalsResetsAndUndo)
{
    Project project;
    UndoHistory history(project);
    const SampleProject sample(project);
    // Enough elements that a hashed store's own order would differ from the documented one.
    std::vector<API_Guid> walls;
    for (int i = 0; i < 200; ++i) {
        walls.push_back(project.AddElement("W-" + std::to_string(i), "IfcWall", sample.wallItem));
        ASSERT_EQ(project.SetElementValue(walls.back(), sample.thickness, MakeRealValue(0.1 + i)), NoError);
        if (i % 3 == 0) {
            ASSERT_EQ(project.SetElementValue(walls.back(), sample.acousticRating, MakeStringValue("Rw " + std::to_string(i))),
                      NoError);
        }
    }
    const auto visitOrder = [&project]() {
        std::vector<std::pair<API_Guid, API_Guid>> order;
        project.ForEachValue([&order](const API_Guid& element, const API_Guid& definition, const Value&) {
            order.emplace_back(definition, element);
        });
        return order;
    };
    const auto before = visitOrder();
    ASSERT_EQ(before.size(), project.ValueCount());
    EXPECT_EQ(project.ValueCount(), 4u + 200u + 67u);
    const GuidLess less;
    EXPECT_TRUE(std::is_sorted(before.begin(), before.end(), [&less](const auto& left, const auto& right) {
        return less(left.first, right.first) || (left.first == right.first && less(left.second, right.second));
    }));
    const std::string text = Snapshot(project);

    history.OpenStep("Delete Property Groups");
    ASSERT_EQ(project.RemoveGroup(sample.wallGroup), NoError);
    ASSERT_EQ(project.ResetElementValue(walls[3], sample.acousticRating), NoError);
    ASSERT_EQ(project.SetElementValue(walls[3], sample.acousticRating, MakeStringValue("Rw 60")), NoError);
    ASSERT_EQ(project.ResetElementValue(walls[6], sample.acousticRating), NoError);
    const API_Guid extra = project.AddElement("W-extra", "IfcWall", sample.wallItem);
    ASSERT_EQ(project.SetElementValue(extra, sample.acousticRating, MakeStringValue("Rw 40")), NoError);
    history.CloseStep(true);
    // The wall group's 202 values went with it, one reset value is gone and the new element holds one.
    EXPECT_EQ(project.ValueCount(), 4u + 200u + 67u - 202u - 1u + 1u);
    EXPECT_EQ(visitOrder().size(), project.ValueCount());
    EXPECT_EQ(project.FindElementValue(walls[0], sample.thickness), nullptr);
    EXPECT_EQ(project.FindElementValue(walls[3], sample.acousticRating)->text, "Rw 60");

    ASSERT_EQ(history.Undo(), 1u);
    EXPECT_EQ(project.ValueCount(), before.size());
    EXPECT_EQ(visitOrder(), before);
    EXPECT_EQ(project.FindElementValue(walls[3], sample.acousticRating)->text, "Rw 3");
    EXPECT_EQ(project.FindElementValue(walls[199], sample.thickness)->real, 199.1);
    EXPECT_EQ(project.FindElement(extra), nullptr);
    EXPECT_EQ(Snapshot(project), text);
}

// The store keeps each element's values together, ordered by definition GUID; values go with their
// element when its addition is undone, and with their definition when its addition or its group
// is removed, and come back with them.
TEST(UndoHistory, ValuesGoAndComeBackWithTheirElementAndTheirDefinition)
{
    Project project;
    UndoHistory history(project);
    const SampleProject sample(project);
    const std::string text = Snapshot(project);
    const auto valuesOf = [&project](const API_Guid& element) {
        std::vector<API_Guid> definitions;
        project.ForEachValueOfElement(element, [&](const API_Guid& definition, const Value& value) {
            definitions.push_back(definition);
            EXPECT_EQ(project.FindElementValue(element, definition), &value);
        });
        return definitions;
    };

    history.OpenStep("Import Properties");
    const API_Guid group = project.AddGroup("SGPset_Extra", "");
    std::vector<API_Guid> added;
    for (int i = 0; i < 12; ++i) {
        PropertyDefinition definition;
        definition.group = group;
        definition.name = "P" + std::to_string(i);
        definition.valueType = API_PropertyIntegerValueType;
        definition.defaultValue = MakeIntegerValue(0);
        definition.availability = {sample.wallItem};
        added.push_back(project.AddDefinition(definition));
    }
    const API_Guid wall = project.AddElement("W-new", "IfcWall", sample.wallItem);
    // Written in an order of their own, on an old element and on the new one.
    for (int i : {7, 2, 11, 0, 5, 9, 1, 10, 3, 8, 6, 4}) {
        ASSERT_EQ(project.SetElementValue(sample.wall1, added[static_cast<std::size_t>(i)], MakeIntegerValue(i)), NoError);
        ASSERT_EQ(project.SetElementValue(wall, added[static_cast<std::size_t>(i)], MakeIntegerValue(-i)), NoError);
    }
    ASSERT_EQ(project.SetElementValue(wall, sample.thickness, MakeRealValue(0.3)), NoError);
    history.CloseStep(true);

    const std::vector<API_Guid> ofWall1 = valuesOf(sample.wall1);
    EXPECT_EQ(ofWall1.size(), 3u + 12u);
    EXPECT_TRUE(std::is_sorted(ofWall1.begin(), ofWall1.end(), GuidLess()));
    EXPECT_EQ(valuesOf(wall).size(), 13u);
    EXPECT_EQ(project.FindElementValue(wall, added[5])->integer, -5);
    EXPECT_EQ(project.ValueCount(), 4u + 12u + 13u);

    // The group's removal takes its twelve definitions' values from both elements, and only those.
    history.OpenStep("Delete Property Groups");
    ASSERT_EQ(project.RemoveGroup(group), NoError);
    history.CloseStep(true);
    EXPECT_EQ(project.ValueCount(), 4u + 1u);
    EXPECT_EQ(valuesOf(sample.wall1).size(), 3u);
    EXPECT_EQ(valuesOf(wall), std::vector<API_Guid>{sample.thickness});
    // A group whose definitions hold no value goes as well.
    history.OpenStep("Delete Property Groups");
    ASSERT_EQ(project.RemoveGroup(sample.doorGroup), NoError);
    ASSERT_EQ(project.RemoveGroup(project.AddGroup("SGPset_Empty", "")), NoError);
    history.CloseStep(true);
    EXPECT_EQ(project.FindElementValue(sample.door, sample.clearWidth), nullptr);
    EXPECT_EQ(project.ValueCount(), 4u);

    ASSERT_EQ(history.Undo(2), 2u);
    EXPECT_EQ(project.ValueCount(), 4u + 12u + 13u);
    EXPECT_EQ(valuesOf(sample.wall1), ofWall1);
    EXPECT_EQ(project.FindElementValue(sample.wall1, added[11])->integer, 11);
    EXPECT_EQ(project.FindElementValue(wall, added[0])->integer, 0);
    EXPECT_EQ(project.FindElementValue(sample.door, sample.clearWidth)->real, 1.05);

    // Values written outside any step are not undone by themselves: undoing the import takes them
    // with the element and the definition they belong to.
    ASSERT_EQ(project.SetElementValue(wall, sample.acousticRating, MakeStringValue("Rw 40")), NoError);
    ASSERT_EQ(project.SetElementValue(sample.wall2, added[3], MakeIntegerValue(33)), NoError);
    EXPECT_EQ(project.ValueCount(), 4u + 12u + 13u + 2u);
    ASSERT_EQ(history.Undo(), 1u);
    EXPECT_EQ(project.FindElement(wall), nullptr);
    EXPECT_TRUE(valuesOf(wall).empty());
    EXPECT_EQ(valuesOf(sample.wall1).size(), 3u);
    EXPECT_TRUE(valuesOf(sample.wall2).empty());
    EXPECT_EQ(project.ValueCount(), 4u);
    EXPECT_EQ(Snapshot(project), text);
}
