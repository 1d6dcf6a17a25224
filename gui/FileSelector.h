// The file selector: a dialog run by the platform (never blocking the UI
// thread) whose end is announced to a receiver by a message.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gui/Base.h"

namespace rimbrel::gui {

class CFrame;

struct CFileExtension {
    CFileExtension() = default;
    CFileExtension(const char* desc, const char* ext, const char* mime = "")
        : description(desc ? desc : ""), extension(ext ? ext : ""), mimeType(mime ? mime : "")
    {
    }

    std::string description;  // "AIFF"
    std::string extension;    // "aif" (without the dot)
    std::string mimeType;     // "audio/x-aiff"
};

// Everything a platform needs to show one dialog.
struct FileSelectorRequest {
    enum class Style { SelectFile, SelectSaveFile, SelectDirectory };
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

// What runs dialogs on one platform (a child process, a native dialog, a
// script in tests).
class IFileSelectorBackend {
public:
    virtual ~IFileSelectorBackend() = default;
    // Starts the dialog without blocking. Returns false when nothing could be
    // started; then `done` is never called. Otherwise `done` is called later,
    // from the platform's pump, unless the backend is destroyed first.
    virtual bool runFileSelector(const FileSelectorRequest& request, FileSelectorDone done) = 0;
};

class CNewFileSelector : public CBaseObject {
public:
    enum Style {
        kSelectFile = 0,
        kSelectSaveFile,
        kSelectDirectory,
    };

    // A selector whose dialog runs through `frame`'s platform; nullptr when
    // the frame is null or has no platform.
    static CNewFileSelector* create(CFrame* frame, Style style = kSelectFile);
    ~CNewFileSelector() override;

    void setTitle(const char* title) { request.title = title ? title : ""; }
    void setDefaultSaveName(const char* name) { request.defaultSaveName = name ? name : ""; }
    void setInitialDirectory(const char* dir) { request.initialDirectory = dir ? dir : ""; }
    void setAllowMultiFileSelection(bool state) { request.multipleSelection = state; }
    void addFileExtension(const CFileExtension& ext) { request.extensions.push_back(ext); }

    // Starts the dialog and returns at once. When it ends, `receiver` gets
    // notify(this, kMsgNewFileSelectorSelectEnd); until then the selector and
    // the receiver are kept alive (remembered). Returns false when the dialog
    // could not be started.
    bool run(CBaseObject* receiver);

    int32_t getNumSelectedFiles() const { return static_cast<int32_t>(selected.size()); }
    // The i-th chosen path, UTF-8; nullptr when out of range.
    const char* getSelectedFile(int32_t index) const;

    const FileSelectorRequest& getRequest() const { return request; }
    Style getStyle() const { return style; }

private:
    CNewFileSelector(CFrame* frame, Style style);

    CFrame* frame;
    Style style;
    FileSelectorRequest request;
    std::vector<std::string> selected;
};

}  // namespace rimbrel::gui
