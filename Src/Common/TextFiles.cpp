#include "TextFiles.hpp"

#include <sstream>

std::string ReadTextToEnd(std::istream& file)
{
    std::ostringstream contents;
    contents << file.rdbuf();
    std::string text = std::move(contents).str();
#if !defined(_WIN32)
    std::size_t kept = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')
            continue;
        text[kept++] = text[at];
    }
    text.resize(kept);
#endif
    return text;
}
