#include "ConfigurationImport.hpp"

#include <algorithm>
#include <cstring>

#include "Common/RenameTable.hpp"
#include "Common/SystemFiles.hpp"
#include "ConfigurationImport/ExpressionPreservation.hpp"
#include "GSRoot/UnicodeCodec.hpp"
#include "Host/HostCalls.hpp"

namespace Quillmere {

namespace {

// Both filter pairs end in NUL; the literal's own terminator adds the NUL that ends the list.
const WCHAR ConfigurationFilter[] = QM_WIDE("IFC-SG Config File\0*.xml\0Any File\0*.*\0");
const WCHAR DialogTitle[] = QM_WIDE("Select an IFC-SG Config File");

// The chosen path as the system names files: UTF-16 on Windows, UTF-8 elsewhere.
SystemPath ToSystemPath(const WideString& path)
{
#if defined(_WIN32)
    return SystemPath(path);
#else
    return SystemPath(GS::Unicode::ConvertUtf16ToUtf8(path.data(), path.size()));
#endif
}

// Runs the host import `importText` on the configuration text as the undoable command `name`,
// reporting a failure with `errorFormat`. The text is converted when the host runs the command,
// so the host sees it up to its first NUL byte.
template <typename ImportText>
GSErrCode RunImport(const char* name, const char* errorFormat, const std::string& text, ImportText importText)
{
    auto callable = [&text, &importText]() {
        const GS::UniString xml(text.c_str(), CC_Default);
        return importText(xml);
    };
    const GSErrCode code = RunUndoableCommand(name, callable);
    if (code != NoError)
        ReportErrorCode(errorFormat, code);
    return code;
}

}  // namespace

std::optional<WideString> SelectConfigurationFile()
{
    WCHAR fileName[ConfigurationPathCapacity] = {};
    OPENFILENAMEW request;
    std::memset(&request, 0, sizeof(request));
    request.lStructSize = sizeof(OPENFILENAMEW);
    request.lpstrFilter = ConfigurationFilter;
    request.nFilterIndex = 1;
    request.lpstrFile = fileName;
    request.nMaxFile = ConfigurationPathCapacity;
    request.lpstrTitle = DialogTitle;
    request.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;

    if (GetOpenFileNameW(&request) != 1)
        return std::nullopt;
    const WCHAR* end = std::find(fileName, fileName + ConfigurationPathCapacity, WCHAR(0));
    return WideString(fileName, static_cast<std::size_t>(end - fileName));
}

std::optional<std::string> ReadConfigurationText(const WideString& path)
{
    return ReadTextFile(ToSystemPath(path));
}

void ImportConfiguration()
{
    const std::optional<WideString> path = SelectConfigurationFile();
    if (!path)
        return;
    const std::optional<std::string> text = ReadConfigurationText(*path);
    if (!text)
        return;
    CommandRenames = RenameTable::ReadBeside(ToSystemPath(*path));

    const GSErrCode classificationCode =
        RunImport("Import Classifications", "Classification Import Error: %d", *text,
                  [](const GS::UniString& xml) { return HostImportClassificationXml(&xml, 0, 0); });
    const GSErrCode propertyCode =
        RunImport("Import Properties", "Properties Import Error: %d", *text,
                  [](const GS::UniString& xml) { return HostImportPropertyXml(&xml, 1); });

    if (classificationCode == NoError && propertyCode == NoError)
        ImportExpressions();
}

}  // namespace Quillmere
