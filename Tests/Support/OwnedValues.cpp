#include "OwnedValues.hpp"

#include <cstring>

namespace Support {

bool IsOwnedGroup(const std::string& name)
{
    return name.find("SGPset_") != std::string::npos;
}

ValueMap OwnedValues(const TestHost::Project& project)
{
    ValueMap values;
    project.ForEachValue([&](const API_Guid& element, const API_Guid& definition, const TestHost::Value& value) {
        const TestHost::PropertyDefinition* held = project.FindDefinition(definition);
        const std::string& group = project.FindGroup(held->group)->name;
        if (IsOwnedGroup(group))
            values[{TestHost::GuidToText(element), group, held->name}] = value;
    });
    return values;
}

bool SameValue(const TestHost::Value& left, const TestHost::Value& right)
{
    return left == right && std::memcmp(&left.real, &right.real, sizeof(double)) == 0;
}

bool SameValues(const ValueMap& left, const ValueMap& right)
{
    if (left.size() != right.size())
        return false;
    for (auto l = left.begin(), r = right.begin(); l != left.end(); ++l, ++r)
        if (l->first != r->first || !SameValue(l->second, r->second))
            return false;
    return true;
}

}  // namespace Support
