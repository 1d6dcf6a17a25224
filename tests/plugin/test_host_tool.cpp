// rimbrel-host: its argument parsing, and the program run on the built
// plug-in (and on a third-party plug-in when one is installed).
#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kit/KitState.h"
#include "tools/rimbrel-host/Render.h"

namespace rimbrel::host {
namespace {

namespace fs = std::filesystem;

struct RunResult {
    int status = -1;
    std::string output;
};

RunResult runHost(const std::string& arguments) {
    // Third-party plug-ins are not built with the sanitizers: leaks inside
    // them are not ours to report.
    const std::string command =
        "ASAN_OPTIONS=detect_leaks=0 " RIMBREL_HOST_PATH " " + arguments + " 2>&1";
    RunResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.output.append(buffer, n);
    result.status = pclose(pipe);
    return result;
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "rimbrel-host-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

std::vector<float> readWav(const std::string& path, SF_INFO& info) {
    info = SF_INFO{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    std::vector<float> frames(size_t(info.frames * info.channels));
    sf_readf_float(f, frames.data(), info.frames);
    sf_close(f);
    return frames;
}

void writeWav(const std::string& path, const std::vector<float>& interleaved, int channels,
              int rate) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_writef_float(f, interleaved.data(), sf_count_t(interleaved.size()) / channels);
    sf_close(f);
}

TEST(HostArguments, NoteSpecs) {
    std::vector<TimedMidi> events;
    std::string error;
    ASSERT_TRUE(parseNoteSpec("100:60", events, error));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].frame, 100);
    EXPECT_EQ(events[0].status, 0x90);
    EXPECT_EQ(events[0].data1, 60);
    EXPECT_EQ(events[0].data2, 100);
    ASSERT_TRUE(parseNoteSpec("5:53:200", events, error));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2].frame, 205);
    EXPECT_EQ(events[2].status, 0x80);
    for (const char* bad : {"", "5", "5:", "x:60", "5:128", "-1:60", "5:60:-3", "5:60:1:2"})
        EXPECT_FALSE(parseNoteSpec(bad, events, error)) << bad;
}

TEST(HostArguments, MidiTextFiles) {
    TempDir dir;
    std::ofstream(dir / "ok.txt") << "# a phrase\n0 0x90 53 100\n\n  441 144 55 90 # inline\n"
                                     "882 0x80 53 0\n";
    std::vector<TimedMidi> events;
    std::string error;
    ASSERT_TRUE(readMidiText(dir / "ok.txt", events, error)) << error;
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].frame, 441);
    EXPECT_EQ(events[1].status, 0x90);
    EXPECT_EQ(events[1].data1, 55);
    EXPECT_EQ(events[2].status, 0x80);

    std::ofstream(dir / "bad.txt") << "0 0x90 53 100\n12 0x90 53\n";
    events.clear();
    EXPECT_FALSE(readMidiText(dir / "bad.txt", events, error));
    EXPECT_NE(error.find(":2:"), std::string::npos) << error;
    EXPECT_FALSE(readMidiText(dir / "missing.txt", events, error));
}

TEST(HostProgram, InfoShowsTheIdentityAndAnswers) {
    const RunResult r = runHost(std::string("info ") + RIMBREL_PLUGIN_PATH);
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* line :
         {"uniqueID: RbKt (0x52624b74)", "numInputs: 2", "numOutputs: 2", "numParams: 1",
          "effectName: \"Rimbrel\" (1)", "vendorString: \"Vantrel\" (1)",
          "productString: \"Rimbrel\" (1)", "vendorVersion: 1005", "vstVersion: 2400",
          "category: 2 (instrument)", "canDo receiveVstTimeInfo: 1", "canDo offline: -1",
          "programNameIndexed 0: \"DefaultProgram  \" (1)", "parameter 0 name: \" \"",
          "parameter 0 display: \"  \""})
        EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n"
                                                          << r.output;
}

TEST(HostProgram, RenderPassesTheInputThroughAnEmptyKit) {
    TempDir dir;
    std::vector<float> input(3000 * 2);
    for (size_t i = 0; i < input.size(); ++i) input[i] = float(i % 97) / 97.0f - 0.5f;
    writeWav(dir / "in.wav", input, 2, 48000);
    std::ofstream(dir / "notes.txt") << "0 0x90 53 100\n1000 0x80 53 0\n";
    const RunResult r = runHost(std::string("render ") + RIMBREL_PLUGIN_PATH + " -o " +
                                (dir / "out.wav") + " --input " + (dir / "in.wav") +
                                " --block 100 --note 17:60:500 --midi " + (dir / "notes.txt"));
    ASSERT_EQ(r.status, 0) << r.output;
    SF_INFO info;
    const std::vector<float> output = readWav(dir / "out.wav", info);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_EQ(output, input);
}

TEST(HostProgram, RenderOfSilenceHasTheFramesAskedFor) {
    TempDir dir;
    const RunResult r = runHost(std::string("render ") + RIMBREL_PLUGIN_PATH + " -o " +
                                (dir / "out.wav") + " --frames 1234 --rate 22050");
    ASSERT_EQ(r.status, 0) << r.output;
    SF_INFO info;
    const std::vector<float> output = readWav(dir / "out.wav", info);
    EXPECT_EQ(info.frames, 1234);
    EXPECT_EQ(info.samplerate, 22050);
    for (float x : output) EXPECT_EQ(x, 0.0f);
}

TEST(HostProgram, BadUseFailsWithAMessage) {
    TempDir dir;
    EXPECT_NE(runHost("").status, 0);
    EXPECT_NE(runHost("frobnicate").status, 0);
    RunResult r = runHost("info " + (dir / "missing.so"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("rimbrel-host:"), std::string::npos);
    r = runHost(std::string("render ") + RIMBREL_PLUGIN_PATH + " --note 5");
    EXPECT_NE(r.status, 0);
    r = runHost(std::string("render ") + RIMBREL_PLUGIN_PATH + " -o " + (dir / "o.wav") +
                " --input " + (dir / "missing.wav"));
    EXPECT_NE(r.status, 0);
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

TEST(HostProgram, RenderLoadsAndSavesTheKitState) {
    TempDir dir;
    // A mono key and a stereo one, panned, in a Field kit.
    KitStateData kit;
    kit.target = KitTarget::Op1Field;
    KitStateKey mono{0, "/sounds/kick.wav", {}, 4000, 1, std::vector<float>(4000), {}};
    KitStateKey stereo{5, "/sounds/pad.wav", {}, 3000, 2, std::vector<float>(3000), std::vector<float>(3000)};
    for (size_t i = 0; i < 4000; ++i) mono.left[i] = float(int(i % 200) - 100) / 256.0f;
    for (size_t i = 0; i < 3000; ++i) {
        stereo.left[i] = float(i % 64) / 128.0f;
        stereo.right[i] = -float(i % 32) / 64.0f;
    }
    stereo.settings.pan = -0.5f;
    stereo.settings.pitch = 7;
    kit.keys = {mono, stereo};
    writeBytes(dir / "kit.state", encodeKitState(kit));

    const std::string notes = " --frames 9000 --note 0:53:5000 --note 100:58";
    RunResult r = runHost(std::string("render ") + RIMBREL_PLUGIN_PATH + " -o " + (dir / "a.wav") + notes +
                          " --load-state " + (dir / "kit.state") + " --save-state " + (dir / "a.state"));
    ASSERT_EQ(r.status, 0) << r.output;
    r = runHost(std::string("render ") + RIMBREL_PLUGIN_PATH + " -o " + (dir / "b.wav") + notes +
                " --load-state " + (dir / "a.state") + " --save-state " + (dir / "b.state"));
    ASSERT_EQ(r.status, 0) << r.output;

    // The saved kit is the loaded one, and plays the same.
    const std::vector<uint8_t> saved = readBytes(dir / "a.state");
    EXPECT_EQ(readBytes(dir / "b.state"), saved);
    KitStateData back;
    std::string why;
    ASSERT_TRUE(decodeKitState(saved.data(), saved.size(), back, why)) << why;
    EXPECT_EQ(back.target, kit.target);
    for (const KitStateKey& key : back.keys) {
        if (key.key == 0) EXPECT_EQ(key, mono);
        else if (key.key == 5) EXPECT_EQ(key, stereo);
        else EXPECT_EQ(key, (KitStateKey{key.key}));
    }
    SF_INFO info;
    const std::vector<float> first = readWav(dir / "a.wav", info);
    EXPECT_EQ(readWav(dir / "b.wav", info), first);
    EXPECT_NE(first, std::vector<float>(first.size(), 0.0f));

    // A damaged state: the plug-in says why and plays an empty kit.
    std::vector<uint8_t> damaged = saved;
    damaged.resize(damaged.size() - 10);
    writeBytes(dir / "bad.state", damaged);
    r = runHost(std::string("render ") + RIMBREL_PLUGIN_PATH + " -o " + (dir / "c.wav") + notes +
                " --load-state " + (dir / "bad.state"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("kit state refused: "), std::string::npos) << r.output;
    const std::vector<float> silent = readWav(dir / "c.wav", info);
    EXPECT_EQ(silent, std::vector<float>(silent.size(), 0.0f));

    r = runHost(std::string("render ") + RIMBREL_PLUGIN_PATH + " -o " + (dir / "d.wav") + notes +
                " --load-state " + (dir / "missing.state"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("missing.state"), std::string::npos) << r.output;
}

TEST(HostProgram, LoadsAThirdPartyInstrument) {
    const char* kars = "/usr/lib/vst/Kars-vst.so";
    if (access(kars, R_OK) != 0) GTEST_SKIP() << "no third-party VST 2 instrument installed";
    TempDir dir;
    RunResult r = runHost(std::string("info ") + kars);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("magic: VstP"), std::string::npos);
    r = runHost(std::string("render ") + kars + " -o " + (dir / "out.wav") +
                " --frames 22050 --note 0:60:11025");
    ASSERT_EQ(r.status, 0) << r.output;
    SF_INFO info;
    const std::vector<float> output = readWav(dir / "out.wav", info);
    ASSERT_EQ(info.frames, 22050);
    float peak = 0;
    for (float x : output) peak = std::max(peak, std::abs(x));
    EXPECT_GT(peak, 0.01f);
}

}  // namespace
}  // namespace rimbrel::host
