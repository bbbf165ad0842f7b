#include "FileDialogAutomation_win.hpp"

#include <stdexcept>

namespace TestHost {

namespace {

// Control IDs of the explorer-style open-file dialog.
constexpr int FileNameBox = 0x47c;  // cmb13: the file-name combo box with its edit field
constexpr int FileTypeBox = 0x470;  // cmb1: "Files of type"
constexpr int ReadOnlyBox = 0x410;  // chx1: "Open as read-only"

// How often the timer looks at the dialog, and how many looks one step may take before the
// dialog counts as stuck and is cancelled.
constexpr UINT TickMilliseconds = 25;
constexpr unsigned StuckAfterTicks = 800;

thread_local FileDialogAutomation* activeAutomation = nullptr;

std::wstring ClassNameOf(HWND window)
{
    wchar_t name[64] = {};
    const int length = GetClassNameW(window, name, 64);
    return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::wstring TextOf(HWND window)
{
    const int length = window != nullptr ? GetWindowTextLengthW(window) : 0;
    if (length <= 0)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

bool IsDialogWindow(HWND window)
{
    return ClassNameOf(window) == L"#32770";
}

// The open-file dialog is the dialog that has a file-name box; a message box has none.
bool IsFileDialog(HWND window)
{
    return IsDialogWindow(window) && GetDlgItem(window, FileNameBox) != nullptr;
}

// A visible dialog of this thread that `owner` owns: the message box it put up.
HWND FindOwnedBox(HWND owner)
{
    struct Search {
        HWND owner;
        HWND found;
    } search{owner, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            if (window != s.owner && IsWindowVisible(window) && IsDialogWindow(window) &&
                GetWindow(window, GW_OWNER) == s.owner) {
                s.found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The message box's text: its static controls with text, joined by line feeds.
std::wstring BoxText(HWND box)
{
    std::wstring text;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM data) -> BOOL {
            auto& joined = *reinterpret_cast<std::wstring*>(data);
            if (ClassNameOf(child) == L"Static") {
                const std::wstring part = TextOf(child);
                if (!part.empty())
                    joined += (joined.empty() ? L"" : L"\n") + part;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    return text;
}

void PressButton(HWND window, int id)
{
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

}  // namespace

FileDialogAutomation::FileDialogAutomation()
{
    if (activeAutomation != nullptr)
        throw std::runtime_error("a file dialog automation is already active on this thread");
    hook = SetWindowsHookExW(WH_CBT, &OnHookEvent, nullptr, GetCurrentThreadId());
    if (hook == nullptr)
        throw std::runtime_error("cannot hook the thread's windows (SetWindowsHookExW failed)");
    activeAutomation = this;
}

FileDialogAutomation::~FileDialogAutomation()
{
    StopTimer();
    UnhookWindowsHookEx(hook);
    activeAutomation = nullptr;
}

void FileDialogAutomation::QueueChoice(std::wstring fileName)
{
    answers.push_back({AnswerKind::Choose, std::move(fileName)});
}

void FileDialogAutomation::QueueCancel()
{
    answers.push_back({AnswerKind::Cancel, {}});
}

LRESULT CALLBACK FileDialogAutomation::OnHookEvent(int code, WPARAM wParam, LPARAM lParam)
{
    FileDialogAutomation* automation = activeAutomation;
    if (code == HCBT_ACTIVATE && automation != nullptr)
        automation->Activated(reinterpret_cast<HWND>(wParam));
    else if (code == HCBT_DESTROYWND && automation != nullptr)
        automation->Destroyed(reinterpret_cast<HWND>(wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK FileDialogAutomation::OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (activeAutomation != nullptr)
        activeAutomation->Tick();
}

// A file dialog coming up takes the next answer; the timer does the rest once the dialog's own
// start-up messages have been handled. Activations of the current dialog (after its message box
// closes) and of other windows change nothing.
void FileDialogAutomation::Activated(HWND window)
{
    if (window == dialog || !IsFileDialog(window))
        return;
    dialog = window;
    dialogs.emplace_back();
    if (answers.empty()) {
        answer = Answer{AnswerKind::Cancel, {}};
    } else {
        answer = std::move(answers.front());
        answers.pop_front();
    }
    step = Step::Reading;
    refusalBox = nullptr;
    ticksInStep = 0;
    if (timer == 0)
        timer = SetTimer(nullptr, 0, TickMilliseconds, &OnTimer);
}

// The dialog's window going away ends its answer, inside the dialog call.
void FileDialogAutomation::Destroyed(HWND window)
{
    if (window != dialog)
        return;
    dialog = nullptr;
    StopTimer();
    if (closed)
        closed(dialogs.back());
}

void FileDialogAutomation::Tick()
{
    if (dialog == nullptr || !IsWindow(dialog)) {
        dialog = nullptr;
        StopTimer();
        return;
    }
    ObservedFileDialog& seen = dialogs.back();
    ++ticksInStep;
    const auto next = [this](Step to) {
        step = to;
        ticksInStep = 0;
    };
    switch (step) {
    case Step::Reading:
        if (!IsWindowVisible(dialog))
            break;
        Read();
        next(Step::Holding);
        [[fallthrough]];
    case Step::Holding:
        if (hold && hold(dialog)) {
            ticksInStep = 0;
            return;
        }
        if (answer.kind == AnswerKind::Cancel) {
            Cancel(false);
            next(Step::Closing);
        } else {
            Submit();
            next(Step::Submitted);
        }
        return;
    case Step::Submitted:
        // A chosen file closes the dialog (seen on the next tick); a refused one brings up a box.
        if ((refusalBox = FindOwnedBox(dialog)) != nullptr) {
            seen.refusals.push_back(BoxText(refusalBox));
            PressButton(refusalBox, IDOK);
            next(Step::ClosingRefusal);
            return;
        }
        break;
    case Step::ClosingRefusal:
        if (IsWindow(refusalBox) && IsWindowVisible(refusalBox))
            break;
        seen.stayedOpenAfterRefusal = IsWindowVisible(dialog) != FALSE;
        Cancel(false);
        next(Step::Closing);
        return;
    case Step::Closing:
        break;
    }
    if (ticksInStep >= StuckAfterTicks) {
        if (HWND box = FindOwnedBox(dialog); box != nullptr)
            PostMessageW(box, WM_CLOSE, 0, 0);
        Cancel(true);
        next(Step::Closing);
    }
}

void FileDialogAutomation::Read()
{
    ObservedFileDialog& seen = dialogs.back();
    seen.title = TextOf(dialog);
    const HWND types = GetDlgItem(dialog, FileTypeBox);
    const LRESULT count = types != nullptr ? SendMessageW(types, CB_GETCOUNT, 0, 0) : 0;
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(types, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring entry(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
        const LRESULT copied =
            SendMessageW(types, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry.data()));
        entry.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
        seen.fileTypes.push_back(std::move(entry));
    }
    seen.selectedFileType = types != nullptr ? static_cast<int>(SendMessageW(types, CB_GETCURSEL, 0, 0)) : -1;
    seen.fileNameShown = TextOf(GetDlgItem(dialog, FileNameBox));
    seen.owned = GetWindow(dialog, GW_OWNER) != nullptr;
    const HWND readOnly = GetDlgItem(dialog, ReadOnlyBox);
    seen.readOnlyBoxShown = readOnly != nullptr && IsWindowVisible(readOnly);
}

// Types the name into the file-name box (setting the combo box's text sets its edit field) and
// presses Open.
void FileDialogAutomation::Submit()
{
    dialogs.back().typedFileName = answer.fileName;
    SetDlgItemTextW(dialog, FileNameBox, answer.fileName.c_str());
    PressButton(dialog, IDOK);
}

void FileDialogAutomation::Cancel(bool abandon)
{
    dialogs.back().cancelled = true;
    dialogs.back().abandoned = abandon;
    PressButton(dialog, IDCANCEL);
}

void FileDialogAutomation::StopTimer()
{
    if (timer != 0)
        KillTimer(nullptr, timer);
    timer = 0;
}

}  // namespace TestHost
