// The parts of module file reading that are the same on every system: icon groups are read
// through ReadResource, and string lists are parsed from their bytes.
#include "ResourceFile.hpp"

#include <cstring>
#include <utility>

const char* RSDescribeFileError(RSFileError error)
{
    switch (error) {
    case RSFileError::None:
        return "no error";
    case RSFileError::FileNotFound:
        return "the file does not exist or cannot be opened";
    case RSFileError::NotAModule:
        return "the file is not a module of this system";
    case RSFileError::NoResources:
        return "the module has no resources";
    case RSFileError::Malformed:
        return "the module's resources are damaged";
    case RSFileError::ResourceNotFound:
        return "the module has no such resource";
    }
    return "unknown error";
}

RSModuleFile::RSModuleFile(RSModuleFile&& other) noexcept : RSModuleFile()
{
    std::swap(impl, other.impl);
}

RSModuleFile& RSModuleFile::operator=(RSModuleFile&& other) noexcept
{
    std::swap(impl, other.impl);
    return *this;
}

namespace {

UInt16 ReadUInt16(const UInt8* at)
{
    return static_cast<UInt16>(at[0] | (at[1] << 8));
}

UInt32 ReadUInt32(const UInt8* at)
{
    return static_cast<UInt32>(at[0]) | (static_cast<UInt32>(at[1]) << 8) | (static_cast<UInt32>(at[2]) << 16) |
           (static_cast<UInt32>(at[3]) << 24);
}

}  // namespace

RSFileError RSModuleFile::ReadIconGroup(const RSResourceKey& name, RSIconGroup& group) const
{
    // The group directory: reserved 0, type 1, count, then 14 bytes per image: width, height
    // (0 for 256), colours, reserved, planes, bits per pixel, byte size, image number.
    constexpr std::size_t HeaderSize = 6;
    constexpr std::size_t EntrySize = 14;
    std::vector<UInt8> directory;
    if (const RSFileError error = ReadResource(RSResourceKey::Number(RSIconGroupType), name, directory);
        error != RSFileError::None)
        return error;
    if (directory.size() < HeaderSize || ReadUInt16(directory.data()) != 0 || ReadUInt16(directory.data() + 2) != 1)
        return RSFileError::Malformed;
    const std::size_t count = ReadUInt16(directory.data() + 4);
    if (directory.size() < HeaderSize + count * EntrySize)
        return RSFileError::Malformed;

    std::vector<RSIconImage> images(count);
    for (std::size_t i = 0; i < count; ++i) {
        const UInt8* entry = directory.data() + HeaderSize + i * EntrySize;
        RSIconImage& image = images[i];
        image.width = entry[0] == 0 ? 256 : entry[0];
        image.height = entry[1] == 0 ? 256 : entry[1];
        image.bitCount = ReadUInt16(entry + 6);
        image.id = ReadUInt16(entry + 12);
        const RSFileError error = ReadResource(RSResourceKey::Number(RSIconType), RSResourceKey::Number(image.id), image.bytes);
        if (error == RSFileError::ResourceNotFound || (error == RSFileError::None && image.bytes.size() != ReadUInt32(entry + 8)))
            return RSFileError::Malformed;
        if (error != RSFileError::None)
            return error;
    }
    group.directory = std::move(directory);
    group.images = std::move(images);
    return RSFileError::None;
}

bool RSGetStringItem(const std::vector<UInt8>& list, Int32 index, std::string& item)
{
    if (index < 1 || list.size() < 4)
        return false;
    const std::size_t count = ReadUInt32(list.data());
    if (count > list.size() - 4)
        return false;
    const char* at = reinterpret_cast<const char*>(list.data() + 4);
    const char* end = at + count;
    for (Int32 current = 1; at < end; ++current) {
        const void* nul = std::memchr(at, 0, static_cast<std::size_t>(end - at));
        if (nul == nullptr)
            return false;
        if (current == index) {
            item.assign(at, static_cast<const char*>(nul));
            return true;
        }
        at = static_cast<const char*>(nul) + 1;
    }
    return false;
}
