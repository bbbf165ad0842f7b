#include "ValueTable.hpp"

#include <algorithm>
#include <charconv>
#include <unordered_map>

namespace HostProgram {

using TestHost::Project;
using TestHost::Value;

bool ValueSnapshot::KeyLess::operator()(const Key& left, const Key& right) const
{
    const TestHost::GuidLess guidLess;
    if (guidLess(std::get<0>(left), std::get<0>(right)))
        return true;
    if (guidLess(std::get<0>(right), std::get<0>(left)))
        return false;
    return std::tie(std::get<1>(left), std::get<2>(left)) < std::tie(std::get<1>(right), std::get<2>(right));
}

ValueSnapshot ValueSnapshot::Take(const Project& project)
{
    struct DefinitionInfo {
        std::size_t order;
        const TestHost::PropertyDefinition* definition;
        const TestHost::PropertyGroup* group;
    };
    // The definitions by GUID, with their place in the host order.
    std::unordered_map<API_Guid, DefinitionInfo, TestHost::GuidHash> known;
    std::size_t order = 0;
    for (const TestHost::PropertyDefinition& definition : project.Definitions()) {
        if (const TestHost::PropertyGroup* group = project.FindGroup(definition.group))
            known.emplace(definition.guid, DefinitionInfo{order, &definition, group});
        ++order;
    }

    ValueSnapshot snapshot;
    // Which definitions apply to each element: through its classification item.
    for (const TestHost::Element& element : project.Elements()) {
        if (element.classification == APINULLGuid)
            continue;
        for (const TestHost::PropertyDefinition* definition : project.DefinitionsForItem(element.classification)) {
            const auto found = known.find(definition->guid);
            if (found != known.end())
                snapshot.definitions.insert(Key{element.guid, found->second.group->name, definition->name});
        }
    }

    std::unordered_map<API_Guid, std::vector<std::pair<std::size_t, HeldValue>>, TestHost::GuidHash> byElement;
    project.ForEachValue([&](const API_Guid& element, const API_Guid& definition, const Value& value) {
        const auto found = known.find(definition);
        if (found == known.end())
            return;
        const TestHost::Element* owner = project.FindElement(element);
        byElement[element].emplace_back(
            found->second.order, HeldValue{element, owner != nullptr ? owner->name : std::string(),
                                           found->second.group->name, found->second.definition->name, value});
    });
    for (const TestHost::Element& element : project.Elements()) {
        const auto found = byElement.find(element.guid);
        if (found == byElement.end())
            continue;
        std::vector<std::pair<std::size_t, HeldValue>>& held = found->second;
        std::sort(held.begin(), held.end(), [](const auto& left, const auto& right) { return left.first < right.first; });
        for (auto& [definitionOrder, value] : held) {
            // The first definition of a name in host order stands for that name.
            const Key key{value.element, value.group, value.property};
            if (snapshot.index.count(key) != 0)
                continue;
            snapshot.index.emplace(key, snapshot.values.size());
            snapshot.values.push_back(std::move(value));
        }
    }
    return snapshot;
}

const Value* ValueSnapshot::Find(const API_Guid& element, const std::string& group, const std::string& property) const
{
    const auto found = index.find(Key{element, group, property});
    return found != index.end() ? &values[found->second].value : nullptr;
}

bool ValueSnapshot::HasDefinition(const API_Guid& element, const std::string& group, const std::string& property) const
{
    return definitions.count(Key{element, group, property}) != 0;
}

const char* StatusName(ValueStatus status)
{
    switch (status) {
        case ValueStatus::Kept: return "kept";
        case ValueStatus::Changed: return "changed";
        case ValueStatus::Lost: return "lost";
    }
    return "lost";
}

namespace {

LaterValue Later(const ValueSnapshot& snapshot, const HeldValue& held)
{
    LaterValue later;
    if (const Value* value = snapshot.Find(held.element, held.group, held.property))
        later.value = *value;
    later.hasDefinition = snapshot.HasDefinition(held.element, held.group, held.property);
    return later;
}

}  // namespace

std::vector<HeldValue> SelectValues(const ValueSnapshot& snapshot, const std::set<std::string>& groups, bool inGroups)
{
    std::vector<HeldValue> selected;
    for (const HeldValue& held : snapshot.Values())
        if ((groups.count(held.group) != 0) == inGroups)
            selected.push_back(held);
    return selected;
}

std::vector<ValueRow> CompareValues(const std::vector<HeldValue>& before, const ValueSnapshot& after,
                                    const ValueSnapshot* afterUndo)
{
    std::vector<ValueRow> rows;
    rows.reserve(before.size());
    for (const HeldValue& held : before) {
        ValueRow row{held, Later(after, held), std::nullopt, ValueStatus::Lost, std::nullopt};
        if (afterUndo != nullptr)
            row.afterUndo = Later(*afterUndo, held);
        if (row.after.value.has_value())
            row.status = *row.after.value == held.value ? ValueStatus::Kept : ValueStatus::Changed;
        rows.push_back(std::move(row));
    }
    return rows;
}

void FindRenamedValues(std::vector<ValueRow>& rows, const ValueSnapshot& beforeSnapshot, const ValueSnapshot& after)
{
    // The values held under names that are new for their element, by element.
    std::map<API_Guid, std::vector<const HeldValue*>, TestHost::GuidLess> newlyNamed;
    for (const HeldValue& held : after.Values())
        if (!beforeSnapshot.HasDefinition(held.element, held.group, held.property))
            newlyNamed[held.element].push_back(&held);
    std::set<const HeldValue*> taken;
    for (ValueRow& row : rows) {
        if (row.status != ValueStatus::Lost)
            continue;
        const auto candidates = newlyNamed.find(row.before.element);
        if (candidates == newlyNamed.end())
            continue;
        const HeldValue* best = nullptr;
        int bestScore = -1;
        for (const HeldValue* held : candidates->second) {
            if (taken.count(held) != 0 || !(held->value == row.before.value))
                continue;
            const int score = (held->property == row.before.property ? 2 : 0) + (held->group == row.before.group ? 1 : 0);
            if (score > bestScore) {
                best = held;
                bestScore = score;
            }
        }
        if (best == nullptr)
            continue;
        taken.insert(best);
        row.renamedTo = std::make_pair(best->group, best->property);
        row.after = LaterValue{best->value, true};
        row.status = ValueStatus::Kept;
    }
}

std::string ValueKeyText(const std::string& group, const std::string& property)
{
    return group + "-" + property;
}

std::size_t CountUnchanged(const std::vector<HeldValue>& before, const ValueSnapshot& after)
{
    std::size_t unchanged = 0;
    for (const HeldValue& held : before) {
        const Value* later = after.Find(held.element, held.group, held.property);
        if (later != nullptr && *later == held.value)
            ++unchanged;
    }
    return unchanged;
}

std::string ValueText(const Value& value)
{
    switch (value.type) {
        case API_PropertyIntegerValueType: return std::to_string(value.integer);
        case API_PropertyRealValueType: {
            // The shortest text that reads back as the same number.
            char text[40];
            const auto result = std::to_chars(text, text + sizeof text, value.real);
            return std::string(text, result.ptr);
        }
        case API_PropertyStringValueType: return value.text;
        case API_PropertyBooleanValueType: return value.boolean ? "true" : "false";
        default: return std::string();
    }
}

std::string ShowValue(const Value& value)
{
    switch (value.type) {
        case API_PropertyStringValueType: return "\"" + value.text + "\"";
        case API_PropertyIntegerValueType:
        case API_PropertyRealValueType:
        case API_PropertyBooleanValueType: return ValueText(value);
        default: return "(undefined)";
    }
}

std::string ShowLaterValue(const LaterValue& later)
{
    if (later.value.has_value())
        return ShowValue(*later.value);
    return later.hasDefinition ? "(default)" : "(none)";
}

}  // namespace HostProgram
