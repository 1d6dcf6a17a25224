// The drop target of a Windows frame: OLE drags from Explorer and, under
// Wine, from X11 file managers arrive here. Files (CF_HDROP) become the
// toolkit's drag data as UTF-8 paths; enter, move, leave and drop go to the
// frame, whose answers become the drop effect (copy or none).
#pragma once

#include <windows.h>

#include <ole2.h>

#include <string>
#include <vector>

#include "platform/Windows.h"

namespace rimbrel::gui::win32 {

// The paths a data object carries as CF_HDROP, in UTF-8 (none without files).
std::vector<std::string> droppedPaths(IDataObject* data);

class OleDropTarget : public IDropTarget {
public:
    OleDropTarget(HWND window, IPlatformFrameCallback* frame);
    // The frame goes: later calls from OLE answer "none" and reach nothing.
    void detach();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

private:
    virtual ~OleDropTarget();
    CPoint toWindow(POINTL point) const;
    void endDrag();

    LONG references = 1;
    HWND window;
    IPlatformFrameCallback* frame;
    CDragContainer* drag = nullptr;  // the drag over the window (a CItemDragContainer)
};

}  // namespace rimbrel::gui::win32
