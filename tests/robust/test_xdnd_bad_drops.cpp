// Bad files dropped on the built plug-in's window the way a file manager
// drops them (XDND, through rimbrel-host's top-level window) while its audio
// thread plays: the host runs to its end, the loader's lines say what became
// of each file, and the window still draws all of itself.
#include <cairo.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "RobustSupport.h"

namespace rimbrel::robust {
namespace {

namespace fs = std::filesystem;

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

Bytes wavOf(int frames) {
    WavSpec s;
    s.data = pcm16(frames, 1);
    return wavBytes(s);
}

TEST(XdndBadDrops, BadFilesDroppedThroughTheDesktopProtocol) {
    if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    Scratch scratch("xdnd");
    const fs::path d = scratch.path();
    const std::string latin1 = (d / "caf\xe9 \xff.wav").string();  // not UTF-8
    writeBytes(latin1, wavOf(4410));
    const std::string pipe = (d / "pipe.wav").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string text = (d / "notes.wav").string();
    writeBytes(text, "not a sound\n");
    const std::string cutFlac = (d / "cut.flac").string();
    {
        Bytes b = soundBytes(d, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 20000);
        b.resize(b.size() / 3);
        writeBytes(cutFlac, b);
    }
    const std::string sparse = (d / "sparse.wav").string();
    {
        WavSpec s;
        Bytes b = wavBytes(s);
        setLE32(b, chunkSizeOffset(b, "data"), 0x7ffffff0u);
        setLE32(b, 4, uint32_t(b.size() - 8 + 0x7ffffff0u));
        writeBytes(sparse, b);
        fs::resize_file(sparse, b.size() + 0x7ffffff0u);
    }
    const fs::path loops = d / "loops";
    fs::create_directory(loops);
    fs::create_symlink(loops / "a.wav", loops / "a.wav");
    fs::create_directory_symlink(loops, loops / "b-self");
    writeBytes(loops / "c.wav", wavOf(2205));

    const std::string shot = (d / "shot.png").string();
    const std::string errPath = (d / "stderr.txt").string();
    std::string command = quote(RIMBREL_HOST_PROGRAM) + " editor " + quote(RIMBREL_PLUGIN_PATH) +
                          " --seconds 3 --after 300 --note 4410:53:2205 --screenshot " + quote(shot);
    const std::vector<std::pair<std::vector<std::string>, int>> drops = {
        {{latin1}, 1}, {{pipe}, 2}, {{text}, 3}, {{cutFlac}, 4}, {{sparse}, 5}, {{pipe, text, latin1}, 6}, {{loops.string()}, 7}};
    for (const auto& [paths, key] : drops) {
        command += " --drop";
        for (const std::string& p : paths) command += " " + quote(p);
        command += " --on-key " + std::to_string(key);
    }
    command += " 2>" + quote(errPath);

    std::string out;
    int status = 0;
    {
        Watchdog watchdog("rimbrel-host with bad drops", std::chrono::seconds(60));
        FILE* p = popen(command.c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::array<char, 4096> buffer{};
        std::size_t n;
        while ((n = fread(buffer.data(), 1, buffer.size(), p)) > 0) out.append(buffer.data(), n);
        status = pclose(p);
    }
    std::ifstream errFile(errPath);
    const std::string err((std::istreambuf_iterator<char>(errFile)), std::istreambuf_iterator<char>());
    ASSERT_TRUE(WIFEXITED(status)) << err;
    ASSERT_EQ(WEXITSTATUS(status), 0) << out << err;
    EXPECT_EQ(count(out, "drop accepted\n") + count(out, "drop refused\n"), int(drops.size())) << out;

    // What became of each: the Latin-1 name loaded (twice: alone and in the
    // list of three), the pipe and the text refused, the cut FLAC failed to
    // decode, the 2 GB file cut to 12 s, the folder gave its one sound.
    EXPECT_EQ(count(err, " DoXPlatLoadStuff " + latin1 + ", 1, "), 2) << err;
    EXPECT_FALSE(contains(err, " DoXPlatLoadStuff " + pipe)) << err;
    EXPECT_FALSE(contains(err, " DoXPlatLoadStuff " + text)) << err;
    EXPECT_TRUE(contains(err, "[Rimbrel-VST] \n failure reading file.. 19997\n")) << err;
    EXPECT_TRUE(contains(err, "Rimbrel err 617-03: frames 1073741816 is too long for allocation!!")) << err;
    EXPECT_TRUE(contains(err, " DoXPlatLoadStuff " + (loops / "c.wav").string() + ", 1, ")) << err;
    EXPECT_EQ(count(err, "HandleDragDrop begin !"), int(drops.size())) << err;

    // The whole window was drawn at the end: the total below the keys shows
    // (red text: the kit is now longer than 12 s), whatever the names above
    // it hold.
    cairo_surface_t* png = cairo_image_surface_create_from_png(shot.c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    const unsigned char* data = cairo_image_surface_get_data(png);
    const int stride = cairo_image_surface_get_stride(png);
    int bright = 0;
    for (int y = 726; y < 742; ++y)
        for (int x = 35; x < 225; ++x) {
            const uint32_t v = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
            bright += ((v >> 16) & 0xff) > 180;
        }
    cairo_surface_destroy(png);
    EXPECT_GT(bright, 20) << "the total's text is missing from the window";
}

TEST(XdndBadDrops, TheHostEndsWhileTheSaveDialogIsStillOpen) {
    // The user clicks export, the dialog stays open, and the host closes the
    // plug-in and unloads it before the answer comes: the host ends cleanly
    // and the late answer writes nothing.
    if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    Scratch scratch("dialog");
    const fs::path d = scratch.path();
    writeBytes(d / "a.wav", wavOf(4410));
    fs::create_directory(d / "bin");
    {
        std::ofstream zenity(d / "bin" / "zenity");
        zenity << "#!/bin/sh\necho \"$@\" > " << quote((d / "asked").string()) << "\nsleep 2\necho "
               << quote((d / "late.aif").string()) << "\n";
    }
    fs::permissions(d / "bin" / "zenity", fs::perms::owner_all);
    const std::string errPath = (d / "stderr.txt").string();
    const std::string command = "PATH=" + quote((d / "bin").string()) + ":\"$PATH\" " + quote(RIMBREL_HOST_PROGRAM) +
                                " editor " + quote(RIMBREL_PLUGIN_PATH) + " --seconds 1 --after 200 --drop " +
                                quote((d / "a.wav").string()) + " --on-key 0 --click 100,85 >/dev/null 2>" +
                                quote(errPath);
    int status = 0;
    {
        Watchdog watchdog("rimbrel-host with a dialog open", std::chrono::seconds(60));
        status = std::system(command.c_str());
    }
    std::ifstream errFile(errPath);
    const std::string err((std::istreambuf_iterator<char>(errFile)), std::istreambuf_iterator<char>());
    ASSERT_TRUE(WIFEXITED(status)) << err;
    EXPECT_EQ(WEXITSTATUS(status), 0) << err;
    EXPECT_TRUE(contains(err, " DoXPlatLoadStuff ")) << err;
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // the dialog answers
    EXPECT_NE(readBytes(d / "asked").find("--file-selection"), std::string::npos) << "the dialog never opened";
    EXPECT_FALSE(fs::exists(d / "late.aif"));
}

}  // namespace
}  // namespace rimbrel::robust
