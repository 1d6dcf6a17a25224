#include "platform/x11/Dialogs.h"

#include <cstdio>

#include "platform/x11/ChildProcess.h"

namespace rimbrel::gui::x11 {

namespace {

// The patterns of one filter: "*.aif" and, for the two spellings of the same
// kind of file, the other one too.
std::vector<std::string> patternsOf(const CFileExtension& ext) {
    std::vector<std::string> patterns;
    if (ext.extension.empty())
        return patterns;
    patterns.push_back("*." + ext.extension);
    if (ext.extension == "aif")
        patterns.push_back("*.aiff");
    else if (ext.extension == "aiff")
        patterns.push_back("*.aif");
    return patterns;
}

std::string join(const std::vector<std::string>& parts, const char* separator) {
    std::string s;
    for (const std::string& p : parts) {
        if (!s.empty())
            s += separator;
        s += p;
    }
    return s;
}

// Where the dialog starts: the folder and default name asked for.
std::string startPath(const FileSelectorRequest& request) {
    std::string dir = request.initialDirectory;
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir + request.defaultSaveName;
}

struct Found {
    DialogProgram program;
    std::string path;
};

bool findDialogProgram(Found& found) {
    if (std::string p = findProgram("zenity"); !p.empty()) {
        found = {DialogProgram::Zenity, p};
        return true;
    }
    if (std::string p = findProgram("kdialog"); !p.empty()) {
        found = {DialogProgram::Kdialog, p};
        return true;
    }
    return false;
}

}  // namespace

std::vector<std::string> fileSelectorCommand(DialogProgram program, const std::string& path,
                                             const FileSelectorRequest& request) {
    using Style = FileSelectorRequest::Style;
    std::vector<std::string> argv{path};
    if (program == DialogProgram::Zenity) {
        argv.push_back("--file-selection");
        if (request.style == Style::SelectSaveFile) {
            argv.push_back("--save");
            argv.push_back("--confirm-overwrite");
        } else if (request.style == Style::SelectDirectory) {
            argv.push_back("--directory");
        } else if (request.multipleSelection) {
            argv.push_back("--multiple");
            argv.push_back("--separator=\n");
        }
        argv.push_back("--title=" + request.title);
        if (const std::string start = startPath(request); !start.empty())
            argv.push_back("--filename=" + start);
        if (request.style != Style::SelectDirectory) {
            for (const CFileExtension& ext : request.extensions) {
                const auto patterns = patternsOf(ext);
                if (!patterns.empty())
                    argv.push_back("--file-filter=" + ext.description + " | " + join(patterns, " "));
            }
        }
        return argv;
    }

    // kdialog: the mode, its start folder and filter, then the title.
    std::string start = startPath(request);
    if (start.empty())
        start = ".";
    std::vector<std::string> filters;
    for (const CFileExtension& ext : request.extensions) {
        const auto patterns = patternsOf(ext);
        if (!patterns.empty())
            filters.push_back(join(patterns, " ") + "|" + ext.description);
    }
    switch (request.style) {
        case Style::SelectSaveFile:
            argv.push_back("--getsavefilename");
            break;
        case Style::SelectDirectory:
            argv.push_back("--getexistingdirectory");
            break;
        default:
            argv.push_back("--getopenfilename");
            break;
    }
    argv.push_back(start);
    if (request.style != Style::SelectDirectory) {
        argv.push_back(join(filters, "\n"));
        if (request.style == Style::SelectFile && request.multipleSelection) {
            argv.push_back("--multiple");
            argv.push_back("--separate-output");
        }
    }
    argv.push_back("--title");
    argv.push_back(request.title);
    return argv;
}

std::vector<std::string> messageBoxCommand(DialogProgram program, const std::string& path,
                                           const std::string& caption, const std::string& text) {
    if (program == DialogProgram::Zenity)
        return {path, "--warning", "--no-markup", "--title=" + caption, "--text=" + text};
    return {path, "--title", caption, "--sorry", text};
}

std::vector<std::string> questionCommand(DialogProgram program, const std::string& path,
                                         const std::string& caption, const std::string& text) {
    if (program == DialogProgram::Zenity)
        return {path, "--question", "--no-markup", "--title=" + caption, "--text=" + text};
    return {path, "--title", caption, "--yesno", text};
}

std::vector<std::string> parseSelectorOutput(const std::string& output, bool multiple) {
    std::vector<std::string> paths;
    std::size_t begin = 0;
    while (begin < output.size()) {
        std::size_t end = output.find('\n', begin);
        if (end == std::string::npos)
            end = output.size();
        std::string line = output.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            paths.push_back(std::move(line));
        begin = end + 1;
        if (!multiple)
            break;  // a single path: only its trailing line break goes
    }
    return paths;
}

// --- DialogRunner ---

DialogRunner::DialogRunner() = default;
DialogRunner::~DialogRunner() = default;

bool DialogRunner::runFileSelector(const void* owner, const FileSelectorRequest& request, FileSelectorDone done) {
    Selector selector{owner, nullptr, request.multipleSelection, std::move(done)};
    Found found;
    if (!findDialogProgram(found)) {
        std::fprintf(stderr, "[Rimbrel-VST] no file dialog program (zenity or kdialog) found\n");
    } else {
        std::string error;
        selector.child = ChildProcess::start(fileSelectorCommand(found.program, found.path, request), true, &error);
        if (!selector.child)
            std::fprintf(stderr, "[Rimbrel-VST] cannot run the file dialog: %s\n", error.c_str());
    }
    selectors.push_back(std::move(selector));
    return true;
}

namespace {
void messageLine(const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "[Rimbrel-VST] %s: %s\n", caption.c_str(), text.c_str());
}
}  // namespace

void DialogRunner::showMessageBox(const std::string& caption, const std::string& text) {
    Found found;
    if (findDialogProgram(found)) {
        if (auto child = ChildProcess::start(messageBoxCommand(found.program, found.path, caption, text), false)) {
            boxes.push_back({std::move(child), caption, text});
            return;
        }
    }
    messageLine(caption, text);
}

bool DialogRunner::askQuestion(const void* owner, const std::string& caption, const std::string& text,
                               QuestionDone done) {
    Found found;
    if (!findDialogProgram(found))
        return false;
    std::string error;
    auto child = ChildProcess::start(questionCommand(found.program, found.path, caption, text), false, &error);
    if (!child) {
        std::fprintf(stderr, "[Rimbrel-VST] cannot run the question box: %s\n", error.c_str());
        return false;
    }
    questions.push_back({owner, std::move(child), std::move(done)});
    return true;
}

void DialogRunner::poll() {
    // Take the ended dialogs out first: a receiver may start another one.
    std::vector<Selector> ended;
    for (auto it = selectors.begin(); it != selectors.end();) {
        if (!it->child || it->child->poll()) {
            ended.push_back(std::move(*it));
            it = selectors.erase(it);
        } else {
            ++it;
        }
    }
    for (Selector& s : ended) {
        std::vector<std::string> paths;
        // zenity and kdialog end with 0 when a file was chosen, 1 on cancel.
        // An end that could not be observed (-1) still delivers what was
        // printed.
        if (s.child && (s.child->exitStatus() == 0 || s.child->exitStatus() == -1))
            paths = parseSelectorOutput(s.child->output(), s.multiple);
        if (s.done)
            s.done(std::move(paths));
    }
    std::vector<Question> answered;
    for (auto it = questions.begin(); it != questions.end();) {
        if (it->child->poll()) {
            answered.push_back(std::move(*it));
            it = questions.erase(it);
        } else {
            ++it;
        }
    }
    // zenity and kdialog end with 0 for yes; no, a closed box and a box that
    // never showed all count as no.
    for (Question& q : answered)
        if (q.done)
            q.done(q.child->exitStatus() == 0);
    for (auto it = boxes.begin(); it != boxes.end();) {
        if (!it->child->poll()) {
            ++it;
            continue;
        }
        // Dismissed (0) or closed (1); anything else means it never showed.
        if (it->child->exitStatus() > 1)
            messageLine(it->caption, it->text);
        it = boxes.erase(it);
    }
    ChildProcess::reapOrphans();
}

void DialogRunner::dropOwner(const void* owner) {
    for (auto it = selectors.begin(); it != selectors.end();) {
        if (it->owner == owner)
            it = selectors.erase(it);  // the watcher ends the dialog
        else
            ++it;
    }
    for (auto it = questions.begin(); it != questions.end();) {
        if (it->owner == owner)
            it = questions.erase(it);
        else
            ++it;
    }
}

int DialogRunner::runningFileSelectors() const {
    return static_cast<int>(selectors.size());
}

int DialogRunner::runningQuestions() const {
    return static_cast<int>(questions.size());
}

int DialogRunner::runningMessageBoxes() const {
    return static_cast<int>(boxes.size());
}

}  // namespace rimbrel::gui::x11
