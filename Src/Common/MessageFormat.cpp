#include "MessageFormat.hpp"

#include <ctime>
#include <string>

namespace Quillmere {

GS::UniString FormatLine(std::string_view pattern, std::initializer_list<MessageArgument> arguments)
{
    GS::UniString line;
    const MessageArgument* next = arguments.begin();
    std::size_t at = 0;
    for (std::size_t slot = pattern.find("{}"); slot != std::string_view::npos && next != arguments.end();
         slot = pattern.find("{}", at)) {
        // The pattern's pieces go in as a UTF-8 argument does.
        line += MessageArgument(pattern.substr(at, slot - at)).text;
        line += (next++)->text;
        at = slot + 2;
    }
    line += MessageArgument(pattern.substr(at)).text;
    return line;
}

std::string LocalTimeText(const char* format)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char text[64];
    return std::string(text, std::strftime(text, sizeof text, format, &local));
}

GS::UniString CountedText(std::size_t count, const char* one, const char* many)
{
    return count == 1 ? GS::UniString(one) : FormatLine(many, {static_cast<unsigned long long>(count)});
}

}  // namespace Quillmere
