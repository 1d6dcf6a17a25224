#include "platform/win32/Win32Dialogs.h"

#include <shobjidl.h>

#include <vector>

#include "platform/win32/WideText.h"

namespace rimbrel::gui::win32 {

using rimbrel::win32::narrow;
using rimbrel::win32::widen;

namespace {

constexpr UINT kShowSelector = WM_APP + 0x52;
constexpr UINT kShowMessageBox = WM_APP + 0x53;
constexpr UINT kShowQuestion = WM_APP + 0x54;

// The host's top-level window: dialogs are modal to it.
HWND ownerOf(HWND window) {
    HWND top = window ? GetAncestor(window, GA_ROOT) : nullptr;
    return top ? top : window;
}

template <class T>
struct ComPtr {
    T* p = nullptr;
    ~ComPtr() {
        if (p)
            p->Release();
    }
    T** out() { return &p; }
    T* operator->() const { return p; }
};

std::string pathOf(IShellItem* item) {
    PWSTR path = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)) || !path)
        return {};
    std::string utf8 = narrow(path);
    CoTaskMemFree(path);
    return utf8;
}

}  // namespace

std::vector<std::string> showFileDialog(HWND owner, const FileSelectorRequest& request) {
    const bool save = request.style == FileSelectorRequest::Style::SelectSaveFile;
    ComPtr<IFileDialog> dialog;
    if (FAILED(CoCreateInstance(save ? CLSID_FileSaveDialog : CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                save ? IID_IFileSaveDialog : IID_IFileOpenDialog,
                                reinterpret_cast<void**>(dialog.out()))))
        return {};
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    options |= FOS_FORCEFILESYSTEM;
    if (request.style == FileSelectorRequest::Style::SelectDirectory)
        options |= FOS_PICKFOLDERS;
    if (save)
        options |= FOS_OVERWRITEPROMPT;
    dialog->SetOptions(options);
    if (!request.title.empty())
        dialog->SetTitle(widen(request.title).c_str());
    if (!request.defaultSaveName.empty())
        dialog->SetFileName(widen(request.defaultSaveName).c_str());

    std::vector<std::wstring> names, patterns;
    for (const CFileExtension& e : request.extensions) {
        names.push_back(widen(e.description.empty() ? e.extension : e.description));
        patterns.push_back(L"*." + widen(e.extension));
    }
    std::vector<COMDLG_FILTERSPEC> filters;
    for (std::size_t i = 0; i < names.size(); ++i)
        filters.push_back({names[i].c_str(), patterns[i].c_str()});
    if (!filters.empty()) {
        dialog->SetFileTypes(static_cast<UINT>(filters.size()), filters.data());
        dialog->SetDefaultExtension(widen(request.extensions.front().extension).c_str());
    }
    if (!request.initialDirectory.empty()) {
        ComPtr<IShellItem> folder;
        if (SUCCEEDED(SHCreateItemFromParsingName(widen(request.initialDirectory).c_str(), nullptr, IID_IShellItem,
                                                  reinterpret_cast<void**>(folder.out()))))
            dialog->SetFolder(folder.p);
    }
    if (FAILED(dialog->Show(owner)))
        return {};  // cancelled
    ComPtr<IShellItem> chosen;
    if (FAILED(dialog->GetResult(chosen.out())))
        return {};
    std::string path = pathOf(chosen.p);
    if (path.empty())
        return {};
    return {path};
}

Win32Dialogs::Win32Dialogs(HWND w) : window(w), alive(std::make_shared<bool>(true)) {}

Win32Dialogs::~Win32Dialogs() {
    windowGone();
}

void Win32Dialogs::windowGone() {
    *alive = false;
    window = nullptr;
    selectors.clear();
    boxes.clear();
    questions.clear();
}

bool Win32Dialogs::handles(UINT message) {
    return message == kShowSelector || message == kShowMessageBox || message == kShowQuestion;
}

bool Win32Dialogs::post(UINT message, Pending pending) {
    if (!window || !*alive)
        return false;
    auto& queue = message == kShowSelector ? selectors : message == kShowMessageBox ? boxes
                                                                                    : questions;
    queue.push_back(std::move(pending));
    if (!PostMessageW(window, message, 0, 0)) {
        queue.pop_back();
        return false;
    }
    return true;
}

bool Win32Dialogs::runFileSelector(const FileSelectorRequest& request, FileSelectorDone done) {
    Pending p;
    p.request = request;
    p.selectorDone = std::move(done);
    return post(kShowSelector, std::move(p));
}

void Win32Dialogs::showMessageBox(const std::string& caption, const std::string& text) {
    Pending p;
    p.caption = caption;
    p.text = text;
    post(kShowMessageBox, std::move(p));
}

bool Win32Dialogs::askQuestion(const std::string& caption, const std::string& text, QuestionDone done) {
    Pending p;
    p.caption = caption;
    p.text = text;
    p.questionDone = std::move(done);
    return post(kShowQuestion, std::move(p));
}

void Win32Dialogs::run(UINT message) {
    auto& queue = message == kShowSelector ? selectors : message == kShowMessageBox ? boxes
                                                                                    : questions;
    if (queue.empty() || !window)
        return;
    // Everything the dialog needs is taken out first: while it is open the
    // host may close the editor, and this object with it.
    Pending p = std::move(queue.front());
    queue.pop_front();
    const std::shared_ptr<bool> stillAlive = alive;
    const HWND owner = ownerOf(window);
    if (message == kShowSelector) {
        std::vector<std::string> paths = showFileDialog(owner, p.request);
        if (*stillAlive && p.selectorDone)
            p.selectorDone(std::move(paths));
    } else if (message == kShowMessageBox) {
        MessageBoxW(owner, widen(p.text).c_str(), widen(p.caption).c_str(), MB_OK | MB_ICONWARNING);
    } else {
        const int answer = MessageBoxW(owner, widen(p.text).c_str(), widen(p.caption).c_str(),
                                       MB_YESNO | MB_ICONQUESTION);
        if (*stillAlive && p.questionDone)
            p.questionDone(answer == IDYES);
    }
}

}  // namespace rimbrel::gui::win32
