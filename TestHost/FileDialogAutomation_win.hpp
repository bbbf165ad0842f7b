// Answering the real Windows open-file dialog (comdlg32) the way a UI test does: a WH_CBT hook on
// the thread that will show the dialog notices it coming up, and a thread timer then reads what
// it shows, types the file name into its file-name box and presses Open, or presses Cancel. The
// module under test calls GetOpenFileNameW itself and never knows.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "Win/Win.hpp"

namespace TestHost {

// What one open-file dialog showed, read from its controls once it was up, and what happened to it.
struct ObservedFileDialog {
    std::wstring title;                   // the dialog's caption
    std::vector<std::wstring> fileTypes;  // the entries of its file type box, in order
    int selectedFileType = -1;            // 0-based index of the selected entry; -1 for none
    std::wstring fileNameShown;           // the file-name box's text when the dialog came up
    bool owned = false;                   // the dialog has an owner window
    bool readOnlyBoxShown = false;        // the "open as read-only" check box is visible
    std::wstring typedFileName;           // what was typed before pressing Open; empty if Open was not pressed
    std::vector<std::wstring> refusals;   // the texts of each message box the dialog put up after Open
    bool stayedOpenAfterRefusal = false;  // the dialog was still up when its message box had been closed
    bool cancelled = false;               // the automation pressed Cancel (asked to, or after a refusal)
    bool abandoned = false;               // the dialog did not react in time and was cancelled
};

// Answers, in order, the open-file dialogs shown on the thread that made it. One object per thread
// at a time; it must be destroyed on that thread.
class FileDialogAutomation {
public:
    // Hooks the calling thread. Throws std::runtime_error when the hook cannot be installed or
    // another automation is active on this thread.
    FileDialogAutomation();
    ~FileDialogAutomation();
    FileDialogAutomation(const FileDialogAutomation&) = delete;
    FileDialogAutomation& operator=(const FileDialogAutomation&) = delete;

    // Queues an answer that types `fileName` (a full path, or a name in the dialog's folder) into
    // the file-name box and presses Open. Should the dialog refuse the name with a message box (a
    // file that does not exist), the box's text is noted and the box closed, and the dialog, if it
    // stayed open, is cancelled.
    void QueueChoice(std::wstring fileName);
    // Queues an answer that presses Cancel.
    void QueueCancel();
    // A dialog that finds the queue empty is cancelled.
    std::size_t PendingAnswers() const noexcept { return answers.size(); }

    // Called on every tick once a dialog is up and has been read, before it is answered; the
    // answer waits while it returns true. The caller bounds how long it holds.
    void HoldWhile(std::function<bool(HWND dialog)> hold) { this->hold = std::move(hold); }

    // Called when a dialog goes away, before GetOpenFileNameW returns, with what was seen of it.
    void OnDialogClosed(std::function<void(const ObservedFileDialog&)> closed) { this->closed = std::move(closed); }

    // The dialogs seen so far, in order.
    const std::vector<ObservedFileDialog>& Dialogs() const noexcept { return dialogs; }

private:
    enum class AnswerKind { Choose, Cancel };
    struct Answer {
        AnswerKind kind;
        std::wstring fileName;
    };
    enum class Step { Reading, Holding, Submitted, ClosingRefusal, Closing };

    static LRESULT CALLBACK OnHookEvent(int code, WPARAM wParam, LPARAM lParam);
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    void Activated(HWND window);
    void Destroyed(HWND window);
    void Tick();
    void Read();
    void Submit();
    void Cancel(bool abandon);
    void StopTimer();

    HHOOK hook = nullptr;
    UINT_PTR timer = 0;
    std::deque<Answer> answers;
    std::vector<ObservedFileDialog> dialogs;
    std::function<bool(HWND)> hold;
    std::function<void(const ObservedFileDialog&)> closed;

    // The dialog being answered.
    HWND dialog = nullptr;
    Answer answer{AnswerKind::Cancel, {}};
    Step step = Step::Reading;
    HWND refusalBox = nullptr;
    unsigned ticksInStep = 0;
};

}  // namespace TestHost
