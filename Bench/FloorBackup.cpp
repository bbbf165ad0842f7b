#include "FloorBackup.hpp"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

// GCC 12 takes the nodes that rapidxml constructs in its pool's own memory for uninitialized when
// it inlines append_attribute; they are not.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include "rapidxml.hpp"
#include "rapidxml_print.hpp"

#include "Common/XmlDocument.hpp"
#include "GSRoot/MemoryManager.hpp"

namespace Bench {

namespace {

using XmlNode = rapidxml::xml_node<char>;

// The floor's buffers come from the platform allocator, as the module's do.
void* AllocatePoolBlock(std::size_t bytes)
{
    void* block = GS::MemoryManager::Allocate(bytes);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

void FreePoolBlock(void* block)
{
    GS::MemoryManager::Free(block);
}

using PoolDocument = Quillmere::XmlDocument;

const char* ValueTypeName(Int32 valueType)
{
    static const char* const names[] = {"Undefined", "Integer", "Real", "String", "Boolean"};
    return valueType >= 0 && valueType <= 4 ? names[valueType] : "";
}

const char* MeasureTypeName(Int32 measureType)
{
    static const char* const names[] = {"", "Default", "Length", "Area", "Volume", "Angle"};
    return measureType >= 1 && measureType <= 5 ? names[measureType] : "";
}

// GS::Guid's text form: upper-case hexadecimal, 8-4-4-4-12.
void FormatGuid(const API_Guid& guid, char* text)
{
    static const char digits[] = "0123456789ABCDEF";
    const auto put = [&text](UInt64 value, int count) {
        for (int shift = (count - 1) * 4; shift >= 0; shift -= 4)
            *text++ = digits[(value >> shift) & 0xF];
    };
    put(guid.data1, 8);
    *text++ = '-';
    put(guid.data2, 4);
    *text++ = '-';
    put(guid.data3, 4);
    *text++ = '-';
    put(UInt64{guid.data4[0]} << 8 | guid.data4[1], 4);
    *text++ = '-';
    for (int i = 2; i < 8; ++i)
        put(guid.data4[i], 2);
    *text = '\0';
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool ParseGuid(std::string_view text, API_Guid& guid)
{
    if (text.size() != 36)
        return false;
    UInt8 bytes[16];
    std::size_t at = 0;
    for (UInt8& byte : bytes) {
        if (text[at] == '-')
            ++at;
        const int high = HexDigit(text[at]);
        const int low = HexDigit(text[at + 1]);
        if (high < 0 || low < 0)
            return false;
        byte = static_cast<UInt8>(high << 4 | low);
        at += 2;
    }
    guid.data1 = UInt32{bytes[0]} << 24 | UInt32{bytes[1]} << 16 | UInt32{bytes[2]} << 8 | bytes[3];
    guid.data2 = static_cast<UInt16>(bytes[4] << 8 | bytes[5]);
    guid.data3 = static_cast<UInt16>(bytes[6] << 8 | bytes[7]);
    std::memcpy(guid.data4, bytes + 8, 8);
    return true;
}

// Output iterator of the printer: characters go through a fixed buffer into the file.
class FileSink {
public:
    explicit FileSink(std::FILE* file) : file(file), buffer(static_cast<char*>(AllocatePoolBlock(Capacity))) {}
    ~FileSink() { FreePoolBlock(buffer); }
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    void Put(char c)
    {
        if (used == Capacity)
            Flush();
        buffer[used++] = c;
    }
    void Flush()
    {
        written += std::fwrite(buffer, 1, used, file);
        used = 0;
    }
    std::size_t Written() const noexcept { return written; }

    struct Iterator {
        using iterator_category = std::output_iterator_tag;
        using value_type = void;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = void;
        FileSink* sink;
        Iterator& operator*() { return *this; }
        Iterator& operator=(char c)
        {
            sink->Put(c);
            return *this;
        }
        Iterator& operator++() { return *this; }
        Iterator operator++(int) { return *this; }
    };

private:
    static constexpr std::size_t Capacity = 1 << 16;
    std::FILE* file;
    char* buffer;
    std::size_t used = 0;
    std::size_t written = 0;
};

// The value text of `value` in the document's pool (or constant text), as the file holds it.
const char* FormatValue(PoolDocument& document, Int32 valueType, const TestHost::Value& value, std::size_t& size)
{
    switch (valueType) {
        case API_PropertyIntegerValueType: {
            char* text = document.allocate_string(nullptr, 12);
            size = static_cast<std::size_t>(std::to_chars(text, text + 12, value.integer).ptr - text);
            return text;
        }
        case API_PropertyRealValueType: {
            // The text of printf's "%f" (to_chars, fixed, six decimals) where it reads back as the
            // same number, else the shortest text that does, as the module writes reals.
            char buffer[400];
            std::to_chars_result end = std::to_chars(buffer, buffer + sizeof buffer, value.real, std::chars_format::fixed, 6);
            double back = 0.0;
            std::from_chars(buffer, end.ptr, back);
            if (std::memcmp(&back, &value.real, sizeof back) != 0)
                end = std::to_chars(buffer, buffer + sizeof buffer, value.real);
            size = static_cast<std::size_t>(end.ptr - buffer);
            return document.allocate_string(buffer, size);
        }
        case API_PropertyStringValueType: size = value.text.size(); return value.text.data();
        case API_PropertyBooleanValueType: size = 1; return value.boolean ? "1" : "0";
        default: size = 0; return "";
    }
}

}  // namespace

std::size_t FloorWrite(const BackupContent& content, const std::string& path)
{
    PoolDocument document;
    XmlNode* declaration = document.allocate_node(rapidxml::node_declaration);
    declaration->append_attribute(document.allocate_attribute("version", "1.0"));
    declaration->append_attribute(document.allocate_attribute("encoding", "utf-8"));
    document.append_node(declaration);
    XmlNode* root = document.allocate_node(rapidxml::node_element, "project");
    document.append_node(root);
    for (const BackupContent::Entry& entry : content.entries) {
        char* guid = document.allocate_string(nullptr, 37);
        FormatGuid(entry.element, guid);
        XmlNode* element = document.allocate_node(rapidxml::node_element, "element");
        element->append_attribute(document.allocate_attribute("guid", guid, 4, 36));
        root->append_node(element);
        for (const SavedValue& saved : entry.values) {
            const BackupContent::Key& key = content.keys[saved.key];
            std::size_t size = 0;
            const char* text = FormatValue(document, key.valueType, saved.value, size);
            XmlNode* node = document.allocate_node(rapidxml::node_element, key.name.c_str(), text, key.name.size(), size);
            node->append_attribute(document.allocate_attribute("valType", ValueTypeName(key.valueType)));
            node->append_attribute(document.allocate_attribute("MType", MeasureTypeName(key.measureType)));
            element->append_node(node);
        }
    }

    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr)
        throw std::runtime_error("cannot write " + path);
    std::size_t written = 0;
    {
        FileSink sink(file);
        rapidxml::print(FileSink::Iterator{&sink}, document, 0);
        sink.Flush();
        written = sink.Written();
    }
    if (std::fclose(file) != 0)
        throw std::runtime_error("cannot write " + path);
    return written;
}

FloorReader::FloorReader(const BackupContent& content) : keyCount(content.keys.size())
{
    entryOf.reserve(content.entries.size());
    for (std::size_t entry = 0; entry < content.entries.size(); ++entry)
        entryOf.emplace(content.entries[entry].element, entry);
    for (std::size_t key = 0; key < content.keys.size(); ++key)
        keyOf.emplace(content.keys[key].name, key);
    restored.resize(content.entries.size() * keyCount);
}

std::size_t FloorReader::Read(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr)
        throw std::runtime_error("cannot read " + path);
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    const auto release = [](char* text) { FreePoolBlock(text); };
    std::unique_ptr<char, decltype(release)> text(static_cast<char*>(AllocatePoolBlock(static_cast<std::size_t>(size) + 1)),
                                                  release);
    const std::size_t read = std::fread(text.get(), 1, static_cast<std::size_t>(size), file);
    std::fclose(file);
    text.get()[read] = '\0';

    PoolDocument document;
    try {
        document.parse<0>(text.get());
    } catch (const rapidxml::parse_error& error) {
        throw std::runtime_error(path + " is not well-formed: " + error.what());
    }
    const XmlNode* root = document.first_node();
    if (root == nullptr)
        throw std::runtime_error(path + " has no root");
    std::size_t values = 0;
    for (const XmlNode* entry = root->first_node("element"); entry != nullptr; entry = entry->next_sibling()) {
        const rapidxml::xml_attribute<char>* guidText = entry->first_attribute("guid");
        API_Guid element;
        if (guidText == nullptr || !ParseGuid(std::string_view(guidText->value(), guidText->value_size()), element))
            continue;
        const auto row = entryOf.find(element);
        if (row == entryOf.end())
            continue;
        TestHost::Value* slots = &restored[row->second * keyCount];
        for (const XmlNode* saved = entry->first_node(); saved != nullptr; saved = saved->next_sibling()) {
            const auto column = keyOf.find(std::string_view(saved->name(), saved->name_size()));
            if (column == keyOf.end())
                continue;
            TestHost::Value& value = slots[column->second];
            const rapidxml::xml_attribute<char>* valType = saved->first_attribute("valType");
            const char* type = valType != nullptr ? valType->value() : "";
            const char* valueText = saved->value();
            if (std::strcmp(type, "String") == 0) {
                value.type = API_PropertyStringValueType;
                value.text.assign(valueText, saved->value_size());
            } else if (std::strcmp(type, "Real") == 0) {
                value.type = API_PropertyRealValueType;
                std::from_chars(valueText, valueText + saved->value_size(), value.real);
            } else if (std::strcmp(type, "Integer") == 0) {
                value.type = API_PropertyIntegerValueType;
                std::from_chars(valueText, valueText + saved->value_size(), value.integer);
            } else if (std::strcmp(type, "Boolean") == 0) {
                value.type = API_PropertyBooleanValueType;
                value.boolean = std::strcmp(valueText, "1") == 0;
            }
            ++values;
        }
    }
    return values;
}

}  // namespace Bench
