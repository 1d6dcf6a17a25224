// The file selector: a dialog run by the platform (never blocking the UI
// thread) whose end is announced to a receiver by a message. What a platform
// runs it with is in platform/Dialogs.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gui/Base.h"
#include "platform/Dialogs.h"

namespace rimbrel::gui {

class CFrame;

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
