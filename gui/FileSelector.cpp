#include "gui/FileSelector.h"

#include <memory>

#include "gui/Frame.h"

namespace rimbrel::gui {

namespace {
// Holds a running selector and its receiver; releases both when the dialog
// ends or when the platform drops the dialog unanswered.
class RunningSelector {
public:
    RunningSelector(CNewFileSelector* s, CBaseObject* r) : selector(s), receiver(r) {
        selector->remember();
        if (receiver)
            receiver->remember();
    }
    ~RunningSelector() {
        if (receiver)
            receiver->forget();
        selector->forget();
    }
    RunningSelector(const RunningSelector&) = delete;
    RunningSelector& operator=(const RunningSelector&) = delete;

    CNewFileSelector* selector;
    CBaseObject* receiver;
};
}  // namespace

CNewFileSelector::CNewFileSelector(CFrame* f, Style s) : frame(f), style(s) {
    switch (s) {
        case kSelectSaveFile:
            request.style = FileSelectorRequest::Style::SelectSaveFile;
            break;
        case kSelectDirectory:
            request.style = FileSelectorRequest::Style::SelectDirectory;
            break;
        default:
            request.style = FileSelectorRequest::Style::SelectFile;
            break;
    }
}

CNewFileSelector::~CNewFileSelector() = default;

CNewFileSelector* CNewFileSelector::create(CFrame* frame, Style style) {
    if (!frame || !frame->getPlatformFrame())
        return nullptr;
    return new CNewFileSelector(frame, style);
}

bool CNewFileSelector::run(CBaseObject* receiver) {
    IPlatformFrame* platform = frame ? frame->getPlatformFrame() : nullptr;
    if (!platform)
        return false;
    selected.clear();
    auto running = std::make_shared<RunningSelector>(this, receiver);
    return platform->runFileSelector(request, [running](std::vector<std::string> paths) {
        CNewFileSelector* self = running->selector;
        self->selected = std::move(paths);
        if (running->receiver)
            running->receiver->notify(self, kMsgNewFileSelectorSelectEnd);
    });
}

const char* CNewFileSelector::getSelectedFile(int32_t index) const {
    if (index < 0 || index >= getNumSelectedFiles())
        return nullptr;
    return selected[static_cast<std::size_t>(index)].c_str();
}

}  // namespace rimbrel::gui
