// The host's configuration import: the XML text of an IFC-SG configuration (classification systems
// with their items, property groups with their definitions) brought into a project. The format is
// described in docs/configuration-format.md.
#pragma once

#include <string>
#include <string_view>

#include "Project.hpp"

namespace TestHost {

// The result of an import: code 0 on success, otherwise one of HostError's import codes and a
// message naming the line where the problem lies.
struct ImportOutcome {
    GSErrCode code = NoError;
    std::string message;
};

// Imports the classification systems of `text` (UTF-8) and ignores its property groups. Systems are
// merged by name and items by id among the children of the same parent: existing ones keep their
// GUIDs and take the new version and item names; new ones are appended. On any error (malformed
// XML, an unknown root or element, a missing attribute, a duplicate name) nothing is changed.
ImportOutcome ImportClassificationXml(Project& project, std::string_view text);

// Imports the property groups and definitions of `text` and ignores its classification systems;
// "appliesTo" names items of the project's systems. Groups are merged by name and definitions by
// name within their group: existing ones keep their GUIDs, the values elements hold and their
// expressions, and take the description, types, default and availability of the text; new ones
// are appended; definitions that the text does not name stay. On any error (malformed XML, an
// unknown root or element, a missing attribute, an unknown value type or measure, a default that
// does not fit the type, an item that does not exist, a duplicate name) nothing is changed.
ImportOutcome ImportPropertyXml(Project& project, std::string_view text);

}  // namespace TestHost
