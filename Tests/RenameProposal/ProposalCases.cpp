#include "ProposalCases.hpp"

#include <sstream>
#include <stdexcept>

namespace RenameProposalTests {

using namespace RenameProposal;

namespace {

std::string Escaped(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '"': escaped += "&quot;"; break;
            case '\t': escaped += "&#9;"; break;
            case '\n': escaped += "&#10;"; break;
            default: escaped.push_back(c); break;
        }
    }
    return escaped;
}

std::string Path(const Edition& edition, PropertyAt at)
{
    return edition.groups[at.group].name + " / " + edition.groups[at.group].properties[at.property].name;
}

const char* ReasonTag(PropertyChoice::Reason reason)
{
    switch (reason) {
        case PropertyChoice::Reason::SeveralPlaces: return "several";
        case PropertyChoice::Reason::ContinuedTarget: return "continued";
        case PropertyChoice::Reason::SharedTarget: return "shared";
        case PropertyChoice::Reason::SimilarName: return "similar";
    }
    return "?";
}

}  // namespace

std::string ConfigurationText(const std::vector<GroupSpec>& groups, const std::string& version)
{
    std::string text = R"(<?xml version="1.0" encoding="utf-8"?>
<configuration>
  <classificationSystem name="IFC-SG" version=")" + version + R"(">
    <item id="IfcWall"><item id="IfcWall.PARTITIONING"/></item>
    <item id="IfcSlab"><item id="IfcSlab.FLOOR"/><item id="IfcSlab.ROOF"/></item>
    <item id="IfcDoor"/><item id="IfcWindow"/><item id="IfcSpace"/>
  </classificationSystem>
)";
    for (const GroupSpec& group : groups) {
        text += "  <propertyGroup name=\"" + Escaped(group.name) + "\">\n";
        for (const PropertySpec& property : group.properties) {
            text += "    <property name=\"" + Escaped(property.name) + "\" type=\"" + property.type + "\"" +
                    (property.measure.empty() ? "" : " measure=\"" + property.measure + "\"") + ">";
            std::istringstream items(property.items);
            for (std::string item; items >> item;)
                text += "<appliesTo item=\"" + item + "\"/>";
            text += "</property>\n";
        }
        text += "  </propertyGroup>\n";
    }
    return text + "</configuration>\n";
}

Edition EditionOf(const std::vector<GroupSpec>& groups)
{
    EditionReading reading = ReadEdition(ConfigurationText(groups));
    if (!reading.problem.empty())
        throw std::runtime_error("the test's configuration cannot be read: " + reading.problem);
    return std::move(reading.edition);
}

std::vector<std::string> Described(const Proposal& proposal, const Edition& older, const Edition& newer)
{
    std::vector<std::string> lines;
    for (const GroupEntry& entry : proposal.groupEntries)
        lines.push_back("group " + older.groups[entry.older].name + " -> " + newer.groups[entry.newer].name);
    for (const GroupChoice& choice : proposal.groupChoices) {
        std::string line = "choose " + older.groups[choice.older].name + " ->";
        for (std::size_t index = 0; index < choice.candidates.size(); ++index)
            line += (index == 0 ? " " : " | ") + newer.groups[choice.candidates[index].newer].name;
        lines.push_back(line);
    }
    for (const PropertyEntry& entry : proposal.propertyEntries)
        lines.push_back((entry.moved ? "move " : "rename ") + Path(older, entry.older) + " -> " + Path(newer, entry.newer));
    for (const PropertyChoice& choice : proposal.propertyChoices) {
        std::string line = "choose " + Path(older, choice.older) + " ->";
        for (std::size_t index = 0; index < choice.candidates.size(); ++index)
            line += (index == 0 ? " " : " | ") + Path(newer, choice.candidates[index].newer);
        lines.push_back(line + " (" + ReasonTag(choice.reason) + ")");
    }
    return lines;
}

}  // namespace RenameProposalTests
