// The GSRoot part of the platform: text, arrays, identifiers, the allocator, number parsing and
// debug output.
#pragma once

#include <cstdarg>

#include "../PlatformExport.hpp"
#include "Array.hpp"
#include "GSTypes.hpp"
#include "Guid.hpp"
#include "MemoryManager.hpp"
#include "UniString.hpp"

namespace GS {

// Parses `text` as a 32-bit signed decimal integer. To-value mode 1 reads the whole text as one
// number; white-space mode 0 allows no white space around it. Returns true and sets `value` on
// success; on failure (empty text, a stray character, overflow, another mode) leaves `value`
// unchanged and returns false.
PLATFORM_API bool strtovalue(const UniString& text, Int32& value, Int32 toValueMode = 1, Int32 whiteSpaceMode = 0);

}  // namespace GS

// Receives each finished debug text. The host may install its own; stderr is the default.
using DBPrintSink = void (*)(const char* text, void* userData);

// printf-style debug output to the installed sink.
PLATFORM_API void DBPrintf(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// Installs `sink` (nullptr restores stderr) and returns the previous one.
PLATFORM_API DBPrintSink DBSetPrintSink(DBPrintSink sink, void* userData);
