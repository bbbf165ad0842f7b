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
    return APIGuid2GSGuid(guid).ConvertToString().ToCStr().Get();
}

bool TextToGuid(std::string_view text, API_Guid& guid)
{
    // The platform's parser gives the nil GUID for text that is not a GUID; only the nil GUID's
    // own text may give it here.
    const GS::Guid parsed(std::string(text).c_str());
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

const Value* Project::FindElementValue(const API_Guid& element, const API_Guid& definition) const
{
    const auto held = values.find(definition);
    if (held == values.end())
        return nullptr;
    const auto found = held->second.find(element);
    return found == held->second.end() ? nullptr : &found->second;
}

void Project::ForEachValue(const std::function<void(const API_Guid&, const API_Guid&, const Value&)>& visit) const
{
    const GuidLess less;
    std::vector<const std::pair<const API_Guid, ElementValues>*> byDefinition;
    byDefinition.reserve(values.size());
    for (const auto& entry : values)
        byDefinition.push_back(&entry);
    std::sort(byDefinition.begin(), byDefinition.end(),
              [&less](const auto* left, const auto* right) { return less(left->first, right->first); });
    std::vector<const std::pair<const API_Guid, Value>*> byElement;
    for (const auto* definition : byDefinition) {
        byElement.clear();
        for (const auto& entry : definition->second)
            byElement.push_back(&entry);
        std::sort(byElement.begin(), byElement.end(),
                  [&less](const auto* left, const auto* right) { return less(left->first, right->first); });
        for (const auto* held : byElement)
            visit(held->first, definition->first, held->second);
    }
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

Project::RemovedDefinition Project::RemoveDefinitionQuietly(const API_Guid& guid)
{
    RemovedDefinition removed;
    removed.key = definitions.KeyOf(guid);
    UnindexDefinition(removed.key, *definitions.Find(guid));
    removed.definition = definitions.Erase(guid);
    if (const auto held = values.find(guid); held != values.end()) {
        removed.values = std::move(held->second);
        valueCount -= removed.values.size();
        values.erase(held);
    }
    return removed;
}

void Project::RestoreDefinitionQuietly(RemovedDefinition removed)
{
    const API_Guid guid = removed.definition.guid;
    definitions.InsertAt(removed.key, std::move(removed.definition));
    IndexDefinition(removed.key, *definitions.Find(guid));
    if (!removed.values.empty()) {
        valueCount += removed.values.size();
        values[guid] = std::move(removed.values);
    }
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
    Record([guid](Project& project) { project.RemoveDefinitionQuietly(guid); });
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
        for (auto held = project.values.begin(); held != project.values.end();) {
            project.valueCount -= held->second.erase(guid);
            held = held->second.empty() ? project.values.erase(held) : std::next(held);
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
    std::vector<RemovedDefinition> removed;
    removed.reserve(owned.size());
    for (const API_Guid& definition : owned)
        removed.push_back(RemoveDefinitionQuietly(definition));
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
    ElementValues& held = values[definition];
    auto [at, inserted] = held.try_emplace(element);
    if (inserted)
        ++valueCount;
    if (IsRecording()) {
        std::optional<Value> before;
        if (!inserted)
            before = std::move(at->second);
        Record([element, definition, before = std::move(before)](Project& project) {
            project.PutValueQuietly(element, definition, before);
        });
    }
    at->second = std::move(value);
    return NoError;
}

GSErrCode Project::ResetElementValue(const API_Guid& element, const API_Guid& definition)
{
    if (elements.Find(element) == nullptr || definitions.Find(definition) == nullptr)
        return HostError::BadId;
    const auto held = values.find(definition);
    if (held == values.end())
        return NoError;
    const auto found = held->second.find(element);
    if (found == held->second.end())
        return NoError;
    if (IsRecording())
        Record([element, definition, before = std::move(found->second)](Project& project) {
            project.PutValueQuietly(element, definition, before);
        });
    held->second.erase(found);
    --valueCount;
    if (held->second.empty())
        values.erase(held);
    return NoError;
}

void Project::PutValueQuietly(const API_Guid& element, const API_Guid& definition, std::optional<Value> value)
{
    if (value.has_value()) {
        auto [at, inserted] = values[definition].try_emplace(element);
        if (inserted)
            ++valueCount;
        at->second = std::move(*value);
        return;
    }
    const auto held = values.find(definition);
    if (held == values.end())
        return;
    valueCount -= held->second.erase(element);
    if (held->second.empty())
        values.erase(held);
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
