#include "ModuleDialog.hpp"

#include "RecordConversion.hpp"
#include "Win/DialogProviders.hpp"

namespace HostProgram {

// Answers the module's file dialog through the chosen provider and shows the answer.
struct ModuleDialog::Answering {
    ScriptedFileDialog scripted;
    TerminalFileDialog terminal;
    OpenFileDialogProvider provider = nullptr;
    void* providerData = nullptr;
    OpenFileDialogProvider previousProvider = nullptr;
    std::ostream* out = nullptr;
    std::string shownChoice;  // how a chosen file is shown; empty: the path in the buffer

    static BOOL Provide(OPENFILENAMEW* request, void* data)
    {
        Answering& watch = *static_cast<Answering*>(data);
        const BOOL answer = watch.provider(request, watch.providerData);
        const std::string title = request != nullptr && request->lpstrTitle != nullptr
                                      ? TestHost::ToUtf8(std::u16string_view(request->lpstrTitle))
                                      : std::string();
        std::string shown = "cancelled";
        if (answer == 1)
            shown = !watch.shownChoice.empty() ? watch.shownChoice : TestHost::ToUtf8(std::u16string_view(request->lpstrFile));
        *watch.out << "  dialog   \"" << title << "\": " << shown << std::endl;
        return answer;
    }
};

ModuleDialog::ModuleDialog(const ProgramOptions& options, const ProgramInputs& inputs, std::ostream& out)
    : answering(std::make_unique<Answering>())
{
    Answering& dialog = *answering;
    dialog.out = &out;
    if (options.dialog == DialogAnswer::Terminal) {
        dialog.provider = &TerminalFileDialog::Provide;
        dialog.providerData = &dialog.terminal;
    } else {
        if (options.dialog == DialogAnswer::Choose)
            dialog.scripted.QueueChoice(inputs.configuration.string());
        else
            dialog.scripted.QueueCancel();
        dialog.provider = &ScriptedFileDialog::Provide;
        dialog.providerData = &dialog.scripted;
        dialog.shownChoice = options.configuration;
    }
    dialog.previousProvider = QmSetOpenFileDialogProvider(&Answering::Provide, &dialog);
}

ModuleDialog::~ModuleDialog()
{
    QmSetOpenFileDialogProvider(answering->previousProvider, nullptr);
}

}  // namespace HostProgram
