// A small JSON reader for checking quillmere-host's --json output: the whole grammar (objects,
// arrays, strings with every escape, numbers, true, false, null), strict about anything else.
#pragma once

#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace Json {

struct Value {
    enum class Kind { Null, Boolean, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0.0;
    std::string string;
    std::vector<Value> array;
    std::map<std::string, Value> object;

    bool IsNull() const { return kind == Kind::Null; }
    bool Has(const std::string& key) const { return kind == Kind::Object && object.count(key) != 0; }
    // The member `key` of an object; throws std::out_of_range when there is none.
    const Value& operator[](const std::string& key) const
    {
        if (kind != Kind::Object)
            throw std::out_of_range("not an object, looking for \"" + key + "\"");
        const auto found = object.find(key);
        if (found == object.end())
            throw std::out_of_range("no member \"" + key + "\"");
        return found->second;
    }
    // The element `index` of an array; throws std::out_of_range when there is none.
    const Value& operator[](std::size_t index) const
    {
        if (kind != Kind::Array || index >= array.size())
            throw std::out_of_range("no array element " + std::to_string(index));
        return array[index];
    }
    std::size_t Size() const { return kind == Kind::Array ? array.size() : object.size(); }
};

class Reader {
public:
    explicit Reader(std::string_view text) : text(text) {}

    // The one value of the text; throws std::runtime_error naming the offset for malformed text.
    Value ReadDocument()
    {
        Value value = ReadValue();
        SkipSpace();
        if (at != text.size())
            Fail("text after the value");
        return value;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const
    {
        throw std::runtime_error("JSON offset " + std::to_string(at) + ": " + what);
    }
    void SkipSpace()
    {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\n' || text[at] == '\r' || text[at] == '\t'))
            ++at;
    }
    bool Take(char c)
    {
        SkipSpace();
        if (at < text.size() && text[at] == c) {
            ++at;
            return true;
        }
        return false;
    }
    void Expect(char c)
    {
        if (!Take(c))
            Fail(std::string("expected '") + c + "'");
    }
    bool TakeWord(std::string_view word)
    {
        if (text.substr(at, word.size()) != word)
            return false;
        at += word.size();
        return true;
    }

    Value ReadValue()
    {
        SkipSpace();
        if (at >= text.size())
            Fail("unexpected end");
        Value value;
        const char c = text[at];
        if (c == '{') {
            value.kind = Value::Kind::Object;
            ++at;
            if (Take('}'))
                return value;
            do {
                SkipSpace();
                const std::string key = ReadString();
                Expect(':');
                if (!value.object.emplace(key, ReadValue()).second)
                    Fail("member \"" + key + "\" given twice");
            } while (Take(','));
            Expect('}');
        } else if (c == '[') {
            value.kind = Value::Kind::Array;
            ++at;
            if (Take(']'))
                return value;
            do
                value.array.push_back(ReadValue());
            while (Take(','));
            Expect(']');
        } else if (c == '"') {
            value.kind = Value::Kind::String;
            value.string = ReadString();
        } else if (TakeWord("true") || TakeWord("false")) {
            value.kind = Value::Kind::Boolean;
            value.boolean = c == 't';
        } else if (TakeWord("null")) {
            value.kind = Value::Kind::Null;
        } else {
            value.kind = Value::Kind::Number;
            value.number = ReadNumber();
        }
        return value;
    }

    double ReadNumber()
    {
        const std::size_t start = at;
        if (at < text.size() && text[at] == '-')
            ++at;
        const auto digits = [this] {
            const std::size_t first = at;
            while (at < text.size() && text[at] >= '0' && text[at] <= '9')
                ++at;
            return at - first;
        };
        if (digits() == 0)
            Fail("expected a value");
        if (at < text.size() && text[at] == '.') {
            ++at;
            if (digits() == 0)
                Fail("expected digits after '.'");
        }
        if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
            ++at;
            if (at < text.size() && (text[at] == '+' || text[at] == '-'))
                ++at;
            if (digits() == 0)
                Fail("expected an exponent");
        }
        return std::stod(std::string(text.substr(start, at - start)));
    }

    unsigned ReadHex4()
    {
        if (at + 4 > text.size())
            Fail("short \\u escape");
        unsigned code = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = text[at++];
            code <<= 4;
            if (h >= '0' && h <= '9')
                code |= static_cast<unsigned>(h - '0');
            else if (h >= 'a' && h <= 'f')
                code |= static_cast<unsigned>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                code |= static_cast<unsigned>(h - 'A' + 10);
            else
                Fail("bad \\u escape");
        }
        return code;
    }

    static void AppendUtf8(std::string& out, unsigned code)
    {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    std::string ReadString()
    {
        if (at >= text.size() || text[at] != '"')
            Fail("expected a string");
        ++at;
        std::string out;
        while (true) {
            if (at >= text.size())
                Fail("unterminated string");
            const char c = text[at++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                Fail("control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at >= text.size())
                Fail("unterminated escape");
            switch (const char e = text[at++]) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    unsigned code = ReadHex4();
                    if (code >= 0xD800 && code < 0xDC00 && TakeWord("\\u")) {
                        const unsigned low = ReadHex4();
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    }
                    AppendUtf8(out, code);
                    break;
                }
                default: Fail(std::string("unknown escape \\") + e);
            }
        }
    }

    std::string_view text;
    std::size_t at = 0;
};

// Reads a JSON text; throws std::runtime_error for malformed text.
inline Value Parse(std::string_view text)
{
    return Reader(text).ReadDocument();
}

}  // namespace Json
