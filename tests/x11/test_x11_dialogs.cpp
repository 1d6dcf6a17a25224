// The Linux dialogs: their command lines, and the runner that starts them as
// separate programs and finishes them from the pump without ever waiting.
// Stand-in dialog programs (shell scripts named zenity or kdialog) play the
// user.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "platform/x11/ChildProcess.h"
#include "platform/x11/Dialogs.h"

namespace rimbrel::test {
namespace {

namespace fs = std::filesystem;
using namespace rimbrel::gui;
using namespace rimbrel::gui::x11;

FileSelectorRequest exportRequest() {
    FileSelectorRequest r;
    r.style = FileSelectorRequest::Style::SelectSaveFile;
    r.title = "Export Op1 Kit as..";
    r.extensions.push_back({"AIFF", "aif", "audio/x-aiff"});
    return r;
}

TEST(DialogCommands, ZenitySaveDialog) {
    EXPECT_EQ(fileSelectorCommand(DialogProgram::Zenity, "/usr/bin/zenity", exportRequest()),
              (std::vector<std::string>{"/usr/bin/zenity", "--file-selection", "--save", "--confirm-overwrite",
                                        "--title=Export Op1 Kit as..", "--file-filter=AIFF | *.aif *.aiff"}));
}

TEST(DialogCommands, KdialogSaveDialog) {
    FileSelectorRequest r = exportRequest();
    r.title = "Export individual files As..";
    EXPECT_EQ(fileSelectorCommand(DialogProgram::Kdialog, "/usr/bin/kdialog", r),
              (std::vector<std::string>{"/usr/bin/kdialog", "--getsavefilename", ".", "*.aif *.aiff|AIFF", "--title",
                                        "Export individual files As.."}));
}

TEST(DialogCommands, StartFolderAndNameAreGiven) {
    FileSelectorRequest r = exportRequest();
    r.initialDirectory = "/home/someone/kits";
    r.defaultSaveName = "kit.aif";
    const auto argv = fileSelectorCommand(DialogProgram::Zenity, "zenity", r);
    EXPECT_NE(std::find(argv.begin(), argv.end(), "--filename=/home/someone/kits/kit.aif"), argv.end());
}

TEST(DialogCommands, MessageBoxes) {
    EXPECT_EQ(messageBoxCommand(DialogProgram::Zenity, "z", "Total Duration too long!", "please <erase>"),
              (std::vector<std::string>{"z", "--warning", "--no-markup", "--title=Total Duration too long!",
                                        "--text=please <erase>"}));
    EXPECT_EQ(messageBoxCommand(DialogProgram::Kdialog, "k", "Caption", "Text"),
              (std::vector<std::string>{"k", "--title", "Caption", "--sorry", "Text"}));
}

TEST(DialogCommands, ChosenPathsAreReadFromTheOutput) {
    EXPECT_EQ(parseSelectorOutput("/tmp/my kit.aif\n", false), std::vector<std::string>{"/tmp/my kit.aif"});
    EXPECT_EQ(parseSelectorOutput("/tmp/no newline.aif", false), std::vector<std::string>{"/tmp/no newline.aif"});
    EXPECT_TRUE(parseSelectorOutput("", false).empty());
    EXPECT_TRUE(parseSelectorOutput("\n", false).empty());
    EXPECT_EQ(parseSelectorOutput("/a\n/b\n", true), (std::vector<std::string>{"/a", "/b"}));
    // Leading and trailing blanks are part of a name.
    EXPECT_EQ(parseSelectorOutput(" /x/ y .aif \n", false), std::vector<std::string>{" /x/ y .aif "});
}

// A folder of stand-in dialog programs that is all of PATH while it exists.
class FakeDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/rimbrel-dialogs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        const char* old = std::getenv("PATH");
        oldPath = old ? old : "";
        setenv("PATH", dir.c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", oldPath.c_str(), 1);
        fs::remove_all(dir);
    }

    void script(const std::string& name, const std::string& body) {
        const fs::path p = fs::path(dir) / name;
        std::ofstream(p) << "#!/bin/sh\n"
                         << body << "\n";
        chmod(p.c_str(), 0755);
    }

    std::string readFile(const std::string& name) {
        std::ifstream in(fs::path(dir) / name);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Polls the runner until `done` (at most 5 s).
    bool pollUntil(DialogRunner& runner, const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            runner.poll();
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    std::string dir;
    std::string oldPath;
};

TEST_F(FakeDialogs, TheChosenPathArrivesFromThePumpNotFromTheCall) {
    // The stand-in records its arguments, then "the user" chooses a file.
    script("zenity",
           "for a in \"$@\"; do echo \"$a\"; done > \"${0%/*}/args\"\n"
           "/bin/sleep 0.2\necho '/tmp/my kit ü.aif'");
    DialogRunner runner;
    std::optional<std::vector<std::string>> answer;
    EXPECT_TRUE(runner.runFileSelector(this, exportRequest(), [&](std::vector<std::string> p) { answer = p; }));
    EXPECT_FALSE(answer.has_value());
    runner.poll();
    EXPECT_FALSE(answer.has_value());
    ASSERT_TRUE(pollUntil(runner, [&] { return answer.has_value(); }));
    EXPECT_EQ(*answer, std::vector<std::string>{"/tmp/my kit ü.aif"});
    EXPECT_EQ(runner.runningFileSelectors(), 0);
    EXPECT_EQ(readFile("args"),
              "--file-selection\n--save\n--confirm-overwrite\n--title=Export Op1 Kit as..\n"
              "--file-filter=AIFF | *.aif *.aiff\n");
}

TEST_F(FakeDialogs, ACancelledDialogEndsWithNoFile) {
    script("zenity", "exit 1");
    DialogRunner runner;
    std::optional<std::vector<std::string>> answer;
    runner.runFileSelector(this, exportRequest(), [&](std::vector<std::string> p) { answer = p; });
    ASSERT_TRUE(pollUntil(runner, [&] { return answer.has_value(); }));
    EXPECT_TRUE(answer->empty());
}

TEST_F(FakeDialogs, KdialogServesWhenThereIsNoZenity) {
    script("kdialog", "echo \"$1\" > \"${0%/*}/mode\"; echo /tmp/k.aif");
    DialogRunner runner;
    std::optional<std::vector<std::string>> answer;
    runner.runFileSelector(this, exportRequest(), [&](std::vector<std::string> p) { answer = p; });
    ASSERT_TRUE(pollUntil(runner, [&] { return answer.has_value(); }));
    EXPECT_EQ(*answer, std::vector<std::string>{"/tmp/k.aif"});
    EXPECT_EQ(readFile("mode"), "--getsavefilename\n");
}

TEST_F(FakeDialogs, WithoutADialogProgramOneLineAndAnEndWithNoFile) {
    DialogRunner runner;
    std::optional<std::vector<std::string>> answer;
    testing::internal::CaptureStderr();
    runner.runFileSelector(this, exportRequest(), [&](std::vector<std::string> p) { answer = p; });
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "[Rimbrel-VST] no file dialog program (zenity or kdialog) found\n");
    EXPECT_FALSE(answer.has_value());
    runner.poll();
    ASSERT_TRUE(answer.has_value());
    EXPECT_TRUE(answer->empty());
}

TEST_F(FakeDialogs, AMessageBoxShowsWithoutWaiting) {
    script("zenity", "for a in \"$@\"; do echo \"$a\"; done > \"${0%/*}/args\"; /bin/sleep 0.3");
    DialogRunner runner;
    runner.showMessageBox("Total Duration too long!",
                          "please erase some sounds (Ctrl-click) or replace with shorter ones!");
    EXPECT_EQ(runner.runningMessageBoxes(), 1);
    ASSERT_TRUE(pollUntil(runner, [&] { return runner.runningMessageBoxes() == 0; }));
    EXPECT_EQ(readFile("args"),
              "--warning\n--no-markup\n--title=Total Duration too long!\n"
              "--text=please erase some sounds (Ctrl-click) or replace with shorter ones!\n");
}

TEST_F(FakeDialogs, AMessageBoxWithoutAnyProgramIsALineOnStderr) {
    DialogRunner runner;
    testing::internal::CaptureStderr();
    runner.showMessageBox("Caption", "Text");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Rimbrel-VST] Caption: Text\n");
    EXPECT_EQ(runner.runningMessageBoxes(), 0);
}

TEST_F(FakeDialogs, AMessageBoxThatCannotShowFallsBackToTheLine) {
    script("zenity", "exit 255");  // e.g. no display it can open
    DialogRunner runner;
    testing::internal::CaptureStderr();
    runner.showMessageBox("Caption", "Text");
    pollUntil(runner, [&] { return runner.runningMessageBoxes() == 0; });
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Rimbrel-VST] Caption: Text\n");
}

TEST_F(FakeDialogs, AClosedWindowsDialogIsEndedAndNeverAnswered) {
    script("zenity", "/bin/sleep 30; echo /tmp/late.aif");
    DialogRunner runner;
    bool answered = false;
    runner.runFileSelector(this, exportRequest(), [&](std::vector<std::string>) { answered = true; });
    runner.poll();
    runner.dropOwner(this);
    EXPECT_EQ(runner.runningFileSelectors(), 0);
    // The dialog program is ended and reaped.
    ASSERT_TRUE(pollUntil(runner, [] { return ChildProcess::orphanCount() == 0; }));
    EXPECT_FALSE(answered);
}

TEST_F(FakeDialogs, AReceiverMayStartTheNextDialogFromItsAnswer) {
    script("zenity", "echo /tmp/a.aif");
    DialogRunner runner;
    int answers = 0;
    std::function<void(std::vector<std::string>)> again = [&](std::vector<std::string>) {
        if (++answers < 3)
            runner.runFileSelector(this, exportRequest(), again);
    };
    runner.runFileSelector(this, exportRequest(), again);
    ASSERT_TRUE(pollUntil(runner, [&] { return answers == 3; }));
}

TEST_F(FakeDialogs, AQuestionIsAnsweredYesOnlyByTheProgramsYes) {
    DialogRunner runner;
    EXPECT_FALSE(runner.askQuestion(this, "Caption", "Text", [](bool) { FAIL() << "nothing was asked"; }));

    script("zenity", "for a in \"$@\"; do echo \"$a\"; done > \"${0%/*}/args\"; read code < \"${0%/*}/answer\"; exit \"$code\"");
    std::vector<bool> answers;
    for (const char* code : {"0", "1", "5"}) {
        std::ofstream(fs::path(dir) / "answer") << code;
        ASSERT_TRUE(runner.askQuestion(this, "Replace existing files?", "a_01.aif <b>",
                                       [&](bool yes) { answers.push_back(yes); }));
        ASSERT_TRUE(pollUntil(runner, [&] { return runner.runningQuestions() == 0; }));
    }
    EXPECT_EQ(answers, (std::vector<bool>{true, false, false}));
    EXPECT_EQ(readFile("args"), "--question\n--no-markup\n--title=Replace existing files?\n--text=a_01.aif <b>\n");
    EXPECT_EQ(questionCommand(DialogProgram::Kdialog, "k", "C", "T"),
              (std::vector<std::string>{"k", "--title", "C", "--yesno", "T"}));
}

// --- the child process helper ---

TEST(ChildProcessTest, OutputLargerThanThePipeIsReadWhole) {
    auto child = ChildProcess::start({"/bin/sh", "-c", "/usr/bin/head -c 300000 /dev/zero | /usr/bin/tr '\\0' a"},
                                     true);
    ASSERT_NE(child, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!child->poll() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(child->finished());
    EXPECT_EQ(child->exitStatus(), 0);
    EXPECT_EQ(child->output(), std::string(300000, 'a'));
}

TEST(ChildProcessTest, AProgramThatCannotRunIsReported) {
    std::string error;
    EXPECT_EQ(ChildProcess::start({"/nonexistent/dialog"}, true, &error), nullptr);
    EXPECT_NE(error, "");
}

TEST(ChildProcessTest, AHostIgnoringSigchldStillGetsTheOutput) {
    struct sigaction old {};
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGCHLD, &ignore, &old);
    auto child = ChildProcess::start({"/bin/sh", "-c", "echo /tmp/x.aif"}, true);
    ASSERT_NE(child, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!child->poll() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    sigaction(SIGCHLD, &old, nullptr);
    ASSERT_TRUE(child->finished());
    EXPECT_EQ(child->output(), "/tmp/x.aif\n");
}

TEST(ChildProcessTest, ProgramsAreFoundInPath) {
    EXPECT_EQ(findProgram("sh").empty(), false);
    EXPECT_EQ(findProgram("no-such-program-here"), "");
    EXPECT_EQ(findProgram("/bin/sh"), "/bin/sh");
}

}  // namespace
}  // namespace rimbrel::test
