#include "BackupReader.hpp"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "rapidxml.hpp"

#include "Common/XmlScan.hpp"

namespace Quillmere {

namespace {

using XmlScan::IsSpace;
using XmlScan::NotFound;
using XmlScan::StartsWith;

// How deep elements may nest in an entry: rapidxml descends one call per level, and a file of a few
// hundred kilobytes of start tags would use up the stack. An entry of the backup is two deep.
constexpr std::size_t DeepestEntry = 64;

// The key a value element is saved under, in whichever form the file names it.
UInt32 KeyOf(ValueBackup& backup, const XmlNode* value)
{
    if (NameOf(value) == KeyedValueElementName) {
        const XmlAttribute* group = value->first_attribute(GroupAttributeName);
        const XmlAttribute* property = value->first_attribute(PropertyAttributeName);
        if (group != nullptr && property != nullptr)
            return backup.InternKey(ValueOf(group), ValueOf(property));
        if (const XmlAttribute* keyed = value->first_attribute(KeyAttributeName))
            return backup.InternKey(ValueOf(keyed));
    }
    return backup.InternKey(NameOf(value));
}


}  // namespace

bool BackupReader::Fail(const char* reason, std::size_t at)
{
    reading.problem = ValueBackupReading::Problem::NotWellFormed;
    reading.reason = reason;
    reading.byte = offset + at;
    return false;
}

bool BackupReader::TakeRootTag(std::string_view tag, std::size_t at)
{
    // The start tag alone, as an empty element, gives the root's attributes.
    std::string empty(tag);
    if (empty.size() < 3 || empty[empty.size() - 2] != '/')
        empty.insert(empty.size() - 1, "/");
    document.clear();
    try {
        document.parse<0>(empty.data());
    } catch (const rapidxml::parse_error& error) {
        return Fail(error.what(), at + static_cast<std::size_t>(error.where<char>() - empty.data()));
    }
    const XmlNode* root = document.first_node();
    if (root == nullptr)
        return Fail("expected element name", at);
    if (const XmlAttribute* run = root->first_attribute("run")) {
        KeptFileHeader header;
        header.run = static_cast<UInt32>(std::strtoul(run->value(), nullptr, 10));
        if (const XmlAttribute* saved = root->first_attribute("saved"))
            header.saved = std::string(ValueOf(saved));
        reading.header = std::move(header);
    }
    return true;
}

bool BackupReader::TakeEntry(std::string& text, std::size_t start, std::size_t end)
{
    // Parsed in place, which the terminating NUL the parser needs replaces the next byte for.
    const char next = text[end];
    text[end] = '\0';
    document.clear();
    try {
        document.parse<0>(text.data() + start);
    } catch (const rapidxml::parse_error& error) {
        text[end] = next;
        return Fail(error.what(), static_cast<std::size_t>(error.where<char>() - text.data()));
    }
    text[end] = next;
    const XmlNode* entry = document.first_node();
    const XmlAttribute* guid = entry != nullptr ? entry->first_attribute("guid") : nullptr;
    if (guid == nullptr)
        return true;
    backup.StartEntry(GSGuid2APIGuid(GS::Guid(guid->value())));
    for (const XmlNode* value = entry->first_node(); value != nullptr; value = value->next_sibling()) {
        if (value->type() != rapidxml::node_element)
            continue;
        const XmlAttribute* valType = value->first_attribute("valType");
        const Int32 valueType = valType != nullptr ? ValueTypeOfName(ValueOf(valType)) : ValueBackup::UnconvertedValueType;
        backup.AddValue(KeyOf(backup, value), valueType, 0, ValueOf(value));
        if (const XmlAttribute* unwritten = value->first_attribute(UnwrittenAttributeName); unwritten != nullptr && ValueOf(unwritten) == "1")
            backup.MarkLastUnwritten();
    }
    backup.EndEntry();
    return true;
}

std::size_t BackupReader::TakeBeforeRoot(std::string& text, std::size_t at)
{
    if (offset == 0 && at == 0 && StartsWith(text, 0, "\xEF\xBB\xBF"))
        at = 3;
    while (true) {
        while (at < text.size() && IsSpace(text[at]))
            ++at;
        if (at == text.size())
            return at;
        if (text[at] != '<') {
            Fail("expected <", at);
            return at;
        }
        if (at + 1 == text.size())
            return at;
        if (XmlScan::KindAt(text, at) == XmlScan::Markup::Other) {
            const std::size_t end = XmlScan::EndOfMarkup(text, at);
            if (end == NotFound)
                return at;
            at = end;
            continue;
        }
        const std::size_t end = XmlScan::EndOfTag(text, at);
        if (end == NotFound)
            return at;
        if (!TakeRootTag(std::string_view(text).substr(at, end - at), at))
            return at;
        state = text[end - 2] == '/' ? State::AfterRoot : State::InRoot;
        return end;
    }
}

std::size_t BackupReader::TakeInRoot(std::string& text, std::size_t at)
{
    while (at < text.size()) {
        // Text between the entries is no entry.
        const void* next = std::memchr(text.data() + at, '<', text.size() - at);
        if (next == nullptr)
            return text.size();
        at = static_cast<std::size_t>(static_cast<const char*>(next) - text.data());
        if (at + 1 == text.size())
            return at;
        const XmlScan::Markup kind = XmlScan::KindAt(text, at);
        const std::size_t end = kind == XmlScan::Markup::EndTag ? XmlScan::EndOfTag(text, at)
                                : kind == XmlScan::Markup::Other ? XmlScan::EndOfMarkup(text, at)
                                                                 : XmlScan::EndOfElement(text, at, DeepestEntry);
        if (end == NotFound)
            return at;
        if (end == XmlScan::TooDeep) {
            Fail("elements nested too deep", at);
            return at;
        }
        if (kind == XmlScan::Markup::EndTag) {  // the root's
            state = State::AfterRoot;
            return end;
        }
        if (kind == XmlScan::Markup::StartTag && !TakeChild(text, at, end))
            return at;
        at = end;
    }
    return at;
}

bool BackupReader::TakeChild(std::string& text, std::size_t start, std::size_t end)
{
    // The first child named "element" begins the entries; each later element is one too,
    // whatever its name.
    const char after = start + 8 < end ? text[start + 8] : '\0';
    entriesStarted = entriesStarted || (StartsWith(text, start, "<element") && (IsSpace(after) || after == '>' || after == '/'));
    return !entriesStarted || TakeEntry(text, start, end);
}

bool BackupReader::Take(std::string& text, bool last)
{
    if (reading.problem != ValueBackupReading::Problem::None)
        return false;
    std::size_t at = 0;
    for (State before = State::AfterRoot; state != before && reading.problem == ValueBackupReading::Problem::None;) {
        before = state;
        if (state == State::BeforeRoot)
            at = TakeBeforeRoot(text, at);
        else if (state == State::InRoot)
            at = TakeInRoot(text, at);
        else
            at = text.size();  // what follows the root is not read
    }
    if (reading.problem != ValueBackupReading::Problem::None)
        return false;
    offset += at;
    text.erase(0, at);
    if (!last)
        return true;
    // The end of the text: after the root, or before any root with nothing left but white space.
    if (state == State::BeforeRoot && text.empty()) {
        reading.problem = offset == 0 ? ValueBackupReading::Problem::Empty : ValueBackupReading::Problem::NoRoot;
        return false;
    }
    if (state != State::AfterRoot)
        return Fail("unexpected end of data", text.size());
    reading.backup = std::move(backup);
    return true;
}

std::optional<ValueBackupReading> ReadValueBackupFile(const SystemPath& path, SystemError& error)
{
    TextFileReader file;
    error = file.Open(path);
    if (error != 0)
        return std::nullopt;
    constexpr std::size_t Piece = std::size_t{1} << 20;
    BackupReader reader;
    std::string text;
    do {
        error = file.ReadMore(text, Piece);
        if (error != 0)
            return std::nullopt;
    } while (reader.Take(text, file.AtEnd()) && !file.AtEnd());
    return std::move(reader.Reading());
}

ValueBackupReading ParseValueBackup(std::string text)
{
    BackupReader reader;
    reader.Take(text, true);
    return std::move(reader.Reading());
}

}  // namespace Quillmere
