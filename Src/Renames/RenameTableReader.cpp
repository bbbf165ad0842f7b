#include "RenameTableReader.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include <expat.h>

#include "Common/ExactText.hpp"
#include "Common/MessageFormat.hpp"
#include "Common/Messages.hpp"
#include "GSRoot/MemoryManager.hpp"

namespace Quillmere {

namespace {

// expat's memory comes from the platform allocator, as all of the module's does. A block keeps its
// size in front of it, since growing a block needs it and the allocator does not tell it.
constexpr std::size_t SizeField = alignof(std::max_align_t);

void* ExpatAllocate(std::size_t bytes)
{
    if (bytes > SIZE_MAX - SizeField)
        return nullptr;
    auto* block = static_cast<unsigned char*>(GS::MemoryManager::Allocate(bytes + SizeField));
    if (block == nullptr)
        return nullptr;
    std::memcpy(block, &bytes, sizeof bytes);
    return block + SizeField;
}

void ExpatFree(void* block)
{
    if (block != nullptr)
        GS::MemoryManager::Free(static_cast<unsigned char*>(block) - SizeField);
}

void* ExpatReallocate(void* block, std::size_t bytes)
{
    if (block == nullptr)
        return ExpatAllocate(bytes);
    std::size_t had = 0;
    std::memcpy(&had, static_cast<unsigned char*>(block) - SizeField, sizeof had);
    void* grown = ExpatAllocate(bytes);
    if (grown != nullptr) {
        std::memcpy(grown, block, std::min(had, bytes));
        ExpatFree(block);
    }
    return grown;
}

const XML_Memory_Handling_Suite ExpatMemory = {ExpatAllocate, ExpatReallocate, ExpatFree};

// The line of `byte` in `text`, counted from 1 as expat counts lines: a line ends at LF, CR or CR LF.
std::size_t LineOf(std::string_view text, std::size_t byte)
{
    std::size_t line = 1;
    for (std::size_t at = 0; at < byte && at < text.size(); ++at)
        line += text[at] == '\n' || (text[at] == '\r' && (at + 1 == text.size() || text[at + 1] != '\n')) ? 1 : 0;
    return line;
}

// The first reference from `at` on in `text` that is neither a character's nor one of XML's five
// entities: where expat reports an entity it does not know, it points at the reference or at the
// start tag whose attribute holds it. npos when there is none.
std::size_t UnknownReferenceFrom(std::string_view text, std::size_t at)
{
    static constexpr std::string_view Known[] = {"#", "amp;", "lt;", "gt;", "quot;", "apos;"};
    for (at = text.find('&', at); at != std::string_view::npos; at = text.find('&', at + 1))
        if (std::none_of(std::begin(Known), std::end(Known),
                         [&](std::string_view known) { return text.compare(at + 1, known.size(), known) == 0; }))
            return at;
    return std::string_view::npos;
}

// The value of the attribute `name` among expat's name and value pairs; nullptr when there is none.
const XML_Char* AttributeOf(const XML_Char** attributes, std::string_view name)
{
    for (; *attributes != nullptr; attributes += 2)
        if (name == attributes[0])
            return attributes[1];
    return nullptr;
}

// One reading of a table's text: expat's handlers add to it as the parser goes.
class TableReader {
public:
    explicit TableReader(std::string_view text) : text(text) {}

    RenameTableReading Read();

private:
    static void XMLCALL StartElement(void* self, const XML_Char* name, const XML_Char** attributes);
    static void XMLCALL EndElement(void* self, const XML_Char* name);
    static void XMLCALL StartDocumentType(void* self, const XML_Char* name, const XML_Char*, const XML_Char*, int);

    // Runs `handle` on the reader `self`; a failure (no memory) stops the parser and is thrown
    // again once expat has returned, as nothing may be thrown through expat.
    template <typename Handle>
    static void Guarded(void* self, Handle handle);

    XML_Status Parse();
    void ReadEntry(std::string_view element, const XML_Char** attributes);
    RenameTableReading Refused(std::string reason, std::optional<std::size_t> byte) const;
    RenameTableReading ParserProblem();

    std::string_view text;
    XML_Parser parser = nullptr;
    std::size_t depth = 0;
    bool renamesRoot = false;
    std::size_t number = 0;  // of the root's elements so far
    RenameTableReading reading;
    std::optional<std::pair<std::string, std::size_t>> documentType;  // its name and byte
    std::exception_ptr failure;
    std::u16string units;  // scratch
};

template <typename Handle>
void TableReader::Guarded(void* self, Handle handle)
{
    auto& reader = *static_cast<TableReader*>(self);
    try {
        handle(reader);
    } catch (...) {
        reader.failure = std::current_exception();
        XML_StopParser(reader.parser, XML_FALSE);
    }
}

void XMLCALL TableReader::StartElement(void* self, const XML_Char* name, const XML_Char** attributes)
{
    Guarded(self, [&](TableReader& reader) {
        if (++reader.depth == 1)
            reader.renamesRoot = std::strcmp(name, "renames") == 0;
        else if (reader.depth == 2 && reader.renamesRoot)
            reader.ReadEntry(name, attributes);
    });
}

void XMLCALL TableReader::EndElement(void* self, const XML_Char*)
{
    --static_cast<TableReader*>(self)->depth;
}

// The declaration is refused before its internal subset is read. expat tells of it once it has
// its name, past the declaration's start.
void XMLCALL TableReader::StartDocumentType(void* self, const XML_Char* name, const XML_Char*, const XML_Char*, int)
{
    Guarded(self, [&](TableReader& reader) {
        const auto told = static_cast<std::size_t>(XML_GetCurrentByteIndex(reader.parser));
        reader.documentType.emplace(name, std::min(told, reader.text.rfind("<!DOCTYPE", told)));
        XML_StopParser(reader.parser, XML_FALSE);
    });
}

void TableReader::ReadEntry(std::string_view element, const XML_Char** attributes)
{
    const bool isGroup = element == "group";
    SkippedEntry skipped{++number, std::string(element), {}};
    if (!isGroup && element != "property") {
        reading.skipped.push_back(std::move(skipped));
        return;
    }
    const char* const required[] = {isGroup ? "from" : "group", isGroup ? "to" : "from", "to"};
    for (const char* name : required) {
        if (AttributeOf(attributes, name) == nullptr) {
            skipped.missing = name;
            reading.skipped.push_back(std::move(skipped));
            return;
        }
    }
    const auto text = [&](const char* name) { return ExactUtf8ToUniString(AttributeOf(attributes, name), units); };
    RenameTable::Entry entry;
    entry.isGroup = isGroup;
    entry.number = number;
    if (isGroup) {
        entry.group = text("from");
        entry.newGroup = text("to");
    } else {
        entry.group = text("group");
        entry.property = text("from");
        entry.newGroup = AttributeOf(attributes, "toGroup") != nullptr ? text("toGroup") : entry.group;
        entry.newProperty = text("to");
    }
    reading.table.Add(std::move(entry));
}

// expat takes at most INT_MAX bytes a call.
XML_Status TableReader::Parse()
{
    constexpr std::size_t Piece = std::size_t{1} << 30;
    std::string_view rest = text;
    do {
        const std::size_t size = std::min(rest.size(), Piece);
        if (XML_Parse(parser, rest.data(), static_cast<int>(size), size == rest.size()) != XML_STATUS_OK)
            return XML_STATUS_ERROR;
        rest.remove_prefix(size);
    } while (!rest.empty());
    return XML_STATUS_OK;
}

// A reading that refuses the text for `reason`, found at `byte` (nothing: at no one place).
RenameTableReading TableReader::Refused(std::string reason, std::optional<std::size_t> byte) const
{
    RenameTableReading refused;
    refused.problem.emplace(SystemPath(), 0, std::move(reason));
    if (byte) {
        refused.problem->byte = byte;
        refused.problem->line = LineOf(text, *byte);
    }
    return refused;
}

// The problem of a text that expat stopped reading at an error of its own. An entity that is not
// declared (as none is: a document type declaration is refused) is told by its name.
RenameTableReading TableReader::ParserProblem()
{
    const XML_Error error = XML_GetErrorCode(parser);
    if (error == XML_ERROR_NO_MEMORY)
        throw std::bad_alloc();
    const auto at = static_cast<std::size_t>(std::max<XML_Index>(0, XML_GetCurrentByteIndex(parser)));
    const std::size_t entity = error == XML_ERROR_UNDEFINED_ENTITY ? UnknownReferenceFrom(text, at) : std::string_view::npos;
    if (entity == std::string_view::npos)
        return Refused(XML_ErrorString(error), at);
    const std::string_view name = text.substr(entity + 1, text.find(';', entity) - entity - 1);
    return Refused(ExactUtf8(FormatLine(Messages::RenameTableEntityReason, {name})), entity);
}

RenameTableReading TableReader::Read()
{
    const std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> owned(
        XML_ParserCreate_MM("UTF-8", &ExpatMemory, nullptr), XML_ParserFree);
    if (owned == nullptr)
        throw std::bad_alloc();
    parser = owned.get();
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, StartElement, EndElement);
    XML_SetStartDoctypeDeclHandler(parser, StartDocumentType);
    const XML_Status status = Parse();
    if (failure)
        std::rethrow_exception(failure);
    if (documentType) {
        const auto& [name, byte] = *documentType;
        return Refused(ExactUtf8(FormatLine(Messages::RenameTableDocumentTypeReason, {name})), byte);
    }
    if (status != XML_STATUS_OK)
        return ParserProblem();
    return renamesRoot ? std::move(reading) : Refused(Messages::RenameTableNoRootReason, std::nullopt);
}

}  // namespace

SystemPath RenameTablePathBeside(const SystemPath& configuration)
{
    SystemPath path = configuration;
    path.replace_extension(".renames.xml");
    return path;
}

RenameTableReading ParseRenameTable(std::string_view text)
{
    return TableReader(text).Read();
}

RenameTableReading ReadRenameTable(const SystemPath& path)
{
    SystemError error = 0;
    const std::optional<std::string> text = ReadTextFile(path, &error);
    RenameTableReading reading;
    if (text)
        reading = ParseRenameTable(*text);
    else if (IsAnythingAt(path))
        reading.problem.emplace(SystemPath(), error);
    if (reading.problem)
        reading.problem->path = path;
    return reading;
}

}  // namespace Quillmere
