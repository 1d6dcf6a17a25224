// The Linux dialogs: save/open file selectors and the message box, each run
// as a separate program (zenity, else kdialog) so that no toolkit loop ever
// runs inside the host. Nothing here blocks: dialogs are started, then
// poll() (from the platform's pump) notices their end and delivers the
// result on the pump's thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "gui/FileSelector.h"
#include "platform/Windows.h"

namespace rimbrel::gui::x11 {

class ChildProcess;

enum class DialogProgram { Zenity,
                           Kdialog };

// The command line showing `request` with `program` found at `path`.
std::vector<std::string> fileSelectorCommand(DialogProgram program, const std::string& path,
                                             const FileSelectorRequest& request);
// The command line of a warning with one OK button.
std::vector<std::string> messageBoxCommand(DialogProgram program, const std::string& path,
                                           const std::string& caption, const std::string& text);
// The command line of a yes/no question.
std::vector<std::string> questionCommand(DialogProgram program, const std::string& path,
                                         const std::string& caption, const std::string& text);
// The chosen paths printed by a file dialog: one per line, the trailing line
// break removed; nothing for empty output. Only a multiple selection may
// yield more than one path.
std::vector<std::string> parseSelectorOutput(const std::string& output, bool multiple);

class DialogRunner {
public:
    DialogRunner();
    ~DialogRunner();  // running dialogs are ended unanswered
    DialogRunner(const DialogRunner&) = delete;
    DialogRunner& operator=(const DialogRunner&) = delete;

    // Starts a file dialog for `owner`. Always starts something: with no
    // dialog program (or one that cannot be run) a line goes to stderr and
    // the dialog ends with no file at the next poll().
    bool runFileSelector(const void* owner, const FileSelectorRequest& request, FileSelectorDone done);
    // Shows a warning without waiting for it. Without any dialog program, or
    // when the program fails (no display it can use), the caption and text
    // go to stderr as one line instead.
    void showMessageBox(const std::string& caption, const std::string& text);
    // Starts a yes/no question for `owner` without waiting for it; poll()
    // delivers the answer (yes only when the user chose yes). False when no
    // dialog program can be run: nothing was asked.
    bool askQuestion(const void* owner, const std::string& caption, const std::string& text, QuestionDone done);

    // Delivers the results of the file dialogs that ended and reaps ended
    // message boxes. Runs on the pump's thread.
    void poll();
    // Ends the dialogs of a closed window: they are terminated and their
    // results never delivered.
    void dropOwner(const void* owner);

    int runningFileSelectors() const;
    int runningMessageBoxes() const;
    int runningQuestions() const;

private:
    struct Selector {
        const void* owner;
        std::unique_ptr<ChildProcess> child;  // null: ends at once without a file
        bool multiple;
        FileSelectorDone done;
    };
    struct Box {
        std::unique_ptr<ChildProcess> child;
        std::string caption;
        std::string text;
    };
    std::vector<Selector> selectors;
    std::vector<Box> boxes;
    struct Question {
        const void* owner;
        std::unique_ptr<ChildProcess> child;
        QuestionDone done;
    };
    std::vector<Question> questions;
};

}  // namespace rimbrel::gui::x11
