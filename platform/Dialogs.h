// The dialogs a platform shows for a window: the file selector (the save
// dialog), the message box and the yes/no question. None of them blocks the
// UI thread: each starts and returns, and its answer comes later from the
// platform's pump, on the UI thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace rimbrel::gui {

struct CFileExtension {
    CFileExtension() = default;
    CFileExtension(const char* desc, const char* ext, const char* mime = "")
        : description(desc ? desc : ""), extension(ext ? ext : ""), mimeType(mime ? mime : "") {
    }

    std::string description;  // "AIFF"
    std::string extension;    // "aif" (without the dot)
    std::string mimeType;     // "audio/x-aiff"
};

// Everything a platform needs to show one file selector.
struct FileSelectorRequest {
    enum class Style { SelectFile,
                       SelectSaveFile,
                       SelectDirectory };
    Style style = Style::SelectFile;
    std::string title;
    std::string defaultSaveName;
    std::string initialDirectory;
    std::vector<CFileExtension> extensions;
    bool multipleSelection = false;
};

// Called once, on the UI thread, when the dialog ends: the chosen paths
// (UTF-8), none when the dialog was cancelled or could not be shown.
using FileSelectorDone = std::function<void(std::vector<std::string> paths)>;

// The answer to a yes/no question: true for yes.
using QuestionDone = std::function<void(bool yes)>;

// What runs file selectors on one platform (a child process, a native
// dialog, a script in tests).
class IFileSelectorBackend {
public:
    virtual ~IFileSelectorBackend() = default;
    // Starts the dialog without blocking. Returns false when nothing could be
    // started; then `done` is never called. Otherwise `done` is called later,
    // from the platform's pump, unless the backend is destroyed first.
    virtual bool runFileSelector(const FileSelectorRequest& request, FileSelectorDone done) = 0;
};

// Every dialog of one window. A platform drops the pending dialogs of a
// window (their `done` is never called) when the window goes.
class IPlatformDialogs : public IFileSelectorBackend {
public:
    // A message with one OK button; may return before it is dismissed.
    virtual void showMessageBox(const std::string& caption, const std::string& text) = 0;
    // A yes/no question that never blocks: `done` gets the answer later on
    // the UI thread (no for a closed box), and never once the window is
    // gone. False, with `done` never called, when no question can be shown.
    virtual bool askQuestion(const std::string& /*caption*/, const std::string& /*text*/, QuestionDone /*done*/) {
        return false;
    }
};

}  // namespace rimbrel::gui
