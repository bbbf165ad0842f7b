// Reading a loaded module's PE tables, and replacing one function that the module imports by
// rewriting its slot in the module's import address table, so that a test sees the module's own
// calls of a system function (and passes them on).
#pragma once

#include <string>
#include <vector>

#include "Win/Win.hpp"

namespace WinTests {

// The names that the module at `module` (loaded, or mapped as an image) exports, in the export
// directory's order, and the number of its exported addresses (named or by ordinal only).
struct ExportDirectory {
    std::vector<std::string> names;
    DWORD addressCount = 0;
    bool present = false;
};
ExportDirectory ReadExportDirectory(HMODULE module);

// While it lives, calls that `module` makes to `function` of `library` (compared without regard to
// case) go to `replacement`. Applied() is false when the module does not import it by name.
class ImportPatch {
public:
    ImportPatch(HMODULE module, const char* library, const char* function, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool Applied() const noexcept { return slot != nullptr; }
    // The address the slot held before; nullptr when not applied.
    void* Original() const noexcept { return original; }

private:
    void** slot = nullptr;
    void* original = nullptr;
};

}  // namespace WinTests
