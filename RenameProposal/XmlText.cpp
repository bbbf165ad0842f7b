#include "XmlText.hpp"

#include <cstdint>

namespace RenameProposal {

std::size_t Utf8SequenceAt(std::string_view text, std::size_t at, char32_t& code)
{
    const auto byte = [&](std::size_t index) { return static_cast<std::uint8_t>(text[index]); };
    const std::uint8_t lead = byte(at);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead <= 0xF4                ? 4
                                                                             : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t index = 1; index < length; ++index) {
        if ((byte(at + index) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(at + index) & 0x3F);
    }
    const bool shortest = length < 3 || (length == 3 && code >= 0x800) || (length == 4 && code >= 0x10000);
    return shortest && code <= 0x10FFFF ? length : 0;
}

namespace {

bool IsXmlCharacter(char32_t code)
{
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || code >= 0x10000;
}

}  // namespace

std::size_t FirstNonXmlCharacter(std::string_view text, const char*& reason)
{
    for (std::size_t at = 0; at < text.size();) {
        char32_t code = 0;
        const std::size_t length = Utf8SequenceAt(text, at, code);
        if (length == 0) {
            reason = "bytes that are not UTF-8";
            return at;
        }
        if (!IsXmlCharacter(code)) {
            reason = "a character that XML does not allow";
            return at;
        }
        at += length;
    }
    return std::string_view::npos;
}

std::string AttributeText(std::string_view text)
{
    std::string written;
    written.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': written += "&amp;"; break;
            case '<': written += "&lt;"; break;
            case '>': written += "&gt;"; break;
            case '"': written += "&quot;"; break;
            case '\t': written += "&#9;"; break;
            case '\n': written += "&#10;"; break;
            case '\r': written += "&#13;"; break;
            default: written.push_back(c); break;
        }
    }
    return written;
}

std::string CommentText(std::string_view text)
{
    std::string written;
    written.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '-' && at > 0 && text[at - 1] == '-')
            written += "&#45;";
        else
            written.push_back(text[at]);
    }
    return written;
}

}  // namespace RenameProposal
