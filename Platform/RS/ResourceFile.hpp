// Reading a module's resources straight from its file, as a host does before it runs any module
// code: on Windows the PE resources of the DLL, on Linux the resource section of the shared object
// (its layout: Src/Resources/README.md). Resources are keyed by type and name as in PE files; each
// of the two is a number or a name.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "../GSRoot/GSTypes.hpp"
#include "../PlatformExport.hpp"
#include "RS.hpp"

// A resource type or name: a number (1..65535) or a name compared without regard to ASCII case.
struct RSResourceKey {
    UInt16 id = 0;     // the number, when `name` is empty
    std::string name;  // the name, printable ASCII

    static RSResourceKey Number(UInt16 id) { return RSResourceKey{id, {}}; }
    static RSResourceKey Named(std::string name) { return RSResourceKey{0, std::move(name)}; }
};

// Resource types of icons, numbered as in PE files.
constexpr UInt16 RSIconType = 3;
constexpr UInt16 RSIconGroupType = 14;

// Why a module file could not be read.
enum class RSFileError {
    None,
    FileNotFound,      // no file at the path, or it cannot be opened
    NotAModule,        // not a 64-bit shared object / DLL of this system
    NoResources,       // a module without a resource section
    Malformed,         // the resource section or directory is damaged
    ResourceNotFound,  // no resource of that type and name
};

// A short English description of `error`, for messages.
PLATFORM_API const char* RSDescribeFileError(RSFileError error);

// One image of an icon group.
struct RSIconImage {
    UInt16 id = 0;        // the image's number among the RSIconType resources
    UInt16 width = 0;     // pixels, from the group directory (256 for the directory's 0)
    UInt16 height = 0;
    UInt16 bitCount = 0;  // bits per pixel, from the group directory
    std::vector<UInt8> bytes;  // a PNG file, or a bitmap header followed by pixels and mask
};

// An icon group: its directory as stored, and its images in directory order.
struct RSIconGroup {
    std::vector<UInt8> directory;
    std::vector<RSIconImage> images;
};

// The resources of one module file, open for reading. Movable, not copyable.
class PLATFORM_API RSModuleFile {
public:
    RSModuleFile() noexcept;
    RSModuleFile(RSModuleFile&& other) noexcept;
    RSModuleFile& operator=(RSModuleFile&& other) noexcept;
    RSModuleFile(const RSModuleFile&) = delete;
    RSModuleFile& operator=(const RSModuleFile&) = delete;
    ~RSModuleFile();

    // Opens the module file at `path` without running its code (closing what was open before).
    // On failure the object stays closed and the reason is returned.
    RSFileError Open(const std::filesystem::path& path);
    // Opens the resources of the module loaded at `instance` in this process. Fails with
    // FileNotFound when nothing is loaded there.
    RSFileError OpenLoaded(GSInstance instance);
    void Close() noexcept;
    bool IsOpen() const noexcept;

    // Copies the raw bytes of the resource `name` of `type` into `bytes`. Returns None, or the
    // reason (ResourceNotFound, Malformed, NotAModule when closed) with `bytes` untouched.
    RSFileError ReadResource(const RSResourceKey& type, const RSResourceKey& name, std::vector<UInt8>& bytes) const;
    // Reads the icon group `name` and each image it lists. Returns None, or the reason with
    // `group` untouched; a group naming a missing image is Malformed.
    RSFileError ReadIconGroup(const RSResourceKey& name, RSIconGroup& group) const;

private:
    struct Impl;
    Impl* impl;
};

// Item `index` (1-based) of a string list resource (a 32-bit little-endian byte count, then
// NUL-terminated 8-bit items). Returns false, `item` untouched, when the item does not exist or
// the list is damaged (count beyond the data, last item without NUL).
PLATFORM_API bool RSGetStringItem(const std::vector<UInt8>& list, Int32 index, std::string& item);
