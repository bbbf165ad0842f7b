// The test host's in-memory project: classification systems with their items, property groups,
// property definitions, elements and the values elements hold. Groups, definitions and elements
// keep the order in which they were added (the host order). Every look-up by GUID is hashed, and an
// element's values lie together, ordered by definition GUID (one hashed look-up of the element and a
// binary search among its values), so a service call costs the same on a project of a few hundred
// thousand elements as on a small one, apart from what it copies out, and taking the values element
// by element, as the add-on and the project file do, keeps to memory that lies together.
#pragma once

#include <cstddef>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "Api/ApiRecords.hpp"

namespace TestHost {

// Orders GUIDs by their 16 bytes, field by field.
struct GuidLess {
    bool operator()(const API_Guid& left, const API_Guid& right) const noexcept;
};

// Hashes a GUID for the unordered indices.
struct GuidHash {
    std::size_t operator()(const API_Guid& guid) const noexcept;
};

// The text form XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX in upper-case hexadecimal, as GS::Guid writes it.
std::string GuidToText(const API_Guid& guid);
// Parses the text form in either letter case; returns false (and leaves `guid` alone) for any other text.
bool TextToGuid(std::string_view text, API_Guid& guid);

// One typed value. `type` is a value type code (0 undefined, 1 integer, 2 real, 3 string,
// 4 Boolean); the field that it names holds the value and the others stay zero or empty.
struct Value {
    Int32 type = API_PropertyUndefinedValueType;
    Int32 integer = 0;
    double real = 0.0;
    bool boolean = false;
    std::string text;  // UTF-8

    bool operator==(const Value& other) const = default;
};

Value MakeUndefinedValue();
Value MakeIntegerValue(Int32 value);
Value MakeRealValue(double value);
Value MakeStringValue(std::string value);
Value MakeBooleanValue(bool value);
// The zero value of a value type code: 0, 0.0, "", false; undefined for any other code.
Value MakeZeroValue(Int32 type);

struct ClassificationSystem {
    API_Guid guid;
    std::string name;
    std::string version;
    std::vector<API_Guid> items;  // top-level items, in order
};

struct ClassificationItem {
    API_Guid guid;
    API_Guid system;
    API_Guid parent;              // nil for a top-level item
    std::string id;               // textual id, such as "IfcWall"
    std::string name;
    std::vector<API_Guid> children;
};

struct PropertyGroup {
    API_Guid guid;
    std::string name;
    std::string description;
    Int32 kind = API_PropertyCustomDefinitionKind;
};

struct PropertyDefinition {
    API_Guid guid;
    API_Guid group;
    std::string name;
    std::string description;
    Int32 kind = API_PropertyCustomDefinitionKind;
    Int32 collectionType = 0;
    Int32 valueType = API_PropertyUndefinedValueType;
    Int32 measureType = API_PropertyDefaultMeasureType;
    Value defaultValue;
    std::vector<std::string> expressions;
    UInt8 expressionFlag = 0;
    std::vector<API_Guid> availability;  // the classification items it applies to

    bool operator==(const PropertyDefinition& other) const = default;
};

struct Element {
    API_Guid guid;
    std::string name;
    std::string ifcType;         // such as "IfcWall"
    API_Guid classification;     // its classification item; nil when unclassified
};

class Project;

// What undoes one change of the project; run with recording switched off.
using InverseAction = std::function<void(Project&)>;

// Receives the inverse of every change the project makes (see UndoHistory).
class ChangeRecorder {
public:
    virtual ~ChangeRecorder() = default;
    virtual void RecordInverse(InverseAction inverse) = 0;
    // Whether RecordInverse keeps what it is given now; when not, the project skips building inverses.
    virtual bool IsRecording() const noexcept { return true; }
};

// The values of a table in host order, as const references.
template <typename T>
class OrderedView {
public:
    using Map = std::map<UInt64, T>;
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T*;
        using reference = const T&;

        explicit Iterator(typename Map::const_iterator at) : at(at) {}
        const T& operator*() const { return at->second; }
        const T* operator->() const { return &at->second; }
        Iterator& operator++()
        {
            ++at;
            return *this;
        }
        bool operator==(const Iterator& other) const { return at == other.at; }
        bool operator!=(const Iterator& other) const { return at != other.at; }
    private:
        typename Map::const_iterator at;
    };

    explicit OrderedView(const Map& map) : map(map) {}
    Iterator begin() const { return Iterator(map.begin()); }
    Iterator end() const { return Iterator(map.end()); }
    std::size_t size() const { return map.size(); }
    bool empty() const { return map.empty(); }

private:
    const Map& map;
};

class Project {
public:
    Project() = default;
    Project(const Project&) = delete;
    Project& operator=(const Project&) = delete;
    // Moving takes the content; the change recorder stays with neither (attach it again).
    Project(Project&& other) noexcept;
    Project& operator=(Project&& other) noexcept;

    // Every change made from now on hands its inverse to `recorder` (nullptr: nobody).
    void SetChangeRecorder(ChangeRecorder* recorder) noexcept { this->recorder = recorder; }

    // --- Reading ---------------------------------------------------------------------------------

    OrderedView<ClassificationSystem> Systems() const { return OrderedView<ClassificationSystem>(systems.byKey); }
    OrderedView<PropertyGroup> Groups() const { return OrderedView<PropertyGroup>(groups.byKey); }
    OrderedView<PropertyDefinition> Definitions() const { return OrderedView<PropertyDefinition>(definitions.byKey); }
    OrderedView<Element> Elements() const { return OrderedView<Element>(elements.byKey); }
    std::size_t ItemCount() const noexcept { return items.size(); }
    std::size_t ValueCount() const noexcept { return valueCount; }

    // Each returns nullptr when nothing has that GUID.
    const ClassificationSystem* FindSystem(const API_Guid& guid) const;
    const ClassificationItem* FindItem(const API_Guid& guid) const;
    const PropertyGroup* FindGroup(const API_Guid& guid) const;
    const PropertyDefinition* FindDefinition(const API_Guid& guid) const;
    const Element* FindElement(const API_Guid& guid) const;

    // The first system, group or definition of the group (host order) with that exact name; nullptr if none.
    const ClassificationSystem* FindSystemByName(std::string_view name) const;
    const PropertyGroup* FindGroupByName(std::string_view name) const;
    const PropertyDefinition* FindDefinitionByName(const API_Guid& group, std::string_view name) const;
    // The first item with that textual id, depth first through the systems in host order, limited to
    // the system named `systemName` unless it is empty; nullptr if none.
    const ClassificationItem* FindItemById(std::string_view id, std::string_view systemName = {}) const;

    // The definitions of a group, or that apply to a classification item, in host order; empty for
    // an unknown GUID.
    std::vector<const PropertyDefinition*> DefinitionsOfGroup(const API_Guid& group) const;
    std::vector<const PropertyDefinition*> DefinitionsForItem(const API_Guid& item) const;
    // Whether the definition's availability names the element's classification item.
    bool AppliesTo(const API_Guid& definition, const API_Guid& element) const;

    // The element's own value for a definition; nullptr when it holds none (it then has the default).
    const Value* FindElementValue(const API_Guid& element, const API_Guid& definition) const;
    // Calls visit(element GUID, definition GUID, value) for every value held, ordered by definition
    // GUID and then element GUID (sorted on each call: the store keeps values by element).
    void ForEachValue(const std::function<void(const API_Guid&, const API_Guid&, const Value&)>& visit) const;
    // Calls visit(definition GUID, value) for every value the element holds, ordered by definition
    // GUID (the store's own order, nothing is sorted); nothing for an element without values or an
    // unknown GUID.
    void ForEachValueOfElement(const API_Guid& element,
                               const std::function<void(const API_Guid&, const Value&)>& visit) const;

    // Whether any system, item, group, definition or element has that GUID.
    bool IsGuidInUse(const API_Guid& guid) const;

    // The counter behind generated GUIDs; kept in project files so that later GUIDs stay fresh.
    UInt64 GuidSerial() const noexcept { return guidSerial; }
    void SetGuidSerial(UInt64 serial) noexcept { guidSerial = serial; }

    // --- Changing (each change is recorded with its inverse) -----------------------------------
    // Creating calls take a wanted GUID; nil asks for a generated one. They return the new GUID,
    // or nil when the wanted GUID is in use or a referenced item, system or group does not exist.

    API_Guid AddSystem(std::string name, std::string version, const API_Guid& wanted = APINULLGuid);
    // `parent` nil makes a top-level item of the system; otherwise it must be an item of that system.
    API_Guid AddItem(const API_Guid& system, const API_Guid& parent, std::string id, std::string name,
                     const API_Guid& wanted = APINULLGuid);
    API_Guid AddGroup(std::string name, std::string description, Int32 kind = API_PropertyCustomDefinitionKind,
                      const API_Guid& wanted = APINULLGuid);
    // Adds `definition` (its GUID is the wanted one) at the end of the host order. Fails (nil) for an
    // unknown group or availability item, a value type or measure type code out of range, or a
    // default value that is not of the definition's value type (see MakeZeroValue).
    API_Guid AddDefinition(PropertyDefinition definition);
    API_Guid AddElement(std::string name, std::string ifcType, const API_Guid& classification,
                        const API_Guid& wanted = APINULLGuid);

    // Each returns 0, HostError::BadId for an unknown GUID, or HostError::BadParameter for bad content.
    GSErrCode SetSystemVersion(const API_Guid& system, std::string version);
    GSErrCode SetItemName(const API_Guid& item, std::string name);
    GSErrCode SetGroupDescription(const API_Guid& group, std::string description);
    // The stored definition with that GUID takes every field of `definition` but its group; content
    // that AddDefinition would refuse gives HostError::BadParameter.
    GSErrCode UpdateDefinition(const PropertyDefinition& definition);
    // Removes the group, its definitions and every value elements hold for them.
    GSErrCode RemoveGroup(const API_Guid& group);
    GSErrCode SetElementClassification(const API_Guid& element, const API_Guid& item);
    // Sets the element's own value; does not look at whether the definition applies to it.
    // HostError::BadParameter for a value with an unknown type or data outside its type's field.
    GSErrCode SetElementValue(const API_Guid& element, const API_Guid& definition, Value value);
    // Drops the element's own value, so that it has the default again (no value held is no error).
    GSErrCode ResetElementValue(const API_Guid& element, const API_Guid& definition);

    // Gives every unclassified element the first item whose id is its IFC type. Returns how many.
    std::size_t ClassifyElementsByType();

private:
    // Items in host order by an ever-growing key, with a hashed GUID index that leads straight to
    // the item. Undo puts a removed item back under its old key, which restores its place exactly.
    template <typename T>
    struct Table {
        using Ordered = std::map<UInt64, T>;
        Ordered byKey;
        std::unordered_map<API_Guid, typename Ordered::iterator, GuidHash> at;
        UInt64 nextKey = 1;

        const T* Find(const API_Guid& guid) const;
        T* Find(const API_Guid& guid);
        // The item's key; the item must exist.
        UInt64 KeyOf(const API_Guid& guid) const { return at.find(guid)->second->first; }
        bool Contains(const API_Guid& guid) const { return at.count(guid) != 0; }
        UInt64 Append(T item);
        void InsertAt(UInt64 key, T item);
        T Erase(const API_Guid& guid);
    };

    // The definitions of one group or one classification item: in host order for listing, and
    // hashed by key for the applicability test.
    struct DefinitionSet {
        std::map<UInt64, const PropertyDefinition*> inOrder;
        std::unordered_set<UInt64> keys;
    };

    // The values one element holds, each with its definition's GUID, ordered by that GUID: found by
    // a binary search, and listed in the project file's order.
    using HeldValues = std::vector<std::pair<API_Guid, Value>>;
    // Values taken out of the project with their elements: element GUID and value.
    using TakenValues = std::vector<std::pair<API_Guid, Value>>;

    struct RemovedDefinition {
        UInt64 key;
        PropertyDefinition definition;
        TakenValues values;
    };

    void Record(InverseAction inverse);
    bool IsRecording() const noexcept { return recorder != nullptr && recorder->IsRecording(); }
    API_Guid NewGuid();
    bool IsWantedGuidUsable(const API_Guid& wanted) const;
    bool IsValidDefinitionContent(const PropertyDefinition& definition) const;
    void IndexDefinition(UInt64 key, const PropertyDefinition& definition);
    void UnindexDefinition(UInt64 key, const PropertyDefinition& definition);
    RemovedDefinition RemoveDefinitionQuietly(const API_Guid& definition, TakenValues values);
    void RestoreDefinitionQuietly(RemovedDefinition removed);
    // Takes every value held for the definitions out of the project, per definition in the order
    // given, in one pass over the elements (none when the definitions hold no value).
    std::vector<TakenValues> TakeValuesOf(const std::vector<API_Guid>& definitions);
    // The element's value for the definition, made (a default Value) when it holds none; true when made.
    std::pair<Value*, bool> EmplaceHeld(const API_Guid& element, const API_Guid& definition);
    // Drops the element's value for the definition and answers it; nothing when it holds none.
    std::optional<Value> EraseHeld(const API_Guid& element, const API_Guid& definition);
    // Counts a value of the definition as held (`by` 1) or no longer held (-1).
    void CountHeld(const API_Guid& definition, std::ptrdiff_t by);
    void RemoveItemQuietly(const API_Guid& item);
    // Puts a value back (or drops it, for none) without recording: the inverse of a value change.
    void PutValueQuietly(const API_Guid& element, const API_Guid& definition, std::optional<Value> value);

    Table<ClassificationSystem> systems;
    std::unordered_map<API_Guid, ClassificationItem, GuidHash> items;
    Table<PropertyGroup> groups;
    Table<PropertyDefinition> definitions;
    Table<Element> elements;
    // Values by element, each element's ordered by definition GUID: one hashed look-up per element,
    // after which its values lie together, as the add-on and the project file take them element by
    // element. A group's removal takes its definitions' values out in one pass over the elements,
    // and only when they hold any (heldPerDefinition).
    std::unordered_map<API_Guid, HeldValues, GuidHash> values;
    std::size_t valueCount = 0;
    std::unordered_map<API_Guid, std::size_t, GuidHash> heldPerDefinition;  // values held, by definition
    // Definitions per group and per classification item, kept up to date with every change.
    std::unordered_map<API_Guid, DefinitionSet, GuidHash> definitionsByGroup;
    std::unordered_map<API_Guid, DefinitionSet, GuidHash> definitionsByItem;
    UInt64 guidSerial = 0;
    ChangeRecorder* recorder = nullptr;
};

}  // namespace TestHost
