#include "Project.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "HostErrors.hpp"

namespace TestHost {

namespace {

bool IsNil(const API_Guid& guid) noexcept
{
    return guid == APINULLGuid;
}

// splitmix64: spreads consecutive serials over the whole GUID space.
UInt64 Mix(UInt64 x) noexcept
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

bool IsValueTypeCode(Int32 code) noexcept
{
    return code >= API_PropertyUndefinedValueType && code <= API_PropertyBooleanValueType;
}

bool IsMeasureTypeCode(Int32 code) noexcept
{
    return code >= API_PropertyDefaultMeasureType && code <= API_PropertyAngleMeasureType;
}

// A known type whose value lies in its own field only, so that a project file keeps it exactly.
bool IsCanonical(const Value& value) noexcept
{
    return IsValueTypeCode(value.type) && (value.type == API_PropertyIntegerValueType || value.integer == 0) &&
           (value.type == API_PropertyRealValueType || value.real == 0.0) &&
           (value.type == API_PropertyBooleanValueType || !value.boolean) &&
           (value.type == API_PropertyStringValueType || value.text.empty());
}

}  // namespace

bool GuidLess::operator()(const API_Guid& left, const API_Guid& right) const noexcept
{
    if (left.data1 != right.data1)
        return left.data1 < right.data1;
    if (left.data2 != right.data2)
        return left.data2 < right.data2;
    if (left.data3 != right.data3)
        return left.data3 < right.data3;
    return std::memcmp(left.data4, right.data4, sizeof left.data4) < 0;
}

std::size_t GuidHash::operator()(const API_Guid& guid) const noexcept
{
    UInt64 low = 0;
    std::memcpy(&low, guid.data4, sizeof low);
    const UInt64 high = (UInt64{guid.data1} << 32) | (UInt64{guid.data2} << 16) | guid.data3;
    return static_cast<std::size_t>(Mix(high ^ Mix(low)));
}

std::string GuidToText(const API_Guid& guid)
{
    // GS::Guid's own text form, written here without a platform string: the program and the project
    // file writer format a GUID per value.
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text(36, '-');
    const auto put = [&text](std::size_t at, UInt64 number, int digits) {
        for (int i = digits - 1; i >= 0; --i, number >>= 4)
            text[at + static_cast<std::size_t>(i)] = Digits[number & 0xF];
    };
    put(0, guid.data1, 8);
    put(9, guid.data2, 4);
    put(14, guid.data3, 4);
    put(19, (UInt64{guid.data4[0]} << 8) | guid.data4[1], 4);
    UInt64 node = 0;
    for (int i = 2; i < 8; ++i)
        node = (node << 8) | guid.data4[i];
    put(24, node, 12);
    return text;
}

bool TextToGuid(std::string_view text, API_Guid& guid)
{
    // The platform's parser, given the text on the stack rather than in a string of its own: it gives
    // the nil GUID for text that is not a GUID, so only the nil GUID's own text may give it here.
    char terminated[37] = {};
    if (text.size() != 36)
        return false;
    text.copy(terminated, text.size());
    const GS::Guid parsed(terminated);
    if (parsed.IsNull() && text != "00000000-0000-0000-0000-000000000000")
        return false;
    guid = GSGuid2APIGuid(parsed);
    return true;
}

Value MakeUndefinedValue()
{
    return Value{};
}

Value MakeIntegerValue(Int32 value)
{
    Value result;
    result.type = API_PropertyIntegerValueType;
    result.integer = value;
    return result;
}

Value MakeRealValue(double value)
{
    Value result;
    result.type = API_PropertyRealValueType;
    result.real = value;
    return result;
}

Value MakeStringValue(std::string value)
{
    Value result;
    result.type = API_PropertyStringValueType;
    result.text = std::move(value);
    return result;
}

Value MakeBooleanValue(bool value)
{
    Value result;
    result.type = API_PropertyBooleanValueType;
    result.boolean = value;
    return result;
}

Value MakeZeroValue(Int32 type)
{
    Value result;
    if (IsValueTypeCode(type))
        result.type = type;
    return result;
}

// --- Table ---------------------------------------------------------------------------------------

template <typename T>
const T* Project::Table<T>::Find(const API_Guid& guid) const
{
    const auto found = at.find(guid);
    return found == at.end() ? nullptr : &found->second->second;
}

template <typename T>
T* Project::Table<T>::Find(const API_Guid& guid)
{
    const auto found = at.find(guid);
    return found == at.end() ? nullptr : &found->second->second;
}

template <typename T>
UInt64 Project::Table<T>::Append(T item)
{
    const UInt64 key = nextKey++;
    InsertAt(key, std::move(item));
    return key;
}

template <typename T>
void Project::Table<T>::InsertAt(UInt64 key, T item)
{
    const API_Guid guid = item.guid;
    // Appending (the usual case) goes at the end without a search.
    const auto hint = key >= nextKey ? byKey.end() : byKey.lower_bound(key);
    at.emplace(guid, byKey.emplace_hint(hint, key, std::move(item)));
    if (key >= nextKey)
        nextKey = key + 1;
}

template <typename T>
T Project::Table<T>::Erase(const API_Guid& guid)
{
    const auto found = at.find(guid);
    T item = std::move(found->second->second);
    byKey.erase(found->second);
    at.erase(found);
    return item;
}

// --- Project -------------------------------------------------------------------------------------

Project::Project(Project&& other) noexcept
{
    *this = std::move(other);
}

Project& Project::operator=(Project&& other) noexcept
{
    if (this != &other) {
        systems = std::move(other.systems);
        items = std::move(other.items);
        groups = std::move(other.groups);
        definitions = std::move(other.definitions);
        elements = std::move(other.elements);
        values = std::move(other.values);
        valueCount = std::exchange(other.valueCount, 0);
        heldPerDefinition = std::move(other.heldPerDefinition);
        definitionsByGroup = std::move(other.definitionsByGroup);
        definitionsByItem = std::move(other.definitionsByItem);
        guidSerial = other.guidSerial;
        recorder = nullptr;
        other.recorder = nullptr;
    }
    return *this;
}

const ClassificationSystem* Project::FindSystem(const API_Guid& guid) const
{
    return systems.Find(guid);
}

const ClassificationItem* Project::FindItem(const API_Guid& guid) const
{
    const auto found = items.find(guid);
    return found == items.end() ? nullptr : &found->second;
}

const PropertyGroup* Project::FindGroup(const API_Guid& guid) const
{
    return groups.Find(guid);
}

const PropertyDefinition* Project::FindDefinition(const API_Guid& guid) const
{
    return definitions.Find(guid);
}

const Element* Project::FindElement(const API_Guid& guid) const
{
    return elements.Find(guid);
}

const ClassificationSystem* Project::FindSystemByName(std::string_view name) const
{
    for (const auto& [key, system] : systems.byKey)
        if (system.name == name)
            return &system;
    return nullptr;
}

const PropertyGroup* Project::FindGroupByName(std::string_view name) const
{
    for (const auto& [key, group] : groups.byKey)
        if (group.name == name)
            return &group;
    return nullptr;
}

const PropertyDefinition* Project::FindDefinitionByName(const API_Guid& group, std::string_view name) const
{
    const auto found = definitionsByGroup.find(group);
    if (found == definitionsByGroup.end())
        return nullptr;
    for (const auto& [key, definition] : found->second.inOrder)
        if (definition->name == name)
            return definition;
    return nullptr;
}

const ClassificationItem* Project::FindItemById(std::string_view id, std::string_view systemName) const
{
    // Depth first, children in order, so "first" follows the order in which the items are shown.
    std::vector<API_Guid> pending;
    for (const auto& [key, system] : systems.byKey) {
        if (!systemName.empty() && system.name != systemName)
            continue;
        pending.assign(system.items.rbegin(), system.items.rend());
        while (!pending.empty()) {
            const ClassificationItem& item = items.find(pending.back())->second;
            pending.pop_back();
            if (item.id == id)
                return &item;
            pending.insert(pending.end(), item.children.rbegin(), item.children.rend());
        }
    }
    return nullptr;
}

std::vector<const PropertyDefinition*> Project::DefinitionsOfGroup(const API_Guid& group) const
{
    std::vector<const PropertyDefinition*> result;
    const auto found = definitionsByGroup.find(group);
    if (found != definitionsByGroup.end()) {
        result.reserve(found->second.inOrder.size());
        for (const auto& [key, definition] : found->second.inOrder)
            result.push_back(definition);
    }
    return result;
}

std::vector<const PropertyDefinition*> Project::DefinitionsForItem(const API_Guid& item) const
{
    std::vector<const PropertyDefinition*> result;
    const auto found = definitionsByItem.find(item);
    if (found != definitionsByItem.end()) {
        result.reserve(found->second.inOrder.size());
        for (const auto& [key, definition] : found->second.inOrder)
            result.push_back(definition);
    }
    return result;
}

bool Project::AppliesTo(const API_Guid& definition, const API_Guid& element) const
{
    const Element* target = elements.Find(element);
    const auto key = definitions.at.find(definition);
    if (target == nullptr || key == definitions.at.end() || IsNil(target->classification))
        return false;
    const auto found = definitionsByItem.find(target->classification);
    return found != definitionsByItem.end() && found->second.keys.count(key->second->first) != 0;
}

namespace {

// Where the value of `definition` is, or would go, among values ordered by definition GUID.
template <typename Held>
auto HeldPlace(Held& held, const API_Guid& definition)
{
    return std::lower_bound(held.begin(), held.end(), definition,
                            [](const auto& entry, const API_Guid& guid) { return GuidLess()(entry.first, guid); });
}

}  // namespace

const Value* Project::FindElementValue(const API_Guid& element, const API_Guid& definition) const
{
    const auto held = values.find(element);
    if (held == values.end())
        return nullptr;
    const auto found = HeldPlace(held->second, definition);
    return found != held->second.end() && found->first == definition ? &found->second : nullptr;
}

void Project::ForEachValue(const std::function<void(const API_Guid&, const API_Guid&, const Value&)>& visit) const
{
    struct Entry {
        const API_Guid* element;
        const API_Guid* definition;
        const Value* value;
    };
    std::vector<Entry> entries;
    entries.reserve(valueCount);
    for (const auto& [element, held] : values)
        for (const auto& [definition, value] : held)
            entries.push_back(Entry{&element, &definition, &value});
    const GuidLess less;
    std::sort(entries.begin(), entries.end(), [&less](const Entry& left, const Entry& right) {
        if (!(*left.definition == *right.definition))
            return less(*left.definition, *right.definition);
        return less(*left.element, *right.element);
    });
    for (const Entry& entry : entries)
        visit(*entry.element, *entry.definition, *entry.value);
}

void Project::ForEachValueOfElement(const API_Guid& element,
                                    const std::function<void(const API_Guid&, const Value&)>& visit) const
{
    const auto held = values.find(element);
    if (held == values.end())
        return;
    for (const auto& [definition, value] : held->second)
        visit(definition, value);
}

std::pair<Value*, bool> Project::EmplaceHeld(const API_Guid& element, const API_Guid& definition)
{
    HeldValues& held = values[element];
    const auto found = HeldPlace(held, definition);
    if (found != held.end() && found->first == definition)
        return {&found->second, false};
    // A quarter more room at a time: an element's values are read one by one, and doubling would
    // leave a third of the room unused on average.
    if (held.size() == held.capacity())
        held.reserve(held.size() + held.size() / 4 + 2);
    const auto at = held.insert(HeldPlace(held, definition), std::make_pair(definition, Value{}));
    ++valueCount;
    CountHeld(definition, 1);
    return {&at->second, true};
}

std::optional<Value> Project::EraseHeld(const API_Guid& element, const API_Guid& definition)
{
    const auto held = values.find(element);
    if (held == values.end())
        return std::nullopt;
    const auto found = HeldPlace(held->second, definition);
    if (found == held->second.end() || !(found->first == definition))
        return std::nullopt;
    std::optional<Value> value = std::move(found->second);
    held->second.erase(found);
    if (held->second.empty())
        values.erase(held);
    --valueCount;
    CountHeld(definition, -1);
    return value;
}

void Project::CountHeld(const API_Guid& definition, std::ptrdiff_t by)
{
    std::size_t& count = heldPerDefinition[definition];
    count = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(count) + by);
    if (count == 0)
        heldPerDefinition.erase(definition);
}

std::vector<Project::TakenValues> Project::TakeValuesOf(const std::vector<API_Guid>& taken)
{
    std::vector<TakenValues> result(taken.size());
    // The definitions that hold values, sorted by GUID, with where their values go.
    std::vector<std::pair<API_Guid, std::size_t>> holding;
    for (std::size_t index = 0; index < taken.size(); ++index) {
        if (const auto held = heldPerDefinition.find(taken[index]); held != heldPerDefinition.end()) {
            holding.emplace_back(taken[index], index);
            result[index].reserve(held->second);
        }
    }
    if (holding.empty())
        return result;
    std::sort(holding.begin(), holding.end(),
              [](const auto& left, const auto& right) { return GuidLess()(left.first, right.first); });
    for (auto element = values.begin(); element != values.end();) {
        HeldValues& held = element->second;
        // Both lists are ordered by definition GUID: the values to keep move up over those taken.
        auto kept = held.begin();
        auto next = holding.begin();
        for (auto value = held.begin(); value != held.end(); ++value) {
            while (next != holding.end() && GuidLess()(next->first, value->first))
                ++next;
            if (next != holding.end() && next->first == value->first) {
                result[next->second].emplace_back(element->first, std::move(value->second));
                continue;
            }
            if (kept != value)
                *kept = std::move(*value);
            ++kept;
        }
        const std::size_t removed = static_cast<std::size_t>(held.end() - kept);
        held.erase(kept, held.end());
        valueCount -= removed;
        element = held.empty() ? values.erase(element) : std::next(element);
    }
    for (const auto& [definition, index] : holding)
        heldPerDefinition.erase(definition);
    return result;
}

bool Project::IsGuidInUse(const API_Guid& guid) const
{
    return systems.Contains(guid) || items.count(guid) != 0 || groups.Contains(guid) || definitions.Contains(guid) ||
           elements.Contains(guid);
}

void Project::Record(InverseAction inverse)
{
    if (IsRecording())
        recorder->RecordInverse(std::move(inverse));
}

API_Guid Project::NewGuid()
{
    const UInt64 before = guidSerial;
    API_Guid guid;
    do {
        ++guidSerial;
        const UInt64 high = Mix(guidSerial);
        const UInt64 low = Mix(guidSerial ^ 0x5153474D51534700ull);
        guid.data1 = static_cast<UInt32>(high >> 32);
        guid.data2 = static_cast<UInt16>(high >> 16);
        // Version 4 and the RFC 4122 variant, so the GUIDs look like those of any host.
        guid.data3 = static_cast<UInt16>((high & 0x0FFF) | 0x4000);
        std::memcpy(guid.data4, &low, sizeof guid.data4);
        guid.data4[0] = static_cast<UInt8>((guid.data4[0] & 0x3F) | 0x80);
    } while (IsNil(guid) || IsGuidInUse(guid));
    Record([before](Project& project) { project.guidSerial = before; });
    return guid;
}

bool Project::IsWantedGuidUsable(const API_Guid& wanted) const
{
    return IsNil(wanted) || !IsGuidInUse(wanted);
}

bool Project::IsValidDefinitionContent(const PropertyDefinition& definition) const
{
    if (!IsValueTypeCode(definition.valueType) || !IsMeasureTypeCode(definition.measureType) ||
        definition.defaultValue.type != definition.valueType || !IsCanonical(definition.defaultValue))
        return false;
    for (const API_Guid& item : definition.availability)
        if (items.count(item) == 0)
            return false;
    return true;
}

void Project::IndexDefinition(UInt64 key, const PropertyDefinition& definition)
{
    // The stored definition: `definition` may be a copy about to be stored under `key`.
    const PropertyDefinition* stored = definitions.Find(definition.guid);
    const auto add = [key, stored](DefinitionSet& set) {
        set.inOrder[key] = stored;
        set.keys.insert(key);
    };
    add(definitionsByGroup[definition.group]);
    for (const API_Guid& item : definition.availability)
        add(definitionsByItem[item]);
}

void Project::UnindexDefinition(UInt64 key, const PropertyDefinition& definition)
{
    const auto eraseKey = [key](auto& index, const API_Guid& guid) {
        const auto found = index.find(guid);
        if (found == index.end())
            return;
        found->second.inOrder.erase(key);
        found->second.keys.erase(key);
        if (found->second.keys.empty())
            index.erase(found);
    };
    eraseKey(definitionsByGroup, definition.group);
    for (const API_Guid& item : definition.availability)
        eraseKey(definitionsByItem, item);
}

Project::RemovedDefinition Project::RemoveDefinitionQuietly(const API_Guid& guid, TakenValues values)
{
    RemovedDefinition removed;
    removed.key = definitions.KeyOf(guid);
    UnindexDefinition(removed.key, *definitions.Find(guid));
    removed.definition = definitions.Erase(guid);
    removed.values = std::move(values);
    return removed;
}

void Project::RestoreDefinitionQuietly(RemovedDefinition removed)
{
    const API_Guid guid = removed.definition.guid;
    definitions.InsertAt(removed.key, std::move(removed.definition));
    IndexDefinition(removed.key, *definitions.Find(guid));
    for (auto& [element, value] : removed.values)
        *EmplaceHeld(element, guid).first = std::move(value);
}

void Project::RemoveItemQuietly(const API_Guid& guid)
{
    const auto found = items.find(guid);
    if (found == items.end())
        return;
    std::vector<API_Guid>* siblings = nullptr;
    if (IsNil(found->second.parent)) {
        if (ClassificationSystem* system = systems.Find(found->second.system))
            siblings = &system->items;
    } else if (const auto parent = items.find(found->second.parent); parent != items.end()) {
        siblings = &parent->second.children;
    }
    if (siblings != nullptr)
        siblings->erase(std::remove(siblings->begin(), siblings->end(), guid), siblings->end());
    items.erase(found);
}

API_Guid Project::AddSystem(std::string name, std::string version, const API_Guid& wanted)
{
    if (!IsWantedGuidUsable(wanted))
        return APINULLGuid;
    ClassificationSystem system;
    system.guid = IsNil(wanted) ? NewGuid() : wanted;
    system.name = std::move(name);
    system.version = std::move(version);
    const API_Guid guid = system.guid;
    systems.Append(std::move(system));
    Record([guid](Project& project) { project.systems.Erase(guid); });
    return guid;
}

API_Guid Project::AddItem(const API_Guid& system, const API_Guid& parent, std::string id, std::string name,
                          const API_Guid& wanted)
{
    ClassificationSystem* owner = systems.Find(system);
    if (owner == nullptr || !IsWantedGuidUsable(wanted))
        return APINULLGuid;
    ClassificationItem* parentItem = nullptr;
    if (!IsNil(parent)) {
        const auto found = items.find(parent);
        if (found == items.end() || !(found->second.system == system))
            return APINULLGuid;
        parentItem = &found->second;
    }
    ClassificationItem item;
    item.guid = IsNil(wanted) ? NewGuid() : wanted;
    item.system = system;
    item.parent = parent;
    item.id = std::move(id);
    item.name = std::move(name);
    const API_Guid guid = item.guid;
    (parentItem != nullptr ? parentItem->children : owner->items).push_back(guid);
    items.emplace(guid, std::move(item));
    Record([guid](Project& project) { project.RemoveItemQuietly(guid); });
    return guid;
}

API_Guid Project::AddGroup(std::string name, std::string description, Int32 kind, const API_Guid& wanted)
{
    if (!IsWantedGuidUsable(wanted))
        return APINULLGuid;
    PropertyGroup group;
    group.guid = IsNil(wanted) ? NewGuid() : wanted;
    group.name = std::move(name);
    group.description = std::move(description);
    group.kind = kind;
    const API_Guid guid = group.guid;
    groups.Append(std::move(group));
    Record([guid](Project& project) { project.groups.Erase(guid); });
    return guid;
}

API_Guid Project::AddDefinition(PropertyDefinition definition)
{
    if (groups.Find(definition.group) == nullptr || !IsValidDefinitionContent(definition) ||
        !IsWantedGuidUsable(definition.guid))
        return APINULLGuid;
    if (IsNil(definition.guid))
        definition.guid = NewGuid();
    const API_Guid guid = definition.guid;
    const UInt64 key = definitions.Append(std::move(definition));
    IndexDefinition(key, *definitions.Find(guid));
    Record([guid](Project& project) {
        project.RemoveDefinitionQuietly(guid, std::move(project.TakeValuesOf({guid}).front()));
    });
    return guid;
}

API_Guid Project::AddElement(std::string name, std::string ifcType, const API_Guid& classification,
                             const API_Guid& wanted)
{
    if (!IsWantedGuidUsable(wanted) || (!IsNil(classification) && items.count(classification) == 0))
        return APINULLGuid;
    Element element;
    element.guid = IsNil(wanted) ? NewGuid() : wanted;
    element.name = std::move(name);
    element.ifcType = std::move(ifcType);
    element.classification = classification;
    const API_Guid guid = element.guid;
    elements.Append(std::move(element));
    Record([guid](Project& project) {
        // Values written to the element since (outside any command) go with it.
        if (const auto held = project.values.find(guid); held != project.values.end()) {
            for (const auto& [definition, value] : held->second)
                project.CountHeld(definition, -1);
            project.valueCount -= held->second.size();
            project.values.erase(held);
        }
        project.elements.Erase(guid);
    });
    return guid;
}

GSErrCode Project::SetSystemVersion(const API_Guid& guid, std::string version)
{
    ClassificationSystem* system = systems.Find(guid);
    if (system == nullptr)
        return HostError::BadId;
    std::string before = std::exchange(system->version, std::move(version));
    Record([guid, before = std::move(before)](Project& project) {
        if (ClassificationSystem* restored = project.systems.Find(guid))
            restored->version = before;
    });
    return NoError;
}

GSErrCode Project::SetItemName(const API_Guid& guid, std::string name)
{
    const auto found = items.find(guid);
    if (found == items.end())
        return HostError::BadId;
    std::string before = std::exchange(found->second.name, std::move(name));
    Record([guid, before = std::move(before)](Project& project) {
        if (const auto restored = project.items.find(guid); restored != project.items.end())
            restored->second.name = before;
    });
    return NoError;
}

GSErrCode Project::SetGroupDescription(const API_Guid& guid, std::string description)
{
    PropertyGroup* group = groups.Find(guid);
    if (group == nullptr)
        return HostError::BadId;
    std::string before = std::exchange(group->description, std::move(description));
    Record([guid, before = std::move(before)](Project& project) {
        if (PropertyGroup* restored = project.groups.Find(guid))
            restored->description = before;
    });
    return NoError;
}

GSErrCode Project::UpdateDefinition(const PropertyDefinition& definition)
{
    PropertyDefinition* stored = definitions.Find(definition.guid);
    if (stored == nullptr)
        return HostError::BadId;
    if (!IsValidDefinitionContent(definition))
        return HostError::BadParameter;
    const UInt64 key = definitions.KeyOf(definition.guid);
    PropertyDefinition before = *stored;
    UnindexDefinition(key, *stored);
    *stored = definition;
    stored->group = before.group;
    IndexDefinition(key, *stored);
    Record([key, before = std::move(before)](Project& project) {
        PropertyDefinition* restored = project.definitions.Find(before.guid);
        if (restored == nullptr)
            return;
        project.UnindexDefinition(key, *restored);
        *restored = before;
        project.IndexDefinition(key, *restored);
    });
    return NoError;
}

GSErrCode Project::RemoveGroup(const API_Guid& guid)
{
    if (groups.Find(guid) == nullptr)
        return HostError::BadId;
    std::vector<API_Guid> owned;
    for (const PropertyDefinition* definition : DefinitionsOfGroup(guid))
        owned.push_back(definition->guid);
    std::vector<TakenValues> taken = TakeValuesOf(owned);
    std::vector<RemovedDefinition> removed;
    removed.reserve(owned.size());
    for (std::size_t index = 0; index < owned.size(); ++index)
        removed.push_back(RemoveDefinitionQuietly(owned[index], std::move(taken[index])));
    const UInt64 key = groups.KeyOf(guid);
    PropertyGroup group = groups.Erase(guid);
    // One inverse for the whole removal; shared so that the action stays copyable.
    auto saved = std::make_shared<std::pair<PropertyGroup, std::vector<RemovedDefinition>>>(std::move(group),
                                                                                            std::move(removed));
    Record([key, saved](Project& project) {
        project.groups.InsertAt(key, saved->first);
        for (RemovedDefinition& definition : saved->second)
            project.RestoreDefinitionQuietly(std::move(definition));
        saved->second.clear();
    });
    return NoError;
}

GSErrCode Project::SetElementClassification(const API_Guid& guid, const API_Guid& item)
{
    Element* element = elements.Find(guid);
    if (element == nullptr || (!IsNil(item) && items.count(item) == 0))
        return HostError::BadId;
    const API_Guid before = std::exchange(element->classification, item);
    Record([guid, before](Project& project) {
        if (Element* restored = project.elements.Find(guid))
            restored->classification = before;
    });
    return NoError;
}

GSErrCode Project::SetElementValue(const API_Guid& element, const API_Guid& definition, Value value)
{
    if (elements.Find(element) == nullptr || definitions.Find(definition) == nullptr)
        return HostError::BadId;
    if (!IsCanonical(value))
        return HostError::BadParameter;
    const auto [held, made] = EmplaceHeld(element, definition);
    if (IsRecording()) {
        std::optional<Value> before;
        if (!made)
            before = std::move(*held);
        Record([element, definition, before = std::move(before)](Project& project) {
            project.PutValueQuietly(element, definition, before);
        });
    }
    *held = std::move(value);
    return NoError;
}

GSErrCode Project::ResetElementValue(const API_Guid& element, const API_Guid& definition)
{
    if (elements.Find(element) == nullptr || definitions.Find(definition) == nullptr)
        return HostError::BadId;
    std::optional<Value> before = EraseHeld(element, definition);
    if (before.has_value() && IsRecording())
        Record([element, definition, before = std::move(before)](Project& project) {
            project.PutValueQuietly(element, definition, before);
        });
    return NoError;
}

void Project::PutValueQuietly(const API_Guid& element, const API_Guid& definition, std::optional<Value> value)
{
    if (value.has_value())
        *EmplaceHeld(element, definition).first = std::move(*value);
    else
        EraseHeld(element, definition);
}

std::size_t Project::ClassifyElementsByType()
{
    std::unordered_map<std::string, API_Guid> itemByType;
    std::size_t classified = 0;
    std::vector<API_Guid> pending;
    for (const auto& [key, element] : elements.byKey)
        if (IsNil(element.classification))
            pending.push_back(element.guid);
    for (const API_Guid& guid : pending) {
        const std::string& type = elements.Find(guid)->ifcType;
        auto found = itemByType.find(type);
        if (found == itemByType.end()) {
            const ClassificationItem* item = FindItemById(type);
            found = itemByType.emplace(type, item == nullptr ? APINULLGuid : item->guid).first;
        }
        if (!IsNil(found->second) && SetElementClassification(guid, found->second) == NoError)
            ++classified;
    }
    return classified;
}

}  // namespace TestHost
