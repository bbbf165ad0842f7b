// Editions for the proposal's tests, written as short lists of groups and properties, and a
// proposal described as one line per entry or choice.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "Edition.hpp"
#include "Proposal.hpp"

namespace RenameProposalTests {

struct PropertySpec {
    PropertySpec(std::string name, std::string type = "String", std::string items = "IfcWall", std::string measure = {})
        : name(std::move(name)), type(std::move(type)), items(std::move(items)), measure(std::move(measure))
    {
    }

    std::string name;
    std::string type;
    std::string items;    // item ids, separated by blanks
    std::string measure;  // none when empty
};

struct GroupSpec {
    std::string name;
    std::vector<PropertySpec> properties;
};

// A configuration in the host's import format: one classification system "IFC-SG" with IfcWall
// (and IfcWall.PARTITIONING), IfcSlab (IfcSlab.FLOOR, IfcSlab.ROOF), IfcDoor, IfcWindow, IfcSpace,
// and the groups.
std::string ConfigurationText(const std::vector<GroupSpec>& groups, const std::string& version = "1");

// The edition of ConfigurationText; the test fails (by exception) when it cannot be read.
RenameProposal::Edition EditionOf(const std::vector<GroupSpec>& groups);

// One line per entry and choice, in the proposal's order: "group A -> B", "rename G / P -> G / Q",
// "move G / P -> H / P", "choose A -> B | C" (groups), "choose G / P -> H / P | J / P (REASON)"
// with REASON several, continued, shared or similar.
std::vector<std::string> Described(const RenameProposal::Proposal& proposal, const RenameProposal::Edition& older,
                                   const RenameProposal::Edition& newer);

}  // namespace RenameProposalTests
