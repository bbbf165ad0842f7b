#include "ValueBackup.hpp"

#include <cstring>
#include <span>

#include "Common/XmlName.hpp"

namespace Quillmere {

namespace {

// The texts the file writes for the codes the host gives a definition's value type (0 to 4) and,
// less one, its measure type (1 to 5).
constexpr const char* ValueTypeNames[] = {"Undefined", "Integer", "Real", "String", "Boolean"};
constexpr const char* MeasureTypeNames[] = {"Default", "Length", "Area", "Volume", "Angle"};
static_assert(API_PropertyUndefinedValueType == 0 && API_PropertyBooleanValueType == 4);
static_assert(API_PropertyDefaultMeasureType == 1 && API_PropertyAngleMeasureType == 5);

const char* NameAt(std::span<const char* const> names, Int32 index)
{
    return index >= 0 && static_cast<std::size_t>(index) < names.size() ? names[index] : "";
}

}  // namespace

const char* ValueTypeName(Int32 valueType)
{
    return NameAt(ValueTypeNames, valueType);
}

const char* MeasureTypeName(Int32 measureType)
{
    return NameAt(MeasureTypeNames, measureType - API_PropertyDefaultMeasureType);
}

Int32 ValueTypeOfName(std::string_view name)
{
    for (Int32 code = API_PropertyIntegerValueType; code <= API_PropertyBooleanValueType; ++code)
        if (name == ValueTypeNames[code])
            return code;
    return ValueBackup::UnconvertedValueType;
}

std::string_view ValueBackup::Keep(std::string_view text)
{
    if (text.empty())
        return {};
    // The first block holds a megabyte; later ones grow, and a larger text gets one of at least its size.
    if (!arena)
        arena = std::make_unique<std::pmr::monotonic_buffer_resource>(std::size_t{1} << 20);
    char* copy = static_cast<char*>(arena->allocate(text.size(), 1));
    std::memcpy(copy, text.data(), text.size());
    return std::string_view(copy, text.size());
}

UInt32 ValueBackup::AddKey(Key key)
{
    key.textIsXmlName = IsXmlName(key.text);
    const UInt32 index = static_cast<UInt32>(keys.size());
    keys.push_back(key);
    if (key.separated)
        keyIndex.emplace(std::make_pair(key.group, key.property), index);
    else
        unseparatedKeyIndex.emplace(key.text, index);
    return index;
}

UInt32 ValueBackup::InternKey(std::string_view group, std::string_view property)
{
    if (const auto found = keyIndex.find({group, property}); found != keyIndex.end())
        return found->second;
    // The joined text, with the two names as views into it.
    const std::string_view text = Keep(std::string(group).append(1, '-').append(property));
    return AddKey(Key{text.substr(0, group.size()), text.substr(group.size() + 1), text, true, false});
}

UInt32 ValueBackup::InternKey(std::string_view text)
{
    if (const std::size_t dash = text.find('-'); dash != std::string_view::npos)
        return InternKey(text.substr(0, dash), text.substr(dash + 1));
    if (const auto found = unseparatedKeyIndex.find(text); found != unseparatedKeyIndex.end())
        return found->second;
    const std::string_view kept = Keep(text);
    return AddKey(Key{kept, std::string_view(), kept, false, false});
}

std::optional<UInt32> ValueBackup::FindKey(std::string_view group, std::string_view property) const
{
    const auto found = keyIndex.find({group, property});
    return found != keyIndex.end() ? std::optional(found->second) : std::nullopt;
}

void ValueBackup::StartEntry(const API_Guid& element)
{
    entries.push_back(Entry{element, static_cast<UInt32>(values.size()), 0});
}

void ValueBackup::AddValue(UInt32 key, Int32 valueType, Int32 measureType, std::string_view text)
{
    const std::string_view kept = Keep(text);
    values.push_back(Value{kept.data(), static_cast<UInt32>(kept.size()), key, valueType, measureType});
    ++entries.back().valueCount;
}

void ValueBackup::EndEntry()
{
    if (!entries.empty() && entries.back().valueCount == 0)
        entries.pop_back();
}

}  // namespace Quillmere
