// What the end-to-end tests share: running rimbrel-host's editor command in
// a scratch folder, reading its screenshots, quoting for the shell.
#pragma once

#include <cairo.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

struct HostRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class EditorHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY"))
            GTEST_SKIP() << "no X display";
        char pattern[] = "/tmp/rimbrel-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        if (!dir.empty())
            fs::remove_all(dir);
    }

    // Runs the editor command (in `hostMode`); `environment` goes before it
    // ("NAME=value ...").
    HostRun host(const std::string& plugin, const std::vector<std::string>& args, const std::string& environment = "") {
        std::string command = environment + " " + quote(RIMBREL_HOST_PROGRAM) + " editor " + quote(plugin);
        for (const std::string& a : hostMode)
            command += " " + quote(a);
        for (const std::string& a : args)
            command += " " + quote(a);
        const std::string errPath = dir + "/stderr.txt";
        command += " 2>" + quote(errPath);
        HostRun run;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe)
            return run;
        std::array<char, 4096> buffer{};
        size_t n;
        while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
            run.out.append(buffer.data(), n);
        const int status = pclose(pipe);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream err(errPath);
        run.err.assign(std::istreambuf_iterator<char>(err), {});
        return run;
    }

    std::string dir;
    std::vector<std::string> hostMode;  // options that make rimbrel-host behave like another kind of host
};

// A test of `Base` run once in each way hosts give the editor its window:
// "Plain", the editor opened right in the host's top-level, and
// "EmbedLater", its parent created on the root and reparented into the
// top-level after opening, as Ardour and other GTK and Qt hosts do.
template <class Base>
class InBothHostModes : public Base, public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override {
        if (this->GetParam() == "EmbedLater")
            this->hostMode = {"--embed-later"};
        Base::SetUp();
    }
};

#define RIMBREL_IN_BOTH_HOST_MODES(Suite)                                                \
    INSTANTIATE_TEST_SUITE_P(HostModes, Suite, ::testing::Values("Plain", "EmbedLater"), \
                             [](const ::testing::TestParamInfo<std::string>& mode) { return mode.param; })

struct Png {
    cairo_surface_t* surface = nullptr;
    explicit Png(const std::string& path) : surface(cairo_image_surface_create_from_png(path.c_str())) {}
    ~Png() { cairo_surface_destroy(surface); }
    bool ok() const { return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS; }
    int width() const { return cairo_image_surface_get_width(surface); }
    int height() const { return cairo_image_surface_get_height(surface); }
    // (r, g, b) of an opaque image.
    std::array<int, 3> rgb(int x, int y) const {
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const uint32_t v = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
        return {static_cast<int>((v >> 16) & 0xff), static_cast<int>((v >> 8) & 0xff), static_cast<int>(v & 0xff)};
    }
    // Pixels of the rectangle brighter than mid-grey in every channel: white
    // text is anti-aliased, so text is counted rather than matched.
    int brightPixels(int left, int top, int right, int bottom) const {
        int n = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) {
                const auto c = rgb(x, y);
                n += c[0] > 180 && c[1] > 180 && c[2] > 180;
            }
        return n;
    }
};

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Writes a mono 16-bit WAV of `frames` frames at `level`.
inline void writeTone(const std::string& path, int frames, float level) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> tone(static_cast<size_t>(frames), level);
    sf_writef_float(f, tone.data(), frames);
    sf_close(f);
}

// The left channel of a stereo recording (empty if it cannot be read).
inline std::vector<float> readLeftChannel(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f)
        return {};
    if (info.channels != 2) {
        sf_close(f);
        return {};
    }
    std::vector<float> frames(static_cast<size_t>(info.frames) * 2);
    sf_readf_float(f, frames.data(), info.frames);
    sf_close(f);
    std::vector<float> left(static_cast<size_t>(info.frames));
    for (size_t i = 0; i < left.size(); ++i)
        left[i] = frames[i * 2];
    return left;
}

}  // namespace e2e
