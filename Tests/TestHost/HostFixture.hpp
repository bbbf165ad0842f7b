// Shared helpers of the test host's tests: calling services through the table as the module does,
// a realistic IFC-SG configuration, and a project built from it.
#pragma once

#include <cstdarg>
#include <string>

#include <gtest/gtest.h>

#include "Host.hpp"
#include "ProjectFile.hpp"
#include "RecordConversion.hpp"

// Calls a service through its table entry with the host's context first, as a module forwarder does.
#define CALL_SERVICE(host, name, ...)                                                                   \
    (reinterpret_cast<ServiceEntry::name>((host).ServiceTable()[ServiceIndex::name])((host).Context(), \
                                                                                      __VA_ARGS__))

// Sends a report line the way the module's variadic forwarder does: the address of its own va_list.
inline GSErrCode SendReport(TestHost::Host& host, const char* text, UInt8 flag, ...)
{
    const GS::UniString line(text);
    va_list arguments;
    va_start(arguments, flag);
    const auto entry = reinterpret_cast<ServiceEntry::HostReportMessage>(host.ServiceTable()[ServiceIndex::HostReportMessage]);
    const GSErrCode result = entry(host.Context(), &line, flag, &arguments);
    va_end(arguments);
    return result;
}

// Runs `body` as an undoable command through the table.
template <typename Body>
GSErrCode RunCommand(TestHost::Host& host, const char* name, Body body)
{
    const GS::UniString commandName(name);
    API_CommandCallable callable;
    callable.invoke = [](void* state) -> GSErrCode { return (*static_cast<Body*>(state))(); };
    callable.state = &body;
    return CALL_SERVICE(host, HostRunUndoableCommand, &commandName, &callable);
}

// A configuration in the spirit of an IFC-SG edition: one classification system and three groups,
// two of them owned ("SGPset_"), one standard set.
inline const char* const SampleConfiguration = R"xml(<?xml version="1.0" encoding="utf-8"?>
<configuration>
  <classificationSystem name="IFC-SG" version="2024.2">
    <item id="IfcWall" name="Wall">
      <item id="IfcWall.PARTITIONING" name="Partitioning wall"/>
    </item>
    <item id="IfcDoor" name="Door"/>
    <item id="IfcSpace" name="Space"/>
  </classificationSystem>
  <propertyGroup name="SGPset_Wall" description="Wall data checked by the agencies">
    <property name="FireResistancePeriod" type="Integer" default="60">
      <appliesTo item="IfcWall"/>
      <appliesTo item="IfcWall.PARTITIONING"/>
    </property>
    <property name="Thickness" type="Real" measure="Length" default="0.2">
      <appliesTo item="IfcWall"/>
    </property>
    <property name="IsExternal" type="Boolean" default="false">
      <appliesTo item="IfcWall"/>
    </property>
  </propertyGroup>
  <propertyGroup name="SGPset_Door">
    <property name="ClearWidth" type="Real" measure="Length" default="0.9">
      <appliesTo item="IfcDoor"/>
    </property>
    <property name="FireExit" type="Boolean">
      <appliesTo item="IfcDoor"/>
    </property>
  </propertyGroup>
  <propertyGroup name="Pset_WallCommon" description="Standard wall set">
    <property name="AcousticRating" type="String" default="Rw 45">
      <appliesTo item="IfcWall"/>
    </property>
  </propertyGroup>
</configuration>
)xml";

// The project file text, for exact before/after comparisons.
inline std::string Snapshot(const TestHost::Project& project)
{
    return TestHost::WriteProjectXml(project);
}

// A project built from SampleConfiguration with three classified elements: two walls and a door,
// the first wall holding its own values.
struct SampleProject {
    API_Guid wallItem;
    API_Guid doorItem;
    API_Guid wall1;
    API_Guid wall2;
    API_Guid door;
    API_Guid wallGroup;
    API_Guid doorGroup;
    API_Guid commonGroup;
    API_Guid fireResistance;
    API_Guid thickness;
    API_Guid isExternal;
    API_Guid clearWidth;
    API_Guid acousticRating;

    explicit SampleProject(TestHost::Project& project)
    {
        using namespace TestHost;
        EXPECT_EQ(ImportClassificationXml(project, SampleConfiguration).code, NoError);
        EXPECT_EQ(ImportPropertyXml(project, SampleConfiguration).code, NoError);
        wallItem = project.FindItemById("IfcWall")->guid;
        doorItem = project.FindItemById("IfcDoor")->guid;
        wallGroup = project.FindGroupByName("SGPset_Wall")->guid;
        doorGroup = project.FindGroupByName("SGPset_Door")->guid;
        commonGroup = project.FindGroupByName("Pset_WallCommon")->guid;
        fireResistance = project.FindDefinitionByName(wallGroup, "FireResistancePeriod")->guid;
        thickness = project.FindDefinitionByName(wallGroup, "Thickness")->guid;
        isExternal = project.FindDefinitionByName(wallGroup, "IsExternal")->guid;
        clearWidth = project.FindDefinitionByName(doorGroup, "ClearWidth")->guid;
        acousticRating = project.FindDefinitionByName(commonGroup, "AcousticRating")->guid;
        wall1 = project.AddElement("W-001", "IfcWall", wallItem);
        wall2 = project.AddElement("W-002", "IfcWall", wallItem);
        door = project.AddElement("D-001", "IfcDoor", doorItem);
        EXPECT_EQ(project.SetElementValue(wall1, thickness, MakeRealValue(0.25)), NoError);
        EXPECT_EQ(project.SetElementValue(wall1, fireResistance, MakeIntegerValue(120)), NoError);
        EXPECT_EQ(project.SetElementValue(wall1, acousticRating, MakeStringValue("Rw 52")), NoError);
        EXPECT_EQ(project.SetElementValue(door, clearWidth, MakeRealValue(1.05)), NoError);
    }
};
