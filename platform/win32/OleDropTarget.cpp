#include "platform/win32/OleDropTarget.h"

#include <shellapi.h>

#include "gui/DragContainer.h"
#include "platform/win32/WideText.h"

namespace rimbrel::gui::win32 {

using rimbrel::win32::narrow;

namespace {

DWORD effectOf(DragOperation operation, DWORD allowed) {
    if (operation != DragOperation::Copy)
        return DROPEFFECT_NONE;
    return (allowed & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

}  // namespace

std::vector<std::string> droppedPaths(IDataObject* data) {
    std::vector<std::string> paths;
    if (!data)
        return paths;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium)))
        return paths;
    if (auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal))) {
        const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            const UINT length = DragQueryFileW(drop, i, nullptr, 0);
            if (length == 0)
                continue;
            std::wstring path(length + 1, L'\0');
            DragQueryFileW(drop, i, path.data(), length + 1);
            path.resize(length);
            paths.push_back(narrow(path));
        }
        GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
    return paths;
}

OleDropTarget::OleDropTarget(HWND w, IPlatformFrameCallback* f) : window(w), frame(f) {}

OleDropTarget::~OleDropTarget() {
    endDrag();
}

void OleDropTarget::detach() {
    endDrag();
    frame = nullptr;
    window = nullptr;
}

void OleDropTarget::endDrag() {
    if (drag) {
        static_cast<CItemDragContainer*>(drag)->forget();
        drag = nullptr;
    }
}

HRESULT OleDropTarget::QueryInterface(REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDropTarget) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG OleDropTarget::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references));
}

ULONG OleDropTarget::Release() {
    const LONG left = InterlockedDecrement(&references);
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

CPoint OleDropTarget::toWindow(POINTL point) const {
    POINT p{point.x, point.y};
    ScreenToClient(window, &p);
    return CPoint(p.x, p.y);
}

HRESULT OleDropTarget::DragEnter(IDataObject* data, DWORD, POINTL point, DWORD* effect) {
    endDrag();
    if (!frame || !effect) {
        if (effect)
            *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    drag = CItemDragContainer::fromPaths(droppedPaths(data));
    *effect = effectOf(frame->platformOnDragEnter(drag, toWindow(point)), *effect);
    return S_OK;
}

HRESULT OleDropTarget::DragOver(DWORD, POINTL point, DWORD* effect) {
    if (!effect)
        return E_INVALIDARG;
    if (!frame || !drag) {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    *effect = effectOf(frame->platformOnDragMove(drag, toWindow(point)), *effect);
    return S_OK;
}

HRESULT OleDropTarget::DragLeave() {
    if (frame && drag) {
        POINT p{};
        GetCursorPos(&p);
        frame->platformOnDragLeave(drag, toWindow(POINTL{p.x, p.y}));
    }
    endDrag();
    return S_OK;
}

HRESULT OleDropTarget::Drop(IDataObject* data, DWORD, POINTL point, DWORD* effect) {
    if (!effect)
        return E_INVALIDARG;
    const DWORD allowed = *effect;
    *effect = DROPEFFECT_NONE;
    if (!frame)
        return S_OK;
    // The data of the drop itself: some sources fill it in only now. It is
    // held here, not in `drag`, as the drop may close the window and detach
    // this target while the frame still reads it.
    endDrag();
    CItemDragContainer* dropped = CItemDragContainer::fromPaths(droppedPaths(data));
    AddRef();
    // The frame sends the view its leave itself after a drop.
    if (frame->platformOnDrop(dropped, toWindow(point)))
        *effect = (allowed & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    dropped->forget();
    Release();
    return S_OK;
}

}  // namespace rimbrel::gui::win32
