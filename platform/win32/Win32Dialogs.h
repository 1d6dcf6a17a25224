// The dialogs of one Windows frame: the save dialog (IFileSaveDialog), the
// message box and the yes/no question (MessageBoxW). Windows hosts expect
// them modal, but none is shown from within the call that asks for it: each
// is posted to the frame's window and shown when the window gets that
// message, and its answer is delivered right after it closes, unless the
// window went meanwhile.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <string>

#include "platform/Dialogs.h"

namespace rimbrel::gui::win32 {

class Win32Dialogs {
public:
    explicit Win32Dialogs(HWND window);
    ~Win32Dialogs();  // pending dialogs are dropped, open ones never answer
    Win32Dialogs(const Win32Dialogs&) = delete;
    Win32Dialogs& operator=(const Win32Dialogs&) = delete;

    bool runFileSelector(const FileSelectorRequest& request, FileSelectorDone done);
    void showMessageBox(const std::string& caption, const std::string& text);
    bool askQuestion(const std::string& caption, const std::string& text, QuestionDone done);

    // Whether `message` is one this object posted.
    static bool handles(UINT message);
    // Shows the dialog `message` stands for. This object and the frame may
    // be gone when it returns.
    void run(UINT message);
    // The window went: nothing shown or open answers any more.
    void windowGone();

private:
    struct Pending {
        FileSelectorRequest request;
        FileSelectorDone selectorDone;
        std::string caption;
        std::string text;
        QuestionDone questionDone;
    };
    bool post(UINT message, Pending pending);

    HWND window;
    std::deque<Pending> selectors, boxes, questions;
    // Shared with the dialogs being shown: false once the window went.
    std::shared_ptr<bool> alive;
};

// Shows a save or open dialog for `request` over `owner` and waits for it;
// the chosen paths in UTF-8, none when cancelled.
std::vector<std::string> showFileDialog(HWND owner, const FileSelectorRequest& request);

}  // namespace rimbrel::gui::win32
