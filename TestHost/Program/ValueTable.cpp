#include "ValueTable.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>

namespace HostProgram {

using TestHost::Project;
using TestHost::Value;

namespace {

// The project's definitions whose group exists, with the numbers of their names, and an element's
// values of them in the host order of the definitions.
class NamedDefinitions {
public:
    NamedDefinitions(const Project& project, NamePairs& names) : project(project)
    {
        UInt32 order = 0;
        for (const TestHost::PropertyDefinition& definition : project.Definitions())
            if (const TestHost::PropertyGroup* group = project.FindGroup(definition.group))
                byGuid.emplace(definition.guid, Named{order++, names.Number(group->name, definition.name)});
        seenWith.assign(names.Size(), 0);
    }

    // The element's values, one per names, in the host order of the definitions: names number and
    // value. Where two definitions have the same names, the first in host order stands for them.
    void Collect(const API_Guid& element, std::vector<std::pair<UInt32, const Value*>>& held)
    {
        held.clear();
        found.clear();
        project.ForEachValueOfElement(element, [this](const API_Guid& definition, const Value& value) {
            if (const auto named = byGuid.find(definition); named != byGuid.end())
                found.push_back(Found{named->second.order, named->second.name, &value});
        });
        std::sort(found.begin(), found.end(), [](const Found& left, const Found& right) { return left.order < right.order; });
        ++stamp;
        for (const Found& value : found) {
            if (seenWith[value.name] == stamp)
                continue;
            seenWith[value.name] = stamp;
            held.emplace_back(value.name, value.value);
        }
    }

private:
    struct Named {
        UInt32 order;  // among these definitions, host order
        UInt32 name;
    };
    struct Found {
        UInt32 order;
        UInt32 name;
        const Value* value;
    };

    const Project& project;
    std::unordered_map<API_Guid, Named, TestHost::GuidHash> byGuid;
    std::vector<Found> found;
    std::vector<std::size_t> seenWith;  // by names number, the call it was last seen in
    std::size_t stamp = 0;
};

// The sorted names of the definitions that apply to elements of a classification item, one list per
// item met; list 0 is the empty one of unclassified elements.
class ApplyingNames {
public:
    ApplyingNames(const Project& project, NamePairs& names, std::vector<std::vector<UInt32>>& lists)
        : project(project), names(names), lists(lists)
    {
        lists.assign(1, {});
    }

    UInt32 Of(const API_Guid& item)
    {
        if (item == APINULLGuid)
            return 0;
        const auto [found, added] = byItem.emplace(item, static_cast<UInt32>(lists.size()));
        if (!added)
            return found->second;
        std::vector<UInt32> applying;
        for (const TestHost::PropertyDefinition* definition : project.DefinitionsForItem(item))
            if (const TestHost::PropertyGroup* group = project.FindGroup(definition->group))
                applying.push_back(names.Number(group->name, definition->name));
        std::sort(applying.begin(), applying.end());
        applying.erase(std::unique(applying.begin(), applying.end()), applying.end());
        lists.push_back(std::move(applying));
        return found->second;
    }

private:
    const Project& project;
    NamePairs& names;
    std::vector<std::vector<UInt32>>& lists;
    std::unordered_map<API_Guid, UInt32, TestHost::GuidHash> byItem;
};

bool Applies(const std::vector<UInt32>& applying, UInt32 name)
{
    return std::binary_search(applying.begin(), applying.end(), name);
}

}  // namespace

// --- NamePairs and PackedValues --------------------------------------------------------------------

UInt32 NamePairs::Number(const std::string& group, const std::string& property)
{
    const auto [found, added] = numbers.emplace(std::make_pair(group, property), static_cast<UInt32>(pairs.size()));
    if (added)
        pairs.push_back(&*found);
    return found->second;
}

UInt32 PackedValues::Add(const Value& value, UInt32 name)
{
    PackedValue packed;
    packed.name = name;
    packed.type = static_cast<UInt32>(value.type);
    switch (value.type) {
        case API_PropertyIntegerValueType: packed.bits = static_cast<UInt32>(value.integer); break;
        case API_PropertyRealValueType: std::memcpy(&packed.bits, &value.real, sizeof packed.bits); break;
        case API_PropertyBooleanValueType: packed.bits = value.boolean ? 1 : 0; break;
        case API_PropertyStringValueType:
            if (value.text.size() > ~UInt32{0})
                throw std::length_error("a text of more than 4 GB");
            packed.bits = texts.size();
            packed.length = static_cast<UInt32>(value.text.size());
            texts += value.text;
            break;
        default: break;
    }
    values.push_back(packed);
    return static_cast<UInt32>(values.size() - 1);
}

Value PackedValues::Unpack(std::size_t index) const
{
    const PackedValue& packed = values[index];
    switch (packed.type) {
        case API_PropertyIntegerValueType: return TestHost::MakeIntegerValue(static_cast<Int32>(packed.bits));
        case API_PropertyRealValueType: {
            double real = 0;
            std::memcpy(&real, &packed.bits, sizeof real);
            return TestHost::MakeRealValue(real);
        }
        case API_PropertyBooleanValueType: return TestHost::MakeBooleanValue(packed.bits != 0);
        case API_PropertyStringValueType: return TestHost::MakeStringValue(texts.substr(packed.bits, packed.length));
        default: return TestHost::MakeZeroValue(static_cast<Int32>(packed.type));
    }
}

bool PackedValues::Equals(std::size_t index, const Value& other) const
{
    const PackedValue& packed = values[index];
    if (static_cast<Int32>(packed.type) != other.type)
        return false;
    switch (packed.type) {
        case API_PropertyIntegerValueType: return static_cast<Int32>(packed.bits) == other.integer;
        case API_PropertyRealValueType: {
            double real = 0;
            std::memcpy(&real, &packed.bits, sizeof real);
            return real == other.real;
        }
        case API_PropertyBooleanValueType: return (packed.bits != 0) == other.boolean;
        case API_PropertyStringValueType:
            return packed.length == other.text.size() && texts.compare(packed.bits, packed.length, other.text) == 0;
        default: return true;
    }
}

bool PackedValues::Identical(std::size_t index, const Value& other) const
{
    const PackedValue& packed = values[index];
    if (packed.type == API_PropertyRealValueType && static_cast<Int32>(packed.type) == other.type)
        return std::memcmp(&packed.bits, &other.real, sizeof packed.bits) == 0;
    return Equals(index, other);
}

// --- ValuesBefore ----------------------------------------------------------------------------------

ValuesBefore ValuesBefore::Take(const Project& project)
{
    ValuesBefore taken;
    NamedDefinitions named(project, taken.names);
    ApplyingNames applying(project, taken.names, taken.applyingNames);
    taken.values.Reserve(project.ValueCount());
    std::vector<std::pair<UInt32, const Value*>> held;
    for (const TestHost::Element& element : project.Elements()) {
        named.Collect(element.guid, held);
        if (held.empty())
            continue;
        taken.elements.push_back(HoldingElement{element.guid, element.name, applying.Of(element.classification),
                                                static_cast<UInt32>(taken.values.Size())});
        for (const auto& [name, value] : held)
            taken.values.Add(*value, name);
    }
    return taken;
}

// --- ValueTable ------------------------------------------------------------------------------------

// The values the elements of a ValuesBefore hold in a project at a later moment, and the names of the
// definitions that apply to them then, asked element by element.
class ValueTable::HeldNow {
public:
    HeldNow(const Project& project, ValuesBefore& before)
        : project(project), before(before), named(project, before.names),
          applying(project, before.names, applyingNames), seen(before.names.Size())
    {
    }

    // Makes the element at `position` of ValuesBefore the one asked about.
    void Select(std::size_t position)
    {
        const API_Guid& guid = before.elements[position].guid;
        current = static_cast<UInt32>(position) + 1;
        named.Collect(guid, held);
        for (std::size_t at = 0; at < held.size(); ++at)
            seen[held[at].first] = Seen{current, static_cast<UInt32>(at)};
        const TestHost::Element* element = project.FindElement(guid);
        applyingNow = &applyingNames[applying.Of(element != nullptr ? element->classification : APINULLGuid)];
    }

    // The element's value under the names; nullptr when it holds none.
    const Value* Find(UInt32 name) const
    {
        return name < seen.size() && seen[name].element == current ? held[seen[name].at].second : nullptr;
    }
    // Whether a definition of the names applies to the element.
    bool HasDefinition(UInt32 name) const { return Applies(*applyingNow, name); }
    // The element's values, one per names, in the host order of the definitions.
    const std::vector<std::pair<UInt32, const Value*>>& Values() const noexcept { return held; }

private:
    struct Seen {
        UInt32 element = 0;  // the selected element it was seen with, plus one
        UInt32 at = 0;       // in `held`
    };

    const Project& project;
    const ValuesBefore& before;
    NamedDefinitions named;
    std::vector<std::vector<UInt32>> applyingNames;
    ApplyingNames applying;
    std::vector<Seen> seen;  // by names number
    UInt32 current = 0;
    std::vector<std::pair<UInt32, const Value*>> held;
    const std::vector<UInt32>* applyingNow = nullptr;
};

ValueTable::ValueTable(ValuesBefore taken, const std::set<std::string>& ownedGroups, const Project& after)
    : before(std::move(taken))
{
    HeldNow now(after, before);
    std::vector<bool> owned(before.names.Size());
    for (UInt32 name = 0; name < owned.size(); ++name)
        owned[name] = ownedGroups.count(before.names.Group(name)) != 0;
    for (std::size_t element = 0; element < before.elements.size(); ++element)
        CompareElement(element, now, owned);
}

void ValueTable::CompareElement(std::size_t element, HeldNow& now, const std::vector<bool>& owned)
{
    now.Select(element);
    const std::size_t end = element + 1 < before.elements.size() ? before.elements[element + 1].first : before.values.Size();
    const std::size_t firstRow = rows.size();
    bool anyLost = false;
    for (std::size_t value = before.elements[element].first; value < end; ++value) {
        const UInt32 name = before.values[value].name;
        const Value* later = now.Find(name);
        if (!owned[name]) {
            ++otherValues;
            otherUnchanged += later != nullptr && before.values.Equals(value, *later) ? 1 : 0;
            continue;
        }
        RowState row{static_cast<UInt32>(element), static_cast<UInt32>(value), name, NotHeld, NotHeld,
                     static_cast<UInt8>(ValueStatus::Lost), 0};
        if (later != nullptr) {
            row.status = static_cast<UInt8>(before.values.Equals(value, *later) ? ValueStatus::Kept : ValueStatus::Changed);
            row.after = KeepLater(value, later);
        }
        if (now.HasDefinition(name))
            row.flags |= AfterHasDefinition;
        anyLost = anyLost || row.status == static_cast<UInt8>(ValueStatus::Lost);
        rows.push_back(row);
    }
    if (anyLost)
        FindRenamed(firstRow, now);
    for (std::size_t row = firstRow; row < rows.size(); ++row) {
        ++statusCounts[rows[row].status];
        renamedCount += (rows[row].flags & Renamed) != 0 ? 1 : 0;
    }
}

void ValueTable::FindRenamed(std::size_t firstRow, const HeldNow& now)
{
    // The element's values under names that did not apply to it before the command.
    const std::vector<UInt32>& appliedBefore = before.applyingNames[before.elements[rows[firstRow].element].applying];
    std::vector<std::pair<UInt32, const Value*>> newlyNamed;
    for (const auto& held : now.Values())
        if (!Applies(appliedBefore, held.first))
            newlyNamed.push_back(held);
    std::vector<bool> taken(newlyNamed.size(), false);
    for (std::size_t at = firstRow; at < rows.size(); ++at) {
        RowState& row = rows[at];
        if (row.status != static_cast<UInt8>(ValueStatus::Lost))
            continue;
        const UInt32 saved = before.values[row.value].name;
        std::size_t best = newlyNamed.size();
        int bestScore = -1;
        for (std::size_t candidate = 0; candidate < newlyNamed.size(); ++candidate) {
            const UInt32 name = newlyNamed[candidate].first;
            if (taken[candidate] || !before.values.Equals(row.value, *newlyNamed[candidate].second))
                continue;
            const int score = (before.names.Property(name) == before.names.Property(saved) ? 2 : 0) +
                              (before.names.Group(name) == before.names.Group(saved) ? 1 : 0);
            if (score > bestScore) {
                best = candidate;
                bestScore = score;
            }
        }
        if (best == newlyNamed.size())
            continue;
        taken[best] = true;
        row.shown = newlyNamed[best].first;
        row.after = KeepLater(row.value, newlyNamed[best].second);
        row.flags |= AfterHasDefinition | Renamed;
        row.status = static_cast<UInt8>(ValueStatus::Kept);
    }
}

void ValueTable::AddAfterUndo(const Project& project)
{
    withAfterUndo = true;
    HeldNow now(project, before);
    for (std::size_t at = 0; at < rows.size();) {
        const UInt32 element = rows[at].element;
        now.Select(element);
        for (; at < rows.size() && rows[at].element == element; ++at) {
            RowState& row = rows[at];
            const UInt32 name = before.values[row.value].name;
            const Value* value = now.Find(name);
            row.afterUndo = value != nullptr ? KeepLater(row.value, value) : NotHeld;
            if (now.HasDefinition(name))
                row.flags |= AfterUndoHasDefinition;
        }
    }
}

UInt32 ValueTable::KeepLater(std::size_t beforeValue, const Value* value)
{
    return before.values.Identical(beforeValue, *value) ? SameAsBefore : later.Add(*value, 0);
}

LaterValue ValueTable::Later(std::size_t beforeValue, UInt32 at, bool hasDefinition) const
{
    LaterValue value;
    if (at == SameAsBefore)
        value.value = before.values.Unpack(beforeValue);
    else if (at != NotHeld)
        value.value = later.Unpack(at);
    value.hasDefinition = hasDefinition;
    return value;
}

ValueRow ValueTable::Row(std::size_t index) const
{
    const RowState& row = rows[index];
    const ValuesBefore::HoldingElement& holder = before.elements[row.element];
    const UInt32 saved = before.values[row.value].name;
    std::optional<LaterValue> afterUndo;
    if (withAfterUndo)
        afterUndo = Later(row.value, row.afterUndo, (row.flags & AfterUndoHasDefinition) != 0);
    return ValueRow{holder.guid,
                    holder.name,
                    before.names.Group(row.shown),
                    before.names.Property(row.shown),
                    before.names.Group(saved),
                    before.names.Property(saved),
                    before.values.Unpack(row.value),
                    Later(row.value, row.after, (row.flags & AfterHasDefinition) != 0),
                    std::move(afterUndo),
                    static_cast<ValueStatus>(row.status),
                    (row.flags & Renamed) != 0};
}

// --- Showing values --------------------------------------------------------------------------------

const char* StatusName(ValueStatus status)
{
    switch (status) {
        case ValueStatus::Kept: return "kept";
        case ValueStatus::Changed: return "changed";
        case ValueStatus::Lost: return "lost";
    }
    return "lost";
}

std::string ValueKeyText(const std::string& group, const std::string& property)
{
    return group + "-" + property;
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
