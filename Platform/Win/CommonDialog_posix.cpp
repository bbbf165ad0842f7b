#include "Win.hpp"

#include <mutex>

#include "FilePath_posix.hpp"

namespace {

std::mutex providerMutex;
OpenFileDialogProvider provider = nullptr;  // nullptr: every dialog is cancelled
void* providerData = nullptr;

// Sets the offsets of the file name and its extension in the chosen path, as the Windows dialog
// does: the extension offset is that of the terminator for a name without a dot, 0 for a name
// ending in one.
void SetNameOffsets(OPENFILENAMEW& request, std::size_t length)
{
    const LPWSTR path = request.lpstrFile;
    std::size_t name = length;
    while (name > 0 && path[name - 1] != u'/')
        --name;
    std::size_t extension = length;
    for (std::size_t at = length; at > name; --at) {
        if (path[at - 1] == u'.') {
            extension = at == length ? 0 : at;
            break;
        }
    }
    request.nFileOffset = static_cast<WORD>(name);
    request.nFileExtension = static_cast<WORD>(extension);
}

}  // namespace

BOOL GetOpenFileNameW(OPENFILENAMEW* request)
{
    if (request == nullptr || request->lStructSize != sizeof(OPENFILENAMEW) || request->lpstrFile == nullptr ||
        request->nMaxFile == 0)
        return 0;

    OpenFileDialogProvider answer;
    void* userData;
    {
        std::lock_guard<std::mutex> lock(providerMutex);
        answer = provider;
        userData = providerData;
    }
    if (answer == nullptr)
        return 0;

    // The buffer as the caller gave it, whatever the provider does to the record.
    const LPWSTR buffer = request->lpstrFile;
    const DWORD capacity = request->nMaxFile;
    const DWORD flags = request->Flags;
    if (answer(request, userData) != 1)
        return 0;
    request->lpstrFile = buffer;
    request->nMaxFile = capacity;

    std::size_t length = 0;
    while (length < capacity && buffer[length] != 0)
        ++length;
    if (length == capacity || length == 0)
        return 0;  // not terminated within the buffer, or no path at all

    if ((flags & (OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST)) != 0) {
        const std::string path = QmFilePath::ConvertToUtf8(buffer, length);
        if ((flags & OFN_FILEMUSTEXIST) != 0 && !QmFilePath::IsExistingFile(path))
            return 0;
        if ((flags & OFN_PATHMUSTEXIST) != 0 && !QmFilePath::IsExistingFolderOf(path))
            return 0;
    }
    SetNameOffsets(*request, length);
    return 1;
}

OpenFileDialogProvider QmSetOpenFileDialogProvider(OpenFileDialogProvider newProvider, void* userData)
{
    std::lock_guard<std::mutex> lock(providerMutex);
    OpenFileDialogProvider previous = provider;
    provider = newProvider;
    providerData = newProvider != nullptr ? userData : nullptr;
    return previous;
}
