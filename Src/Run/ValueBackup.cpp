#include "ValueBackup.hpp"

#include <cstring>
#include <functional>

#include "Common/ExactText.hpp"
#include "Common/XmlName.hpp"

namespace Quillmere {

namespace {

// The texts of the codes the host gives a definition's value type and measure type, as the file
// writes them.
struct CodeName {
    Int32 code;
    const char* name;
};
constexpr CodeName ValueTypeNames[] = {
    {API_PropertyUndefinedValueType, "Undefined"}, {API_PropertyIntegerValueType, "Integer"},
    {API_PropertyRealValueType, "Real"},           {API_PropertyStringValueType, "String"},
    {API_PropertyBooleanValueType, "Boolean"},
};
constexpr CodeName MeasureTypeNames[] = {
    {1, "Default"}, {2, "Length"}, {3, "Area"}, {4, "Volume"}, {5, "Angle"},
};

template <std::size_t Size>
const char* NameOfCode(const CodeName (&names)[Size], Int32 code)
{
    for (const CodeName& name : names)
        if (name.code == code)
            return name.name;
    return "";
}

}  // namespace

const char* ValueTypeName(Int32 valueType)
{
    return NameOfCode(ValueTypeNames, valueType);
}

const char* MeasureTypeName(Int32 measureType)
{
    return NameOfCode(MeasureTypeNames, measureType);
}

Int32 ValueTypeOfName(std::string_view name)
{
    for (const CodeName& type : ValueTypeNames)
        if (name == type.name && type.code != API_PropertyUndefinedValueType)
            return type.code;
    return ValueBackup::UnconvertedValueType;
}

char* ValueBackup::TextArena::Allocate(std::size_t bytes)
{
    constexpr std::size_t BlockSize = std::size_t{1} << 20;
    if (bytes > left) {
        const std::size_t size = bytes > BlockSize / 4 ? bytes : BlockSize;
        blocks.push_back(std::make_unique_for_overwrite<char[]>(size));
        char* block = blocks.back().get();
        if (bytes > BlockSize / 4)
            return block;  // a text of its own; the current block stays in use
        next = block;
        left = size;
    }
    char* start = next;
    next += bytes;
    left -= bytes;
    return start;
}

std::size_t ValueBackup::PairHash::operator()(const std::pair<std::string_view, std::string_view>& pair) const noexcept
{
    const std::size_t first = std::hash<std::string_view>()(pair.first);
    return first ^ (std::hash<std::string_view>()(pair.second) + 0x9E3779B97F4A7C15ull + (first << 6) + (first >> 2));
}

std::string_view ValueBackup::Keep(std::string_view text)
{
    if (text.empty())
        return {};
    char* copy = arena.Allocate(text.size());
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
    scratch.assign(group).append(1, '-').append(property);
    const std::string_view text = Keep(scratch);
    return AddKey(Key{text.substr(0, group.size()), text.substr(group.size() + 1), text, true, false});
}

UInt32 ValueBackup::InternKey(std::string_view text)
{
    const std::size_t dash = text.find('-');
    if (dash != std::string_view::npos)
        return InternKey(text.substr(0, dash), text.substr(dash + 1));
    if (const auto found = unseparatedKeyIndex.find(text); found != unseparatedKeyIndex.end())
        return found->second;
    const std::string_view kept = Keep(text);
    return AddKey(Key{kept, std::string_view(), kept, false, false});
}

std::optional<UInt32> ValueBackup::FindKey(std::string_view group, std::string_view property) const
{
    const auto found = keyIndex.find({group, property});
    if (found == keyIndex.end())
        return std::nullopt;
    return found->second;
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

void ValueBackup::AddValue(UInt32 key, Int32 valueType, Int32 measureType, const GS::UniString& text)
{
    scratch.clear();
    AppendExactUtf8(scratch, text);
    AddValue(key, valueType, measureType, std::string_view(scratch));
}

void ValueBackup::EndEntry()
{
    if (!entries.empty() && entries.back().valueCount == 0)
        entries.pop_back();
}

}  // namespace Quillmere
