// rimbrel-host's editor command with real plug-ins under the X server: the
// window, its pixels, clicks, drops made the way a file manager makes them,
// the audio thread, and a clean close.
#include <cairo.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <X11/Xlib.h>

#include "tests/e2e/E2eSupport.h"

namespace {

using namespace e2e;
namespace fs = std::filesystem;

// --- the probe plug-in: the host and the platform ---

// The window, clicks and drops in a plain host and in one that embeds the
// editor after opening it.
class ProbeInHostTest : public InBothHostModes<EditorHostTest> {};
RIMBREL_IN_BOTH_HOST_MODES(ProbeInHostTest);

TEST_P(ProbeInHostTest, TheWindowHasTheEditorsSizeAndShowsItsDrawing) {
    const std::string shot = dir + "/probe.png";
    const HostRun run = host(RIMBREL_PROBE_PLUGIN, {"--seconds", "1", "--screenshot", shot});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "probe: open x11\n")) << run.out;
    Png png(shot);
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(png.width(), 540);
    EXPECT_EQ(png.height(), 786);
    EXPECT_EQ(png.rgb(5, 100), (std::array<int, 3>{40, 40, 48}));
    EXPECT_EQ(png.rgb(132, 38), (std::array<int, 3>{0, 171, 107}));     // drop button
    EXPECT_EQ(png.rgb(120, 169), (std::array<int, 3>{105, 142, 255}));  // key 0's label
    EXPECT_EQ(png.rgb(120, 454), (std::array<int, 3>{105, 142, 255}));  // key 12's label
    EXPECT_EQ(png.rgb(300, 170), (std::array<int, 3>{206, 206, 206}));  // key button
    // The editor's timer ran from the host's idle calls while it was open.
    EXPECT_TRUE(contains(run.out, "probe: timer ticks while open ")) << run.out;
    EXPECT_FALSE(contains(run.out, "probe: timer ticks while open 0\n")) << run.out;
}

TEST_P(ProbeInHostTest, DropsReachTheKeyAndTheButtonTheyAreAimedAt) {
    const HostRun run = host(RIMBREL_PROBE_PLUGIN, {"--seconds", "0.5", "--after", "300", "--drop", "/tmp/a b+c.wav",
                                                    "/tmp/Ünïcødé €.wav", "--on-key", "13", "--drop", "/tmp/x.wav",
                                                    "--on-drop-button"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "probe: hover key 13: /tmp/a b+c.wav|/tmp/Ünïcødé €.wav\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "probe: drop key 13: /tmp/a b+c.wav|/tmp/Ünïcødé €.wav\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "probe: drop button: /tmp/x.wav\n")) << run.out;
    EXPECT_EQ(run.out.find("drop refused"), std::string::npos) << run.out;
    const size_t first = run.out.find("drop accepted\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(run.out.find("drop accepted\n", first + 1), std::string::npos);
}

TEST_P(ProbeInHostTest, SourcesThatSearchForTheDeepestWindowReachItToo) {
    const HostRun run = host(RIMBREL_PROBE_PLUGIN,
                             {"--seconds", "0.3", "--after", "200", "--deepest", "--drop", "/tmp/y.wav", "--on-key", "23"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "probe: drop key 23: /tmp/y.wav\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "drop accepted\n")) << run.out;
}

TEST_P(ProbeInHostTest, AnEditorThreadThatIsNotTheMainThreadWorksAlike) {
    const std::string shot = dir + "/thread.png";
    const HostRun run = host(RIMBREL_PROBE_PLUGIN, {"--ui-thread", "--seconds", "0.6", "--after", "300", "--drop",
                                                    "/tmp/t.wav", "--on-key", "7", "--screenshot", shot});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "probe: drop key 7: /tmp/t.wav\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "drop accepted\n")) << run.out;
    Png png(shot);
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(png.rgb(132, 38), (std::array<int, 3>{0, 171, 107}));
}

TEST_P(ProbeInHostTest, ClicksCarryTheirModifiers) {
    const HostRun run = host(RIMBREL_PROBE_PLUGIN,
                             {"--seconds", "0.3", "--after", "200", "--click", "300,170", "--click", "301,171,shift,ctrl"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "probe: click keybutton 300 170 buttons=1\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "probe: click keybutton 301 171 buttons=25\n")) << run.out;
}

TEST_F(EditorHostTest, AnEmbeddingHostKeepsDropsOnItsOwnStripAndTheEditorTakesTheRest) {
    // On the strip, then on a key, then on the strip again: each drop goes
    // to the one it was aimed at, the host refusing its own.
    const HostRun run = host(RIMBREL_PROBE_PLUGIN, {"--embed-later", "--seconds", "0.8", "--after", "300", "--drop",
                                                    "/tmp/h1.wav", "--on-host-area", "--drop", "/tmp/k.wav", "--on-key",
                                                    "5", "--drop", "/tmp/h2.wav", "--on-host-area"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.find("editor embedded\n"), run.out.find("probe: open x11\n") + 16) << run.out;
    EXPECT_TRUE(contains(run.out, "probe: drop key 5: /tmp/k.wav\n")) << run.out;
    EXPECT_FALSE(contains(run.out, "h1.wav")) << run.out;
    EXPECT_FALSE(contains(run.out, "h2.wav")) << run.out;
    const size_t refused = run.out.find("host area: drop refused\ndrop refused\n");
    const size_t accepted = run.out.find("drop accepted\n");
    ASSERT_NE(refused, std::string::npos) << run.out;
    ASSERT_NE(accepted, std::string::npos) << run.out;
    EXPECT_LT(refused, accepted) << run.out;
    EXPECT_NE(run.out.find("host area: drop refused\ndrop refused\n", accepted), std::string::npos) << run.out;
}

TEST_F(EditorHostTest, AnEditorThatTakesTheHostsXdndAwareAwayFailsTheRun) {
    const HostRun run = host(RIMBREL_PROBE_PLUGIN, {"--embed-later", "--seconds", "0.2"}, "PROBE_TAMPER_HOST=1");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(contains(run.err, "the editor left the top-level's XdndAware or XdndProxy changed")) << run.err;
}

TEST_F(EditorHostTest, TheAudioThreadPlaysScheduledNotesInRealTime) {
    const std::string wav = dir + "/out.wav";
    const HostRun run = host(RIMBREL_PROBE_PLUGIN, {"--seconds", "1", "--rate", "44100", "--block", "256", "--note",
                                                    "4410:60:8820", "--record", wav});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    SF_INFO info{};
    SNDFILE* f = sf_open(wav.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 44100);
    // About a second of audio went through in about a second.
    EXPECT_GT(info.frames, 44100 * 8 / 10);
    std::vector<float> frames(static_cast<size_t>(info.frames) * 2);
    sf_readf_float(f, frames.data(), info.frames);
    sf_close(f);
    // The note sounds from its block on, until the block of its release.
    EXPECT_EQ(frames[2 * 4000], 0.0f);
    EXPECT_EQ(frames[2 * 5000], 0.25f);
    EXPECT_EQ(frames[2 * 5000 + 1], 0.25f);
    EXPECT_EQ(frames[2 * 13000], 0.25f);
    EXPECT_EQ(frames[2 * 14000], 0.0f);
}

// The top-level window named `name`, or None.
Window findWindow(Display* dpy, const std::string& name) {
    Window root = DefaultRootWindow(dpy), r = None, parent = None;
    Window* children = nullptr;
    unsigned count = 0;
    Window found = None;
    if (XQueryTree(dpy, root, &r, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && found == None; ++i) {
            char* title = nullptr;
            if (XFetchName(dpy, children[i], &title) && title) {
                if (name == title)
                    found = children[i];
                XFree(title);
            }
        }
        if (children)
            XFree(children);
    }
    return found;
}

TEST_F(EditorHostTest, ClosingTheWindowEndsTheRunCleanly) {
    // --seconds only as a safety net: the window is closed long before.
    const std::string command =
        quote(RIMBREL_HOST_PROGRAM) + " editor " + quote(RIMBREL_PROBE_PLUGIN) + " --seconds 20 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    Display* dpy = XOpenDisplay(nullptr);
    ASSERT_NE(dpy, nullptr);
    Window w = None;
    for (int i = 0; i < 300 && w == None; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        w = findWindow(dpy, "rimbrel-host: Probe");
    }
    ASSERT_NE(w, None);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // What a window manager sends when the user closes the window.
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, w, False, NoEventMask, &e);
    XFlush(dpy);
    const auto closedAt = std::chrono::steady_clock::now();
    std::string out;
    std::array<char, 4096> buffer{};
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.append(buffer.data(), n);
    const int status = pclose(pipe);
    EXPECT_LT(std::chrono::steady_clock::now() - closedAt, std::chrono::seconds(5));
    XSync(dpy, False);
    EXPECT_EQ(findWindow(dpy, "rimbrel-host: Probe"), None);
    XCloseDisplay(dpy);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // The editor was closed and the effect destroyed with it.
    EXPECT_TRUE(contains(out, "probe: timer ticks while open ")) << out;
}

TEST_F(EditorHostTest, BadArgumentsAreRefused) {
    EXPECT_EQ(host(RIMBREL_PROBE_PLUGIN, {"--drop"}).exitCode, 1);
    EXPECT_EQ(host(RIMBREL_PROBE_PLUGIN, {"--on-key", "3"}).exitCode, 1);
    EXPECT_EQ(host(RIMBREL_PROBE_PLUGIN, {"--drop", "/tmp/x", "--on-key", "24"}).exitCode, 1);
    EXPECT_EQ(host(RIMBREL_PROBE_PLUGIN, {"--click", "1,2,hyper"}).exitCode, 1);
    // Only a host that embeds the editor has a strip of its own.
    EXPECT_EQ(host(RIMBREL_PROBE_PLUGIN, {"--drop", "/tmp/x", "--on-host-area"}).exitCode, 1);
    EXPECT_EQ(host(dir + "/missing.so", {"--seconds", "0.1"}).exitCode, 1);
}

// --- the real plug-in ---

class RimbrelEditorTest : public EditorHostTest {
protected:
    void SetUp() override {
        EditorHostTest::SetUp();
        if (IsSkipped())
            return;
        if (std::string(RIMBREL_PLUGIN).empty())
            GTEST_SKIP() << "Rimbrel.so is not built";
        const HostRun probe = host(RIMBREL_PLUGIN, {"--seconds", "0.05"});
        if (contains(probe.err, "the plug-in has no editor"))
            GTEST_SKIP() << "Rimbrel.so has no editor yet";
    }
};

// Drops, and the clicks after them, in both kinds of host.
class RimbrelInHostTest : public InBothHostModes<RimbrelEditorTest> {};
RIMBREL_IN_BOTH_HOST_MODES(RimbrelInHostTest);

TEST_F(RimbrelEditorTest, TheWindowShowsTheBackgroundAndTheDropButton) {
    const std::string shot = dir + "/rimbrel.png";
    const HostRun run = host(RIMBREL_PLUGIN, {"--seconds", "1", "--screenshot", shot});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Png png(shot);
    ASSERT_TRUE(png.ok());
    ASSERT_EQ(png.width(), 540);
    ASSERT_EQ(png.height(), 786);
    // Where no control lies, the window shows the background picture.
    Png background(RIMBREL_BACKGROUND_PNG);
    ASSERT_TRUE(background.ok());
    for (auto [x, y] : std::vector<std::pair<int, int>>{
             {15, 400}, {100, 150}, {100, 311}, {248, 600}, {263, 300}, {420, 12}, {532, 500}, {400, 764}, {5, 5}}) {
        EXPECT_EQ(png.rgb(x, y), background.rgb(x, y)) << "at " << x << "," << y;
    }
    // The drop button's resting image, its top half, at (8, 11).
    Png drop(RIMBREL_DROP_BUTTON_PNG);
    ASSERT_TRUE(drop.ok());
    for (auto [x, y] : std::vector<std::pair<int, int>>{{10, 10}, {124, 27}, {200, 40}, {240, 50}})
        EXPECT_EQ(png.rgb(8 + x, 11 + y), drop.rgb(x, y)) << "drop button at " << x << "," << y;
}

TEST_P(RimbrelInHostTest, AFileDroppedOnAKeyIsShownAndPlaysOnItsNote) {
    // A tenth of a second of a loud tone, in a folder and file name with
    // spaces and a '+'.
    fs::create_directories(dir + "/my samples");
    const std::string wav = dir + "/my samples/kick drum+1.wav";
    writeTone(wav, 4410, 0.5f);

    // Dropped at 0.3 s on key 3 (note 56), played by its note at 0.8 s.
    const std::string shot = dir + "/dropped.png";
    const std::string out = dir + "/out.wav";
    const HostRun run = host(RIMBREL_PLUGIN, {"--seconds", "1.2", "--after", "300", "--drop", wav, "--on-key", "3",
                                              "--note", "35280:56:2205", "--record", out, "--screenshot", shot});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "drop accepted\n")) << run.out << run.err;
    EXPECT_TRUE(contains(run.err, "kick drum+1.wav")) << run.err;

    // Key 3's value label shows the duration in white (anti-aliased, so
    // counted as bright pixels); key 5's stays empty.
    Png png(shot);
    ASSERT_TRUE(png.ok());
    EXPECT_GT(png.brightPixels(210, 221, 244, 237), 10);
    EXPECT_EQ(png.brightPixels(210, 262, 244, 278), 0);

    const std::vector<float> left = readLeftChannel(out);
    ASSERT_GT(left.size(), size_t(35280 + 2205));
    float before = 0, during = 0;
    for (size_t i = 0; i < 35280; ++i)
        before = std::max(before, std::abs(left[i]));
    for (size_t i = 35280; i < 35280 + 2205; ++i)
        during = std::max(during, std::abs(left[i]));
    EXPECT_EQ(before, 0.0f);
    EXPECT_GT(during, 0.3f);
}

// A folder whose "zenity" records its arguments and, as a save dialog,
// answers `answer`.
std::string fakeZenity(const std::string& dir, const std::string& answer) {
    const std::string bin = dir + "/bin";
    fs::create_directories(bin);
    std::ofstream(bin + "/zenity") << "#!/bin/sh\n"
                                   << "for a in \"$@\"; do echo \"$a\"; done >> " << quote(dir + "/zenity-args") << "\n"
                                   << "case \"$1\" in --file-selection) echo " << quote(answer) << ";; esac\n";
    fs::permissions(bin + "/zenity", fs::perms::owner_all);
    return "PATH=" + quote(bin) + ":\"$PATH\"";
}

TEST_P(RimbrelInHostTest, TheExportButtonRunsTheSaveDialogAndWritesTheKit) {
    const std::string wav = dir + "/tone.wav";
    writeTone(wav, 4410, 0.5f);
    const std::string kit = dir + "/my kit.aif";
    const HostRun run = host(RIMBREL_PLUGIN,
                             {"--seconds", "1.5", "--after", "300", "--drop", wav, "--on-key", "0", "--click", "130,87"},
                             fakeZenity(dir, kit));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::ifstream args(dir + "/zenity-args");
    const std::string asked(std::istreambuf_iterator<char>(args), {});
    EXPECT_TRUE(contains(asked, "--save\n")) << asked;
    EXPECT_TRUE(contains(asked, "--title=Export Op1 Kit as..\n")) << asked;
    ASSERT_TRUE(fs::exists(kit)) << run.err;
    std::ifstream file(kit, std::ios::binary);
    std::string head(64, '\0');
    file.read(head.data(), 64);
    EXPECT_EQ(head.substr(0, 4), "FORM");
    EXPECT_EQ(head.substr(46, 4), "op-1");  // an Op-1 kit
}

TEST_P(RimbrelInHostTest, AKitTooLongForExportShowsTheWarning) {
    writeTone(dir + "/a.wav", 7 * 44100, 0.2f);
    writeTone(dir + "/b.wav", 7 * 44100, 0.2f);
    const HostRun run = host(RIMBREL_PLUGIN,
                             {"--seconds", "1.5", "--after", "300", "--drop", dir + "/a.wav", dir + "/b.wav", "--on-key",
                              "0", "--click", "130,87"},
                             fakeZenity(dir, dir + "/never.aif"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::ifstream args(dir + "/zenity-args");
    const std::string asked(std::istreambuf_iterator<char>(args), {});
    EXPECT_TRUE(contains(asked, "--warning\n")) << asked;
    EXPECT_TRUE(contains(asked, "--title=Total Duration too long!\n")) << asked;
    EXPECT_TRUE(contains(asked, "--text=please erase some sounds (Ctrl-click) or replace with shorter ones!\n"))
        << asked;
    EXPECT_FALSE(contains(asked, "--file-selection")) << asked;
    EXPECT_FALSE(fs::exists(dir + "/never.aif"));
}

}  // namespace
