#include "DialogProviders.hpp"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "FilePath_posix.hpp"

namespace {

// Length of a NUL-terminated UTF-16 text.
std::size_t UnitLength(const char16_t* units)
{
    std::size_t length = 0;
    while (units[length] != 0)
        ++length;
    return length;
}

// The strings of a filter list: NUL-terminated texts ended by an empty one.
std::vector<std::string> SplitFilterList(const char16_t* list)
{
    std::vector<std::string> strings;
    if (list == nullptr)
        return strings;
    while (*list != 0) {
        const std::size_t length = UnitLength(list);
        strings.push_back(QmFilePath::ConvertToUtf8(list, length));
        list += length + 1;
    }
    return strings;
}

bool AreOtherMembersZero(const OPENFILENAMEW& request)
{
    return request.hInstance == nullptr && request.lpstrCustomFilter == nullptr && request.nMaxCustFilter == 0 &&
           request.lpstrFileTitle == nullptr && request.nMaxFileTitle == 0 && request.lpstrInitialDir == nullptr &&
           request.nFileOffset == 0 && request.nFileExtension == 0 && request.lpstrDefExt == nullptr &&
           request.lCustData == 0 && request.lpfnHook == nullptr && request.lpTemplateName == nullptr &&
           request.pvReserved == nullptr && request.dwReserved == 0 && request.FlagsEx == 0;
}

OpenFileRequestCopy CopyRequest(const OPENFILENAMEW& request)
{
    OpenFileRequestCopy copy;
    copy.structSize = request.lStructSize;
    copy.ownerIsNull = request.hwndOwner == nullptr;
    copy.hasTitle = request.lpstrTitle != nullptr;
    if (copy.hasTitle)
        copy.title = QmFilePath::ConvertToUtf8(request.lpstrTitle, UnitLength(request.lpstrTitle));
    copy.filters = SplitFilterList(request.lpstrFilter);
    copy.filterIndex = request.nFilterIndex;
    copy.flags = request.Flags;
    copy.maxFile = request.nMaxFile;
    if (request.lpstrFile != nullptr) {
        std::size_t length = 0;
        while (length < request.nMaxFile && request.lpstrFile[length] != 0)
            ++length;
        copy.initialFile = QmFilePath::ConvertToUtf8(request.lpstrFile, length);
    }
    copy.otherMembersZero = AreOtherMembersZero(request);
    return copy;
}

// Writes `path` and its terminator into the request's buffer when they fit.
bool WritePath(OPENFILENAMEW& request, const std::u16string& path)
{
    if (request.lpstrFile == nullptr || path.size() >= request.nMaxFile)
        return false;
    std::memcpy(request.lpstrFile, path.data(), path.size() * sizeof(char16_t));
    request.lpstrFile[path.size()] = 0;
    return true;
}

// One line of `input` without its line break and surrounding blanks; nullopt at the end of input.
std::optional<std::string> ReadAnswerLine(std::FILE* input)
{
    std::string line;
    int c = std::fgetc(input);
    if (c == EOF)
        return std::nullopt;
    for (; c != EOF && c != '\n'; c = std::fgetc(input))
        line.push_back(static_cast<char>(c));
    const char* blanks = " \t\r";
    const std::size_t first = line.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    return line.substr(first, line.find_last_not_of(blanks) - first + 1);
}

// `path` made absolute against the current folder.
std::string MakeAbsolute(const std::string& path)
{
    if (path.front() == '/')
        return path;
    std::string folder(256, '\0');
    while (::getcwd(folder.data(), folder.size()) == nullptr) {
        if (errno != ERANGE)
            return path;
        folder.resize(folder.size() * 2);
    }
    folder.resize(std::strlen(folder.c_str()));
    return folder == "/" ? folder + path : folder + "/" + path;
}

}  // namespace

void ScriptedFileDialog::QueueChoice(std::string path)
{
    answers.emplace_back(std::move(path));
}

void ScriptedFileDialog::QueueCancel()
{
    answers.emplace_back(std::nullopt);
}

BOOL ScriptedFileDialog::Answer(OPENFILENAMEW& request)
{
    requests.push_back(CopyRequest(request));
    if (answers.empty())
        return 0;
    const std::optional<std::string> answer = std::move(answers.front());
    answers.pop_front();
    if (!answer)
        return 0;
    return WritePath(request, QmFilePath::ConvertToUtf16(*answer)) ? 1 : 0;
}

BOOL ScriptedFileDialog::Provide(OPENFILENAMEW* request, void* dialog)
{
    return static_cast<ScriptedFileDialog*>(dialog)->Answer(*request);
}

OpenFileDialogProvider ScriptedFileDialog::Install()
{
    return QmSetOpenFileDialogProvider(&ScriptedFileDialog::Provide, this);
}

BOOL TerminalFileDialog::Answer(OPENFILENAMEW& request)
{
    if (request.lpstrFile == nullptr || request.nMaxFile == 0)
        return 0;  // no path could ever fit
    const std::string title = request.lpstrTitle != nullptr
                                  ? QmFilePath::ConvertToUtf8(request.lpstrTitle, UnitLength(request.lpstrTitle))
                                  : std::string("Open");
    std::fprintf(output, "%s\n", title.c_str());
    const std::vector<std::string> filters = SplitFilterList(request.lpstrFilter);
    for (std::size_t pair = 0; pair + 1 < filters.size(); pair += 2) {
        const std::size_t number = pair / 2 + 1;
        std::fprintf(output, "  %zu. %s (%s)%s\n", number, filters[pair].c_str(), filters[pair + 1].c_str(),
                     number == request.nFilterIndex ? " [selected]" : "");
    }

    for (;;) {
        std::fputs("File path (empty to cancel): ", output);
        std::fflush(output);
        const std::optional<std::string> line = ReadAnswerLine(input);
        if (!line || line->empty()) {
            std::fputs(line ? "Cancelled.\n" : "\nCancelled.\n", output);
            std::fflush(output);
            return 0;
        }
        const std::u16string path = QmFilePath::ConvertToUtf16(MakeAbsolute(*line));
        // Check what the caller will receive, after the conversion to UTF-16.
        const std::string checked = QmFilePath::ConvertToUtf8(path.data(), path.size());
        if ((request.Flags & OFN_FILEMUSTEXIST) != 0 && !QmFilePath::IsExistingFile(checked)) {
            std::fprintf(output, "File does not exist: %s\nEnter the path of an existing file.\n", checked.c_str());
            continue;
        }
        if ((request.Flags & OFN_PATHMUSTEXIST) != 0 && !QmFilePath::IsExistingFolderOf(checked)) {
            std::fprintf(output, "Folder does not exist: %s\nEnter a path in an existing folder.\n", checked.c_str());
            continue;
        }
        if (!WritePath(request, path)) {
            std::fprintf(output, "The path is too long: at most %u characters fit.\n",
                         static_cast<unsigned>(request.nMaxFile == 0 ? 0 : request.nMaxFile - 1));
            continue;
        }
        return 1;
    }
}

BOOL TerminalFileDialog::Provide(OPENFILENAMEW* request, void* dialog)
{
    return static_cast<TerminalFileDialog*>(dialog)->Answer(*request);
}

OpenFileDialogProvider TerminalFileDialog::Install()
{
    return QmSetOpenFileDialogProvider(&TerminalFileDialog::Provide, this);
}
