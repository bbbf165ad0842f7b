#include "ValueBackup.hpp"

#include <cstring>

#include "Common/ExactText.hpp"
#include "Common/XmlName.hpp"
#include "GSRoot/UnicodeCodec.hpp"

namespace Quillmere {

namespace {

// Appends into a fixed block of the arena: the encoder's output target.
struct BlockAppender {
    char* at;
    void push_back(char c) { *at++ = c; }
    void append(const char* bytes, std::size_t count)
    {
        std::memcpy(at, bytes, count);
        at += count;
    }
};

}  // namespace

std::string& ValueBackup::KeepText(std::string text)
{
    keptText = std::make_unique<std::string>(std::move(text));
    return *keptText;
}

bool ValueBackup::IsKeptText(std::string_view text) const noexcept
{
    return keptText != nullptr && text.data() >= keptText->data() && text.data() < keptText->data() + keptText->size();
}

char* ValueBackup::TextArena::Allocate(std::size_t bytes)
{
    constexpr std::size_t BlockSize = std::size_t{1} << 20;
    if (bytes > left) {
        const std::size_t size = bytes > BlockSize / 4 ? bytes : BlockSize;
        // Owned before the list grows: a list that cannot grow must not leak the block.
        std::unique_ptr<char[]> owned(new char[size]);
        blocks.push_back(std::move(owned));
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

void ValueBackup::TextArena::Shrink(char* last, std::size_t capacity, std::size_t used) noexcept
{
    if (last + capacity == next) {
        next -= capacity - used;
        left += capacity - used;
    }
}

UInt32 ValueBackup::InternKey(std::string_view key)
{
    if (const auto found = keyIndex.find(key); found != keyIndex.end())
        return found->second;
    std::string_view kept = key;
    if (!IsKeptText(key)) {
        char* copy = arena.Allocate(key.size());
        std::memcpy(copy, key.data(), key.size());
        kept = std::string_view(copy, key.size());
    }
    const UInt32 index = static_cast<UInt32>(keys.size());
    keys.push_back(Key{kept, IsXmlName(kept)});
    keyIndex.emplace(kept, index);
    return index;
}

std::optional<UInt32> ValueBackup::FindKey(std::string_view key) const
{
    const auto found = keyIndex.find(key);
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
    char* copy = text.empty() ? nullptr : arena.Allocate(text.size());
    if (copy != nullptr)
        std::memcpy(copy, text.data(), text.size());
    AddKeptValue(key, valueType, measureType, copy, text.size());
}

void ValueBackup::AddValue(UInt32 key, Int32 valueType, Int32 measureType, const GS::UniString& text)
{
    // At most three bytes a unit; what the text does not use goes back to the arena.
    const std::size_t capacity = std::size_t{text.GetLength()} * 3;
    char* start = capacity == 0 ? nullptr : arena.Allocate(capacity);
    BlockAppender out{start};
    GS::Unicode::AppendUtf16AsUtf8(out, text.ToUStr(), text.GetLength(), GS::Unicode::Surrogates::Keep);
    const std::size_t length = static_cast<std::size_t>(out.at - start);
    arena.Shrink(start, capacity, length);
    AddKeptValue(key, valueType, measureType, start, length);
}

void ValueBackup::AddKeptValue(UInt32 key, Int32 valueType, Int32 measureType, const char* text, std::size_t length)
{
    values.push_back(Value{text, static_cast<UInt32>(length), key, valueType, measureType});
    ++entries.back().valueCount;
}

void ValueBackup::EndEntry()
{
    if (!entries.empty() && entries.back().valueCount == 0)
        entries.pop_back();
}

}  // namespace Quillmere
