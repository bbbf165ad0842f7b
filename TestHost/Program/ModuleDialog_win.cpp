#include "ModuleDialog.hpp"

#include <optional>

#include "FileDialogAutomation_win.hpp"
#include "RecordConversion.hpp"

namespace HostProgram {

// The real dialog, operated for --choose and --cancel; what it showed and what became of it is
// printed when it closes.
struct ModuleDialog::Answering {
    std::optional<TestHost::FileDialogAutomation> automation;
    std::ostream* out = nullptr;
    std::string shownChoice;  // the file as given on the command line

    void Closed(const TestHost::ObservedFileDialog& dialog) const
    {
        std::string shown = "cancelled";
        if (!dialog.refusals.empty())
            shown += " (the dialog refused the file: " + TestHost::ToUtf8(dialog.refusals.front()) + ")";
        else if (dialog.abandoned)
            shown += " (the dialog did not react)";
        else if (!dialog.cancelled)
            shown = shownChoice;
        *out << "  dialog   \"" << TestHost::ToUtf8(dialog.title) << "\": " << shown << std::endl;
    }
};

ModuleDialog::ModuleDialog(const ProgramOptions& options, const ProgramInputs& inputs, std::ostream& out)
    : answering(std::make_unique<Answering>())
{
    if (options.dialog == DialogAnswer::Terminal)
        return;  // the user answers the dialog
    Answering& dialog = *answering;
    dialog.out = &out;
    dialog.shownChoice = options.configuration;
    dialog.automation.emplace();
    if (options.dialog == DialogAnswer::Choose)
        dialog.automation->QueueChoice(inputs.configuration.wstring());
    else
        dialog.automation->QueueCancel();
    dialog.automation->OnDialogClosed([&dialog](const TestHost::ObservedFileDialog& seen) { dialog.Closed(seen); });
}

ModuleDialog::~ModuleDialog()
{
    // Without a display GetOpenFileNameW answers 0 at once, and no dialog is seen.
    if (answering->automation && answering->automation->PendingAnswers() != 0)
        *answering->out << "  dialog   did not come up (is there a display?): cancelled" << std::endl;
}

}  // namespace HostProgram
