// Runs the module's menu command in the test host and keeps the file dialog that the module opens
// on screen until a picture of it has been taken, then cancels it.
//
//     WindowsDialogForScreenshot.exe READY-FILE RELEASE-FILE [FOLDER]
//
// FOLDER (default: the current one) becomes the current folder, which the dialog shows. Once the
// dialog is up and drawn, READY-FILE is written with the dialog's place on the screen in pixels
// ("left top width height") if it shows the module's title; the dialog stays until RELEASE-FILE
// exists (or about a minute has passed). Exits with 0 when the dialog showed the module's title.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "FileDialogAutomation_win.hpp"
#include "Host.hpp"
#include "ModuleLoader.hpp"

namespace {

// Polls (the automation looks every 25 ms) before the ready file is written, and before the dialog
// is let go without the release file.
constexpr unsigned ReadyAfterPolls = 8;
constexpr unsigned MaxHoldPolls = 2400;

std::filesystem::path ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(path).parent_path();
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: WindowsDialogForScreenshot READY-FILE RELEASE-FILE [FOLDER]\n");
        return 2;
    }
    const std::filesystem::path ready = std::filesystem::absolute(argv[1]);
    const std::filesystem::path release = std::filesystem::absolute(argv[2]);
    if (argc == 4)
        std::filesystem::current_path(argv[3]);

    TestHost::Host host;
    TestHost::ModuleLoader loader;
    if (loader.Load(ProgramFolder() / L"Quillmere.dll") != TestHost::ModuleError::None) {
        std::fprintf(stderr, "%s\n", loader.ErrorDetail().c_str());
        return 1;
    }
    API_EnvirParams environment;
    if (loader.Start(host.ServiceTable(), environment, nullptr, host.Context()) != TestHost::ModuleError::None) {
        std::fprintf(stderr, "the module did not start\n");
        return 1;
    }

    TestHost::FileDialogAutomation dialogs;
    dialogs.QueueCancel();
    // The dialog is brought to the front, given a few polls to draw itself as the active window,
    // and then its place on the screen is written into the ready file.
    unsigned polls = 0;
    dialogs.HoldWhile([&](HWND dialog) {
        ++polls;
        if (polls == 1)
            SetForegroundWindow(dialog);
        if (polls == ReadyAfterPolls && dialogs.Dialogs().back().title == L"Select an IFC-SG Config File") {
            RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
            GdiFlush();
            RECT place{};
            GetWindowRect(dialog, &place);
            std::ofstream(ready) << place.left << ' ' << place.top << ' ' << place.right - place.left << ' '
                                 << place.bottom - place.top << '\n';
        }
        return polls < ReadyAfterPolls || (polls < MaxHoldPolls && !std::filesystem::exists(release));
    });
    host.ChooseMenuItem(32500, 1);
    loader.Release();

    const bool shown = !dialogs.Dialogs().empty() && dialogs.Dialogs()[0].title == L"Select an IFC-SG Config File";
    std::fprintf(stderr, shown ? "the dialog was shown\n" : "no dialog was shown\n");
    return shown ? 0 : 1;
}
