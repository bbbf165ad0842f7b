// Open-file dialog providers that a host on a system without the Windows common dialog installs
// with QmSetOpenFileDialogProvider: a scripted one for tests and a prompt on a terminal for people.
// Neither is safe to use from two threads at once.
#pragma once

#if !defined(_WIN32)

#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "../PlatformExport.hpp"
#include "Win.hpp"

// What one open-file request asked for, copied when the dialog was shown. Texts are UTF-8.
struct OpenFileRequestCopy {
    DWORD structSize = 0;
    bool ownerIsNull = true;
    bool hasTitle = false;
    std::string title;
    // The strings of lpstrFilter in order (name, pattern, name, pattern, ...); empty for none.
    std::vector<std::string> filters;
    DWORD filterIndex = 0;
    DWORD flags = 0;
    DWORD maxFile = 0;
    // The buffer's text before the dialog answered, up to its terminator or nMaxFile units.
    std::string initialFile;
    // True when every member not copied above (hInstance, the custom filter, the file-title buffer,
    // the initial folder, the offsets, the default extension, lCustData, the hook, the template and
    // the reserved members) is zero or null.
    bool otherMembersZero = false;
};

// Answers requests from a queue filled in advance, and keeps a copy of every request it saw.
class PLATFORM_API ScriptedFileDialog {
public:
    // Queues an answer that chooses `path` (UTF-8, written to the buffer as given).
    void QueueChoice(std::string path);
    // Queues an answer that cancels the dialog.
    void QueueCancel();
    std::size_t GetPendingAnswerCount() const noexcept { return answers.size(); }
    const std::vector<OpenFileRequestCopy>& GetRequests() const noexcept { return requests; }

    // Records the request and takes the next answer. Returns 1 with the path written to the
    // buffer; 0 for a cancel, for an empty queue, and for a path of nMaxFile units or more (the
    // buffer is then left untouched). Existence checks are GetOpenFileNameW's, not made here.
    BOOL Answer(OPENFILENAMEW& request);
    // The provider function; `dialog` is the ScriptedFileDialog.
    static BOOL Provide(OPENFILENAMEW* request, void* dialog);
    // Installs this dialog as the provider; returns the previous provider.
    OpenFileDialogProvider Install();

private:
    std::deque<std::optional<std::string>> answers;  // nullopt: cancel
    std::vector<OpenFileRequestCopy> requests;
};

// Shows the title and filter pairs on `output` and reads the path, one line, from `input`.
class PLATFORM_API TerminalFileDialog {
public:
    explicit TerminalFileDialog(std::FILE* input = stdin, std::FILE* output = stdout) noexcept
        : input(input), output(output)
    {
    }

    // Asks until an acceptable path is given: asks again, saying why, when OFN_FILEMUSTEXIST or
    // OFN_PATHMUSTEXIST is set and the file or its folder does not exist, or when the path needs
    // nMaxFile units or more. A relative path is taken from the current folder. Returns 1 with the
    // full path written to the buffer as UTF-16, or 0 on an empty line or the end of the input.
    BOOL Answer(OPENFILENAMEW& request);
    // The provider function; `dialog` is the TerminalFileDialog.
    static BOOL Provide(OPENFILENAMEW* request, void* dialog);
    // Installs this dialog as the provider; returns the previous provider.
    OpenFileDialogProvider Install();

private:
    std::FILE* input;
    std::FILE* output;
};

#endif
