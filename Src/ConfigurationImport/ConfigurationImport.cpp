#include "ConfigurationImport.hpp"

#include "Common/FileProblem.hpp"
#include "Common/Messages.hpp"
#include "Common/OwnedGroups.hpp"
#include "GSRoot/UnicodeCodec.hpp"
#include "Host/HostCalls.hpp"
#include "Win/Win.hpp"

namespace Quillmere {

namespace {

// The wide literal of a macro's text: the macro is expanded before the prefix is put on.
#define QM_WIDE_TEXT(text) QM_WIDE(text)

// Runs the host import `importText` on the configuration text as the undoable command `name`,
// reporting a failure with `errorFormat`; answers whether it succeeded. The text is converted when
// the host runs the command, so the host sees it up to its first NUL byte.
template <typename ImportText>
bool RunImport(const char* name, const char* errorFormat, const std::string& text, ImportText importText)
{
    auto callable = [&text, &importText]() {
        const GS::UniString xml(text.c_str(), CC_Default);
        return importText(xml);
    };
    return RunUndoableCommand(name, errorFormat, callable) == NoError;
}

// Shows the open-file dialog. Gives the chosen path as the system names files (UTF-16 on Windows,
// UTF-8 elsewhere), or nothing when the dialog was cancelled, closed or failed (any result but 1).
std::optional<SystemPath> SelectConfigurationFile()
{
    constexpr DWORD PathCapacity = 260;  // the terminating NUL included
    WCHAR fileName[PathCapacity] = {};
    OPENFILENAMEW request{};
    request.lStructSize = sizeof(OPENFILENAMEW);
    // Both filter pairs end in NUL; the literal's own terminator adds the NUL that ends the list.
    request.lpstrFilter = QM_WIDE_TEXT(QM_DIALOG_FILTER);
    request.nFilterIndex = 1;
    request.lpstrFile = fileName;
    request.nMaxFile = PathCapacity;
    request.lpstrTitle = QM_WIDE_TEXT(QM_DIALOG_TITLE);
    request.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (GetOpenFileNameW(&request) != 1)
        return std::nullopt;
#if defined(_WIN32)
    return SystemPath(fileName);
#else
    return SystemPath(GS::Unicode::ConvertUtf16ToUtf8(fileName, std::char_traits<WCHAR>::length(fileName)));
#endif
}

}  // namespace

std::optional<Configuration> ChooseConfiguration()
{
    const std::optional<SystemPath> chosen = SelectConfigurationFile();
    if (!chosen)
        return std::nullopt;
    SystemError error = 0;
    std::optional<std::string> text = ReadTextFile(*chosen, &error);
    if (!text) {
        ReportLine(Messages::UnreadableConfigurationLine, {PathText(*chosen), FileProblem{{}, error}.Detail()});
        return std::nullopt;
    }
    return Configuration{*chosen, std::move(*text)};
}

RenameTable ReadRenameTableBeside(const Configuration& configuration)
{
    const SystemPath path = RenameTablePathBeside(configuration.path);
    RenameTableReading reading = ReadRenameTable(path);
    if (reading.problem)
        ReportLine(Messages::RenameTableUnusableLine, {PathText(path), reading.problem->Detail()});
    for (const SkippedEntry& entry : reading.skipped) {
        const char* why = entry.missing.empty() ? Messages::EntryUnknownReason : Messages::EntryAttributeMissingReason;
        ReportLine(Messages::RenameTableEntrySkippedLine, {PathText(path), entry.number, entry.element,
                                                              FormatLine(why, {entry.missing})});
    }
    return std::move(reading.table);
}

void RemoveOwnedPropertyGroups()
{
    GS::Array<API_PropertyGroup> groups;
    if (HostListPropertyGroups(&groups) != NoError)
        return;

    for (const API_PropertyGroup& group : groups) {
        // The host runs the callable before the command returns, so it reads the group in place.
        auto removeGroup = [&group]() { return HostRemovePropertyGroup(&group.guid); };
        if (IsOwnedGroupName(group.name))
            RunUndoableCommand(Messages::DeleteGroupsStep, Messages::DeleteGroupError, removeGroup);
    }
}

bool ImportConfiguration(const Configuration& configuration, UpdateRun& run)
{
    const bool classified =
        RunImport(Messages::ImportClassificationsStep, Messages::ClassificationImportError, configuration.text,
                  [](const GS::UniString& xml) { return HostImportClassificationXml(&xml, 0, 0); });
    run.propertiesImported = RunImport(Messages::ImportPropertiesStep, Messages::PropertiesImportError, configuration.text,
                                       [](const GS::UniString& xml) { return HostImportPropertyXml(&xml, 1); });
    return classified && run.propertiesImported;
}

}  // namespace Quillmere
