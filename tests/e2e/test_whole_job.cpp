// A musician's whole job in Rimbrel's window, with the real plug-in in
// rimbrel-host under the X server: a folder dropped on the keys, settings
// edited with the mouse, keys erased and exchanged, the kit exported through
// the real save dialog and read back; a kit too long shows the message box.
// The mouse and keyboard are the X server's own (xdotool), as a user's are.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <sstream>
#include <thread>

#include "tests/e2e/E2eSupport.h"
#include "resources/EditorGeometry.h"

namespace {

using namespace e2e;
using Clock = std::chrono::steady_clock;

bool haveProgram(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs xdotool with `args`; returns its standard output. A window that
// never comes ends the wait after 20 s with nothing found.
std::string xdotool(const std::string& args) {
    std::string out;
    FILE* pipe = popen(("timeout 20 xdotool " + args + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return out;
    char buffer[256];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    pclose(pipe);
    return out;
}

// The first window whose name matches `pattern`, waited for up to
// `seconds` (empty if none came). Polled rather than xdotool's own wait,
// which gives up when a window it looks at vanishes meanwhile.
std::string findWindow(const std::string& pattern, double seconds = 20) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        const std::string found = xdotool("search --name " + quote(pattern));
        if (!found.empty())
            return found.substr(0, found.find('\n'));
        if (Clock::now() >= end)
            return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

size_t countOf(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

bool waitFor(const std::function<bool()>& done, double seconds) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

// Where the window's controls lie, in window pixels.
int labelMiddle(int k) {
    return rimbrel::geometry::nameLabelMiddleY(k);
}
constexpr int kModeDurationX = 38, kModePitchX = 85, kModeY = 128;  // the mode switch
constexpr int kExportX = 130, kExportY = 87;                        // the export button

// One line of `rimbrel-kit inspect`'s key table.
struct InspectedKey {
    long start = -1, end = -1;
    std::string pitch;
};

std::vector<InspectedKey> inspectKeys(const std::string& table) {
    std::vector<InspectedKey> keys(24);
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        int k;
        std::string note, startSeconds, endSeconds;
        InspectedKey key;
        if (words >> k >> note >> key.start >> startSeconds >> key.end >> endSeconds >> key.pitch && k >= 0 && k < 24)
            keys[size_t(k)] = key;
    }
    return keys;
}

class WholeJobTest : public EditorHostTest {
protected:
    void SetUp() override {
        EditorHostTest::SetUp();
        if (IsSkipped())
            return;
        if (std::string(RIMBREL_PLUGIN).empty())
            GTEST_SKIP() << "Rimbrel.so is not built";
        if (!haveProgram("xdotool") || !haveProgram("zenity"))
            GTEST_SKIP() << "xdotool or zenity not installed";
    }
    void TearDown() override {
        if (session.joinable())
            session.join();
        EditorHostTest::TearDown();
    }

    // Starts the editor in the background and waits for its window.
    // The host runs in the scratch folder, where the save dialog opens.
    void start(const std::vector<std::string>& args) {
        session = std::thread([this, args] { run = host(RIMBREL_PLUGIN, args, "cd " + quote(dir) + " &&"); });
        window = findWindow("^rimbrel-host: ");
        ASSERT_FALSE(window.empty());
    }
    std::string stderrSoFar() { return readFile(dir + "/stderr.txt"); }

    void mouse(int x, int y) {
        xdotool("mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    void click(int x, int y, const std::string& modifier = "") {
        mouse(x, y);
        if (!modifier.empty())
            xdotool("keydown " + modifier);
        xdotool("click 1");
        if (!modifier.empty())
            xdotool("keyup " + modifier);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    void drag(int x0, int y0, int x1, int y1, const std::string& modifier = "") {
        mouse(x0, y0);
        if (!modifier.empty())
            xdotool("keydown " + modifier);
        xdotool("mousedown 1");
        mouse(x0 + 2, y0 + 2);
        mouse((x0 + x1) / 2, (y0 + y1) / 2);
        mouse(x1, y1);
        xdotool("mouseup 1");
        if (!modifier.empty())
            xdotool("keyup " + modifier);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    void finish() {
        if (session.joinable())
            session.join();
    }

    std::thread session;
    HostRun run;
    std::string window;
};

TEST_F(WholeJobTest, DropEditEraseExchangeAndExportAKit) {
    // Five tones of different lengths: key k holds (k + 1) tenths of a second.
    const std::string samples = dir + "/drums";
    fs::create_directories(samples);
    for (int k = 0; k < 5; ++k)
        writeTone(samples + "/" + std::string(1, char('a' + k)) + ".wav", 4410 * (k + 1), 0.1f * float(k + 1));
    const std::string kitName = "exported kit.aif", kit = dir + "/" + kitName;

    start({"--seconds", "16", "--after", "300", "--drop", samples, "--on-key", "0"});
    ASSERT_TRUE(waitFor([&] { return countOf(stderrSoFar(), "All done here!") == 5; }, 10)) << stderrSoFar();

    // Pitch mode; key 2's bar dragged out past its right edge: +48.
    click(kModePitchX, kModeY);
    drag(150, labelMiddle(2), 320, labelMiddle(2));
    // Back to durations: Ctrl-click erases key 3, Alt-drag exchanges keys 0
    // and 1, and a plain drag moves key 4's sound onto the emptied key 3.
    click(kModeDurationX, kModeY);
    click(100, labelMiddle(3), "ctrl");
    drag(100, labelMiddle(0), 100, labelMiddle(1), "alt");
    drag(100, labelMiddle(4), 100, labelMiddle(3));

    // The export button opens the save dialog; the user types the kit's name.
    click(kExportX, kExportY);
    const std::string dialog = findWindow("^Export Op1 Kit as\\.\\.$");
    ASSERT_FALSE(dialog.empty());
    xdotool("windowfocus --sync " + dialog);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    xdotool("key ctrl+a");
    xdotool("type --delay 20 " + quote(kitName));
    // GTK may still be busy with the typing: Return again until it takes.
    bool written = false;
    for (int attempt = 0; attempt < 4 && !written; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        xdotool("key Return");
        written = waitFor([&] { return fs::exists(kit); }, 2.5);
    }
    EXPECT_TRUE(written) << stderrSoFar();
    finish();
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const std::string table = [&] {
        std::string out;
        FILE* pipe = popen((quote(RIMBREL_KIT_PROGRAM) + " inspect " + quote(kit)).c_str(), "r");
        char buffer[4096];
        size_t n;
        while (pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        if (pipe)
            pclose(pipe);
        return out;
    }();
    ASSERT_TRUE(contains(table, "valid Op-1 kit file")) << table;
    const std::vector<InspectedKey> keys = inspectKeys(table);
    auto frames = [&](int k) { return keys[size_t(k)].end - keys[size_t(k)].start + 1; };
    // Keys 0 and 1 changed places: the longer tone now comes first.
    EXPECT_GT(frames(0), frames(1)) << table;
    EXPECT_NEAR(double(frames(0)), 8820.0, 10.0) << table;
    EXPECT_NEAR(double(frames(1)), 4410.0, 10.0) << table;
    // Settings stay with the key positions: only key 2 was raised.
    EXPECT_EQ(keys[2].pitch, "+48") << table;
    EXPECT_EQ(keys[0].pitch, "+0") << table;
    EXPECT_EQ(keys[1].pitch, "+0") << table;
    // Key 3 holds key 4's tone, right after key 2 in the audio; key 4 is
    // empty and takes the positions of the key before it.
    EXPECT_EQ(keys[3].start, keys[2].end + 1) << table;
    EXPECT_NEAR(double(frames(3)), 22050.0, 10.0) << table;
    EXPECT_EQ(keys[4].start, keys[3].start) << table;
    EXPECT_EQ(keys[4].end, keys[3].end) << table;
}

TEST_F(WholeJobTest, AKitOverTwelveSecondsShowsTheMessageBoxAndTheWindowGoesOn) {
    writeTone(dir + "/a.wav", 7 * 44100, 0.2f);
    writeTone(dir + "/b.wav", 7 * 44100, 0.2f);
    start({"--seconds", "8", "--after", "300", "--drop", dir + "/a.wav", dir + "/b.wav", "--on-key", "0"});
    ASSERT_TRUE(waitFor([&] { return countOf(stderrSoFar(), "All done here!") == 2; }, 10)) << stderrSoFar();
    click(kExportX, kExportY);
    const std::string box = findWindow("^Total Duration too long!$");
    EXPECT_FALSE(box.empty());
    // While the message is up the window still answers: a Ctrl-click erases
    // key 1, and then the kit is short enough for the save dialog.
    click(100, labelMiddle(1), "ctrl");
    click(kExportX, kExportY);
    const std::string dialog = findWindow("^Export Op1 Kit as\\.\\.$");
    EXPECT_FALSE(dialog.empty());
    xdotool("key --window " + dialog + " Escape");
    // The message box is still up when the host closes the plug-in: the
    // plug-in ends it and the host ends cleanly.
    finish();
    EXPECT_EQ(run.exitCode, 0) << run.err;
}

class FolderDropTest : public InBothHostModes<WholeJobTest> {};
RIMBREL_IN_BOTH_HOST_MODES(FolderDropTest);

TEST_P(FolderDropTest, AFolderDroppedOnTheWindowShowsItsKeysAndPlaysThem) {
    const std::string samples = dir + "/loops";
    fs::create_directories(samples);
    writeTone(samples + "/1 low.wav", 4410, 0.2f);
    writeTone(samples + "/2 mid.wav", 4410, 0.5f);
    writeTone(samples + "/3 high.wav", 4410, 0.8f);
    const std::string shot = dir + "/shot.png", out = dir + "/out.wav";
    // The folder lands on keys 0..2; note 54 plays key 1 at 1 s.
    run = host(RIMBREL_PLUGIN, {"--seconds", "1.6", "--after", "300", "--drop", samples, "--on-key", "0", "--note",
                                "44100:54:4410", "--record", out, "--screenshot", shot});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "drop accepted\n")) << run.out;

    Png png(shot);
    ASSERT_TRUE(png.ok());
    for (int k = 0; k < 3; ++k) {
        EXPECT_GT(png.brightPixels(36, labelMiddle(k) - 8, 200, labelMiddle(k) + 8), 20) << "name of key " << k;
        EXPECT_GT(png.brightPixels(210, labelMiddle(k) - 8, 244, labelMiddle(k) + 7), 10) << "duration of key " << k;
    }
    EXPECT_EQ(png.brightPixels(210, labelMiddle(3) - 8, 244, labelMiddle(3) + 7), 0);

    // The recording holds key 1's frames from the note on, and nothing before.
    const std::vector<float> left = readLeftChannel(out);
    ASSERT_GT(left.size(), size_t(44100 + 4410));
    int atLevel = 0;
    float before = 0;
    for (size_t i = 0; i < 44100; ++i)
        before = std::max(before, std::abs(left[i]));
    for (size_t i = 44100; i < 44100 + 4410; ++i)
        atLevel += std::abs(left[i] - 0.5f) < 0.001f;
    EXPECT_EQ(before, 0.0f);
    EXPECT_GT(atLevel, 4300);
}

}  // namespace
