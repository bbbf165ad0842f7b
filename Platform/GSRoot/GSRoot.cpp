#include "GSRoot.hpp"

#include <cstdio>
#include <mutex>
#include <vector>

namespace GS {

bool strtovalue(const UniString& text, Int32& value, Int32 toValueMode, Int32 whiteSpaceMode)
{
    if (toValueMode != 1 || whiteSpaceMode != 0)
        return false;

    const char16_t* units = text.ToUStr();
    const USize length = text.GetLength();
    USize at = 0;
    bool negative = false;
    if (at < length && (units[at] == u'-' || units[at] == u'+')) {
        negative = units[at] == u'-';
        ++at;
    }
    if (at == length)
        return false;  // empty, or a sign alone

    // The magnitude may reach 2^31 for a negative number; anything past that overflows.
    constexpr Int64 largestMagnitude = Int64{1} << 31;
    Int64 magnitude = 0;
    for (; at < length; ++at) {
        if (units[at] < u'0' || units[at] > u'9')
            return false;
        magnitude = magnitude * 10 + (units[at] - u'0');
        if (magnitude > largestMagnitude)
            return false;
    }
    if (!negative && magnitude == largestMagnitude)
        return false;
    value = static_cast<Int32>(negative ? -magnitude : magnitude);
    return true;
}

}  // namespace GS

namespace {

void WriteToStandardError(const char* text, void* /*userData*/)
{
    std::fputs(text, stderr);
    std::fflush(stderr);
}

std::mutex printSinkMutex;
DBPrintSink printSink = nullptr;  // nullptr: standard error
void* printSinkData = nullptr;

}  // namespace

void DBPrintf(const char* format, ...)
{
    if (format == nullptr)
        return;

    // The text goes to a buffer of the platform's C heap, not GS::MemoryManager, so that debug
    // output never shows up in the module's allocation counts.
    char shortText[256];
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list again;
    va_copy(again, arguments);
    const int needed = std::vsnprintf(shortText, sizeof(shortText), format, arguments);
    va_end(arguments);

    std::vector<char> longText;
    const char* text = shortText;
    if (needed < 0) {
        text = "DBPrintf: bad format\n";
    } else if (static_cast<std::size_t>(needed) >= sizeof(shortText)) {
        longText.resize(static_cast<std::size_t>(needed) + 1);
        std::vsnprintf(longText.data(), longText.size(), format, again);
        text = longText.data();
    }
    va_end(again);

    DBPrintSink sink;
    void* userData;
    {
        std::lock_guard<std::mutex> lock(printSinkMutex);
        sink = printSink;
        userData = printSinkData;
    }
    (sink != nullptr ? sink : WriteToStandardError)(text, userData);
}

DBPrintSink DBSetPrintSink(DBPrintSink sink, void* userData)
{
    std::lock_guard<std::mutex> lock(printSinkMutex);
    DBPrintSink previous = printSink;
    printSink = sink;
    printSinkData = sink != nullptr ? userData : nullptr;
    return previous;
}
