#include "RenameTableReader.hpp"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include <expat.h>

#include "Common/ExactText.hpp"
#include "Common/MessageFormat.hpp"
#include "Common/SizedBlocks.hpp"
#include "Common/Messages.hpp"

namespace Quillmere {

namespace {

// expat's memory comes from the platform allocator, as all of the module's does.
const XML_Memory_Handling_Suite ExpatMemory = {SizedBlocks::Allocate, SizedBlocks::Reallocate, SizedBlocks::Free};

// The first reference from `at` on in `text` that is neither a character's nor one of XML's five
// entities: where expat reports an entity it does not know, it points at the reference or at the
// start tag whose attribute holds it. npos when there is none.
std::size_t UnknownReferenceFrom(std::string_view text, std::size_t at)
{
    static constexpr std::string_view Known[] = {"#", "amp;", "lt;", "gt;", "quot;", "apos;"};
    for (at = text.find('&', at); at != std::string_view::npos; at = text.find('&', at + 1))
        if (std::ranges::none_of(Known, [&](std::string_view known) { return text.substr(at + 1).starts_with(known); }))
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

// The problem of `text` for `reason`, found at `byte`. Its line is counted from 1 as expat counts
// lines: a line ends at LF, CR or CR LF.
FileProblem ProblemAt(std::string_view text, std::size_t byte, std::string reason)
{
    FileProblem problem(SystemPath(), 0, std::move(reason));
    problem.line = 1;
    for (std::size_t at = 0; at < byte && at < text.size(); ++at)
        if (text[at] == '\n' || (text[at] == '\r' && text.substr(at + 1, 1) != "\n"))
            ++*problem.line;
    problem.byte = byte;
    return problem;
}

// One reading of a table's text: expat's handlers add to it as the parser goes.
struct TableReader {
    std::string_view text;
    XML_Parser parser;
    std::size_t depth = 0;
    bool renamesRoot = false;
    RenameTableReading reading{};  // its problem is set only by a document type declaration, before any element
    std::exception_ptr failure{};
};

// Runs `handle` on the reader `self`; a failure (no memory) stops the parser and is thrown again
// once expat has returned, as nothing may be thrown through expat.
template <typename Handle>
void Guarded(void* self, Handle handle)
{
    auto& reader = *static_cast<TableReader*>(self);
    try {
        handle(reader);
    } catch (...) {
        reader.failure = std::current_exception();
        XML_StopParser(reader.parser, XML_FALSE);
    }
}

// Adds the root's element `element` to `reading`: as an entry, or skipped.
void ReadEntry(RenameTableReading& reading, std::string_view element, const XML_Char** attributes)
{
    const bool isGroup = element == "group";
    SkippedEntry skipped{reading.table.Entries().size() + reading.skipped.size() + 1, std::string(element), {}};
    // An element that is no entry, or an entry without an attribute it needs, is skipped.
    const bool isEntry = isGroup || element == "property";
    for (const char* name : {isGroup ? "from" : "group", "from", "to"})
        if (isEntry && skipped.missing.empty() && AttributeOf(attributes, name) == nullptr)
            skipped.missing = name;
    if (!isEntry || !skipped.missing.empty()) {
        reading.skipped.push_back(std::move(skipped));
        return;
    }
    std::u16string units;
    const auto text = [&](const char* name) { return ExactUtf8ToUniString(AttributeOf(attributes, name), units); };
    if (isGroup)
        reading.table.Add({.isGroup = true, .group = text("from"), .property = {}, .newGroup = text("to"),
                           .newProperty = {}, .number = skipped.number});
    else
        reading.table.Add({.isGroup = false, .group = text("group"), .property = text("from"),
                           .newGroup = text(AttributeOf(attributes, "toGroup") != nullptr ? "toGroup" : "group"),
                           .newProperty = text("to"), .number = skipped.number});
}

void XMLCALL StartElement(void* self, const XML_Char* name, const XML_Char** attributes)
{
    Guarded(self, [&](TableReader& reader) {
        if (++reader.depth == 1)
            reader.renamesRoot = std::strcmp(name, "renames") == 0;
        else if (reader.depth == 2 && reader.renamesRoot)
            ReadEntry(reader.reading, name, attributes);
    });
}

// The declaration is refused before its internal subset is read. expat tells of it once it has
// its name, past the declaration's start.
void XMLCALL StartDocumentType(void* self, const XML_Char* name, const XML_Char*, const XML_Char*, int)
{
    Guarded(self, [&](TableReader& reader) {
        const auto told = static_cast<std::size_t>(XML_GetCurrentByteIndex(reader.parser));
        reader.reading.problem = ProblemAt(reader.text, std::min(told, reader.text.rfind("<!DOCTYPE", told)),
                                           ExactUtf8(FormatLine(Messages::RenameTableDocumentTypeReason, {name})));
        XML_StopParser(reader.parser, XML_FALSE);
    });
}

// Gives `text` to the parser, a GiB a call while more is left, as expat takes at most INT_MAX bytes
// a call; false when expat stopped.
bool Parse(XML_Parser parser, std::string_view text)
{
    constexpr std::size_t Piece = std::size_t{1} << 30;
    for (; text.size() > Piece; text.remove_prefix(Piece))
        if (XML_Parse(parser, text.data(), static_cast<int>(Piece), XML_FALSE) != XML_STATUS_OK)
            return false;
    return XML_Parse(parser, text.data(), static_cast<int>(text.size()), XML_TRUE) == XML_STATUS_OK;
}

// The problem of a text that expat stopped reading at an error of its own. An entity that is not
// declared (as none is: a document type declaration is refused) is told by its name.
FileProblem ParserProblem(XML_Parser parser, std::string_view text)
{
    const XML_Error error = XML_GetErrorCode(parser);
    if (error == XML_ERROR_NO_MEMORY)
        throw std::bad_alloc();
    const auto at = static_cast<std::size_t>(std::max<XML_Index>(0, XML_GetCurrentByteIndex(parser)));
    const std::size_t entity = error == XML_ERROR_UNDEFINED_ENTITY ? UnknownReferenceFrom(text, at) : std::string_view::npos;
    if (entity == std::string_view::npos)
        return ProblemAt(text, at, XML_ErrorString(error));
    const std::string_view name = text.substr(entity + 1, text.find(';', entity) - entity - 1);
    return ProblemAt(text, entity, ExactUtf8(FormatLine(Messages::RenameTableEntityReason, {name})));
}

}  // namespace

SystemPath RenameTablePathBeside(const SystemPath& configuration)
{
    return SystemPath(configuration).replace_extension(".renames.xml");
}

RenameTableReading ParseRenameTable(std::string_view text)
{
    const std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(
        XML_ParserCreate_MM("UTF-8", &ExpatMemory, nullptr), XML_ParserFree);
    if (parser == nullptr)
        throw std::bad_alloc();
    TableReader reader{.text = text, .parser = parser.get()};
    XML_SetUserData(parser.get(), &reader);
    XML_SetElementHandler(parser.get(), StartElement,
                          [](void* self, const XML_Char*) { --static_cast<TableReader*>(self)->depth; });
    XML_SetStartDoctypeDeclHandler(parser.get(), StartDocumentType);
    const bool parsed = Parse(parser.get(), text);
    if (reader.failure)
        std::rethrow_exception(reader.failure);
    // A document type declaration stops the parser with a problem of its own, before any element.
    if (!parsed && !reader.reading.problem)
        return {RenameTable(), ParserProblem(parser.get(), text), {}};
    if (parsed && !reader.renamesRoot)
        return {RenameTable(), FileProblem(SystemPath(), 0, Messages::RenameTableNoRootReason), {}};
    return std::move(reader.reading);
}

RenameTableReading ReadRenameTable(const SystemPath& path)
{
    SystemError error = 0;
    const std::optional<std::string> text = ReadTextFile(path, &error);
    if (!text)
        return {RenameTable(), IsAnythingAt(path) ? std::optional(FileProblem(path, error)) : std::nullopt, {}};
    RenameTableReading reading = ParseRenameTable(*text);
    if (reading.problem)
        reading.problem->path = path;
    return reading;
}

}  // namespace Quillmere
