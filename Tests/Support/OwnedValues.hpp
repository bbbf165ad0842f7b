// The values of a project's owned properties ("SGPset_" groups) by names rather than GUIDs, so that
// a project can be compared with itself after an import that gave its definitions new GUIDs.
#pragma once

#include <map>
#include <string>
#include <tuple>

#include "Project.hpp"

namespace Support {

// Whether the add-on owns a group of that name: "SGPset_" anywhere in it.
bool IsOwnedGroup(const std::string& name);

// An owned value by element GUID text, group name and property name.
using ValueName = std::tuple<std::string, std::string, std::string>;
using ValueMap = std::map<ValueName, TestHost::Value>;

// The values the project's elements hold of owned definitions.
ValueMap OwnedValues(const TestHost::Project& project);

// Equal values, reals bit for bit (so -0.0 is not 0.0).
bool SameValue(const TestHost::Value& left, const TestHost::Value& right);
// The same names with the same values, by SameValue.
bool SameValues(const ValueMap& left, const ValueMap& right);

}  // namespace Support
