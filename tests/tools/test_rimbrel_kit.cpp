// rimbrel-kit as a user runs it: exit codes, messages, and the files it writes.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "formats/FieldKitWriter.h"
#include "formats/KitExport.h"
#include "formats/KitFileReader.h"
#include "formats/KitOpening.h"

namespace rimbrel {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out;  // stdout
    std::string err;  // stderr
};

class KitTool : public testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        dir_ = fs::temp_directory_path() /
               ("rimbrel-kit-test-" + std::to_string(std::random_device{}()) + "-" + std::to_string(counter++));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::string file(const std::string& name) const { return (dir_ / name).string(); }

    ToolRun run(const std::string& arguments) const {
        const std::string errFile = file(".stderr");
        const std::string cmd = "cd '" + dir_.string() + "' && '" RIMBREL_KIT_PROGRAM "' " + arguments + " 2>'" +
                                errFile + "'";
        ToolRun r;
        FILE* p = popen(cmd.c_str(), "r");
        if (!p) return r;
        std::array<char, 4096> buf;
        std::size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
        const int status = pclose(p);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream e(errFile);
        r.err.assign(std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>());
        fs::remove(errFile);
        return r;
    }

    // A mono 16-bit WAV of `frames` frames whose frame i is (i % 200 - 100) / 256 + offset.
    void writeWav(const std::string& name, int frames, int channels = 1, float offset = 0.0f) const {
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = channels;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(file(name).c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        std::vector<float> data(std::size_t(frames) * std::size_t(channels));
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                data[std::size_t(i * channels + c)] = float(i % 200 - 100) / 256.0f + offset;
        sf_writef_float(f, data.data(), frames);
        sf_close(f);
    }

    void writeText(const std::string& name) const { std::ofstream(file(name)) << "not a sound\n"; }

    fs::path dir_;
};

TEST_F(KitTool, HelpAndUsageErrors) {
    const ToolRun help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("rimbrel-kit build"), std::string::npos);
    EXPECT_NE(help.out.find("rimbrel-kit split"), std::string::npos);
    EXPECT_NE(help.out.find("rimbrel-kit inspect"), std::string::npos);
    const ToolRun version = run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "rimbrel-kit " RIMBREL_VERSION "\n");

    writeWav("a.wav", 1000);
    for (const char* bad : {"", "explode", "build a.wav", "build -o kit.aif", "inspect", "inspect a b",
                            "build a.wav -o k --pitch 0=49", "build a.wav -o k --pitch 24=0",
                            "build a.wav -o k --pitch E3=0", "build a.wav -o k --pitch F5=0",
                            "build a.wav -o k --pitch H3=0", "build a.wav -o k --reverse F#",
                            "build a.wav -o k --reverse F+3", "build a.wav -o k --reverse 0x1",
                            "build a.wav -o k --pitch 0=1.5", "build a.wav -o k --mode 3=fast",
                            "build a.wav -o k --volume 0=13", "build a.wav -o k --volume 0=loud",
                            "build a.wav -o k --reverse", "build a.wav -o k --frobnicate",
                            "split a.wav -o k --pitch 0=1", "build a.wav -o"}) {
        const ToolRun r = run(bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_EQ(r.err.rfind("rimbrel-kit: ", 0), 0u) << bad;
        EXPECT_NE(r.err.find("Usage:"), std::string::npos) << bad;  // usage errors show the usage
        EXPECT_FALSE(fs::exists(file("k.aif"))) << bad;
    }
}

TEST_F(KitTool, BuildFillsKeysInOrderWithTheirSettings) {
    writeWav("a.wav", 1000);
    writeText("notes.txt");
    writeWav("b.wav", 600, 2);
    // Keys by number or by note name.
    const ToolRun r = run(
        "build a.wav notes.txt b.wav -o Drums.WAV --pitch F#3=-1 --mode 0=gate --mode Gb3=loop "
        "--reverse gb3 --volume F3=-inf --volume 1=+12");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");  // the library's lines stay hidden without --verbose
    ASSERT_TRUE(fs::exists(file("Drums.aif")));
    EXPECT_NE(r.out.find("skipped notes.txt: not a sound file\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("wrote Drums.aif: 2 keys, 1598 frames"), std::string::npos) << r.out;

    std::vector<uint8_t> bytes;
    const KitFile f = readKitFile(file("Drums.aif"), &bytes);
    ASSERT_TRUE(f.valid());
    EXPECT_EQ(f.frames, 999u + 599u);  // each key without its last frame
    const auto& d = f.description;
    EXPECT_EQ(d.pitch[0], 0);
    EXPECT_EQ(d.pitch[1], -256);
    EXPECT_EQ(d.playmode[0], 8000);
    EXPECT_EQ(d.playmode[1], 16384);
    EXPECT_EQ(d.reverse[0], 8192);
    EXPECT_EQ(d.reverse[1], 16384);
    EXPECT_EQ(d.volume[0], 0);
    EXPECT_EQ(d.volume[1], 16345);  // 16384 * sqrt(10^(12/20) / 4), rounded
    EXPECT_EQ(positionToFrame(d.start[1], 529200.0), 999.0);
    // Keys 2..23 are empty and repeat key 1's span.
    EXPECT_EQ(d.end[23], d.end[1]);

    // The loader's layout: two frames of silence, then the file's frames.
    std::vector<float> mono;
    ASSERT_TRUE(decodeKitFileFrames(f, bytes.data(), bytes.size(), mono));
    EXPECT_EQ(mono[0], 0.0f);
    EXPECT_EQ(mono[1], 0.0f);
    EXPECT_FLOAT_EQ(mono[2], -100.0f / 256.0f);
    EXPECT_FLOAT_EQ(mono[3], -99.0f / 256.0f);
    EXPECT_FLOAT_EQ(mono[999 + 2], -100.0f / 256.0f);  // stereo folded to mono
}

TEST_F(KitTool, BuildFromAFolderTakesItsFilesByName) {
    fs::create_directory(dir_ / "kit");
    fs::create_directory(dir_ / "kit" / "sub");
    writeWav("kit/b.wav", 300, 1, 0.5f);
    writeWav("kit/A.wav", 200, 1, -0.5f);
    writeText("kit/c.txt");
    writeWav("kit/sub/z.wav", 100);
    const ToolRun r = run("build kit -o out.aif");
    ASSERT_EQ(r.status, 0) << r.err;
    const KitFile f = readKitFile(file("out.aif"));
    ASSERT_TRUE(f.valid());
    EXPECT_EQ(f.frames, 199u + 299u);
    EXPECT_EQ(positionToFrame(f.description.end[0], 529200.0), 198.0);  // A.wav first
    EXPECT_NE(r.out.find("key  0"), std::string::npos);
    EXPECT_EQ(r.out.find("z.wav"), std::string::npos);  // subfolders are passed over
}

TEST_F(KitTool, BuildRefusesAKitLongerThanTwelveSeconds) {
    writeWav("long1.wav", 300000);
    writeWav("long2.wav", 229201);  // 529201 frames in all
    const ToolRun r = run("build long1.wav long2.wav -o kit.aif");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "rimbrel-kit: the kit is too long: its keys total 12.000 s (529201 frames), a kit holds "
              "at most 12.000 s (529200 frames); leave out some files, or use split: nothing written\n");
    EXPECT_FALSE(fs::exists(file("kit.aif")));

    writeWav("long2.wav", 229200);  // exactly 529200
    EXPECT_EQ(run("build long1.wav long2.wav -o kit.aif").status, 0);
    EXPECT_TRUE(fs::exists(file("kit.aif")));
}

TEST_F(KitTool, BuildFailures) {
    writeText("a.txt");
    ToolRun r = run("build a.txt -o kit.aif");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("none of the given items"), std::string::npos);

    writeWav("a.wav", 500);
    r = run("build a.wav -o missing/kit.aif");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "rimbrel-kit: cannot write missing/kit.aif: no such folder: missing\n");

    // A path that is not there is named as missing, and nothing is written.
    r = run("build a.wav nowhere.wav -o kit.aif");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "rimbrel-kit: no such file or folder: nowhere.wav\n");
    EXPECT_FALSE(fs::exists(file("kit.aif")));

    // Named like a sound file but spoilt: cannot be read.
    writeText("spoilt.wav");
    r = run("build spoilt.wav a.txt -o kit.aif");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("skipped spoilt.wav: cannot be read\nskipped a.txt: not a sound file\n"),
              std::string::npos)
        << r.out;

    r = run("build a.wav -o kit.aif");
    EXPECT_NE(r.out.find(": 1 key, 499 frames"), std::string::npos) << r.out;

    r = run("build a.wav -o kit.aif --verbose");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("[Rimbrel-VST] \n set starts[i] (0) to 0\n"), std::string::npos);
}

TEST_F(KitTool, BuildSaysWhatItSkippedAndWhy) {
    // A folder in natural order: 26 sound files for 24 keys, a text file and a subfolder.
    fs::create_directory(dir_ / "kit");
    fs::create_directory(dir_ / "kit" / "sub");
    for (int i = 1; i <= 26; ++i) writeWav("kit/" + std::to_string(i) + " hit.wav", 100);
    writeText("kit/readme.txt");
    const ToolRun r = run("build kit -o out.aif");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("key  1  F#3 "), std::string::npos);
    EXPECT_NE(r.out.find("kit/2 hit.wav\nkey  2"), std::string::npos) << r.out;    // 2 before 10
    EXPECT_NE(r.out.find("kit/24 hit.wav\nskipped"), std::string::npos) << r.out;  // key 23
    EXPECT_NE(r.out.find("skipped kit/25 hit.wav: beyond the 24th key\n"
                         "skipped kit/26 hit.wav: beyond the 24th key\n"
                         "skipped kit/readme.txt: not a sound file\n"
                         "skipped kit/sub: a folder inside the folder (not searched)\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("wrote out.aif: 24 keys"), std::string::npos);

    // Several items: a folder among them is not read; a file given again
    // after the keys are full is beyond them, though it is on a key too.
    writeWav("a.wav", 100);
    std::string items = "kit";
    for (int i = 0; i < 25; ++i) items += " a.wav";
    const ToolRun several = run("build " + items + " -o two.aif");
    ASSERT_EQ(several.status, 0) << several.err;
    EXPECT_NE(several.out.find("skipped kit: a folder (a folder is read only when given alone)\n"
                               "skipped a.wav: beyond the 24th key\n"),
              std::string::npos)
        << several.out;
}

TEST_F(KitTool, SplitWritesOneFilePerKey) {
    writeWav("a.wav", 1000);
    writeWav("b.wav", 400000);
    writeWav("c.wav", 300000);  // beyond the kit's limit in all: split does not mind
    const ToolRun r = run("split a.wav b.wav c.wav -o Set.AIF");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("wrote 3 files"), std::string::npos);
    EXPECT_NE(run("split a.wav -o One.aif").out.find("wrote 1 file\n"), std::string::npos);
    for (const char* name : {"Set_01.AIF", "Set_02.AIF", "Set_03.AIF"}) {
        SF_INFO info{};
        SNDFILE* f = sf_open(file(name).c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr) << name;
        EXPECT_EQ(info.channels, 1);
        EXPECT_EQ(info.samplerate, 44100);
        sf_close(f);
    }
    EXPECT_FALSE(fs::exists(file("Set.AIF")));
}

TEST_F(KitTool, InspectPrintsTheKeysAndChecksTheFile) {
    writeWav("a.wav", 44101);
    ASSERT_EQ(run("build a.wav -o kit.aif --pitch 0=12 --volume 0=-6").status, 0);
    const ToolRun r = run("inspect kit.aif");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("44100 frames (1.000 s)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  0  F3            0     0.000      44099     1.000     +12  oneshot   forward    -6.0 dB"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(" 23  E5 "), std::string::npos);
    EXPECT_NE(r.out.find("valid Op-1 kit file"), std::string::npos);

    std::vector<char> bytes(fs::file_size(file("kit.aif")));
    std::ifstream(file("kit.aif"), std::ios::binary).read(bytes.data(), std::streamsize(bytes.size()));
    std::ofstream(file("cut.aif"), std::ios::binary).write(bytes.data(), 3000);
    const ToolRun cut = run("inspect cut.aif");
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.err.find("cut.aif: error: truncated"), std::string::npos) << cut.err;
    EXPECT_NE(cut.err.find("not a valid Op-1 kit file"), std::string::npos);

    const ToolRun missing = run("inspect nothing-here.aif");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "rimbrel-kit: no such file or folder: nothing-here.aif\n");
}

TEST_F(KitTool, InspectPrintsPitchesFarOutsideTheIntRange) {
    // A description may hold any 64-bit numbers: they are printed, not
    // converted to int (or negated) on the way.
    writeWav("a.wav", 1000);
    std::string settings;
    for (int k = 0; k < kNumKeys; ++k) settings += " --pitch " + std::to_string(k) + "=48";
    ASSERT_EQ(run("build a.wav -o kit.aif" + settings).status, 0);
    std::ifstream in(file("kit.aif"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t from = bytes.find("\"pitch\":[") + 9;
    const std::size_t to = bytes.find(']', from);
    ASSERT_NE(from, std::string::npos);
    std::string values = "4611686018427387904,-9223372036854775808";
    for (int k = 2; k < kNumKeys; ++k) values += ",0";
    ASSERT_LE(values.size(), to - from);
    values.resize(to - from, ' ');  // JSON white space keeps every size in the file
    bytes.replace(from, to - from, values);
    std::ofstream(file("huge.aif"), std::ios::binary) << bytes;

    const ToolRun r = run("inspect huge.aif");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("+9007199254740992"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("-18014398509481984"), std::string::npos) << r.out;
}

// A 16-bit stereo WAV whose right channel is not the left one.
void writeStereoWav(const std::string& path, int frames) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> data(std::size_t(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        data[std::size_t(2 * i)] = float(i % 300 - 150) / 256.0f;
        data[std::size_t(2 * i + 1)] = float(i % 77) / 128.0f;
    }
    sf_writef_float(f, data.data(), frames);
    sf_close(f);
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(KitTool, FieldTargetKeepsBothChannelsAndReadsBack) {
    writeStereoWav(file("st.wav"), 3000);
    writeWav("mono.wav", 800);
    const ToolRun r = run("build st.wav mono.wav -o f.aif --target field --mode 0=loop --pitch 1=2 --pan 1=-50");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("key  0  F3"), std::string::npos) << r.out;

    std::vector<uint8_t> bytes;
    const KitFile f = readKitFile(file("f.aif"), &bytes);
    ASSERT_TRUE(f.valid());
    EXPECT_EQ(f.target, KitTarget::Op1Field);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.frames, 2999u + 799u);
    EXPECT_EQ(fieldPlayMode(f.description.playmode[0]), FieldPlayMode::Loop);
    EXPECT_EQ(f.description.pitch[1], 2 * 512);
    EXPECT_EQ(f.description.pan[0], 16384);
    EXPECT_EQ(f.description.pan[1], 8192);
    // Key positions 2 .. length - 4 hold the file's frames, each channel its own.
    SF_INFO info{};
    SNDFILE* sf = sf_open(file("st.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(sf, nullptr);
    std::vector<float> source(6000);
    sf_readf_float(sf, source.data(), 3000);
    sf_close(sf);
    std::vector<float> left, right;
    ASSERT_TRUE(decodeKitFileKey(f, bytes.data(), bytes.size(), 0, left, right));
    ASSERT_EQ(left.size(), 2999u);
    for (int p = 2; p <= 2996; ++p) {
        ASSERT_EQ(left[std::size_t(p)], source[std::size_t(2 * (p - 2))]) << p;
        ASSERT_EQ(right[std::size_t(p)], source[std::size_t(2 * (p - 2) + 1)]) << p;
    }
    ASSERT_TRUE(decodeKitFileKey(f, bytes.data(), bytes.size(), 1, left, right));
    EXPECT_EQ(left, right);

    const ToolRun inspect = run("inspect f.aif");
    EXPECT_EQ(inspect.status, 0) << inspect.err;
    EXPECT_NE(inspect.out.find("target OP-1 Field"), std::string::npos) << inspect.out;
    EXPECT_NE(inspect.out.find("loop"), std::string::npos) << inspect.out;

    ASSERT_EQ(run("split st.wav mono.wav -o k.aif -t field").status, 0);
    for (const char* name : {"k_01.aif", "k_02.aif"}) {
        SF_INFO split{};
        SNDFILE* keyFile = sf_open(file(name).c_str(), SFM_READ, &split);
        ASSERT_NE(keyFile, nullptr) << name;
        EXPECT_EQ(split.channels, 2) << name;
        sf_close(keyFile);
    }
}

TEST_F(KitTool, TargetOptionLeavesTheOriginalKitAloneAndChecksItsLimit) {
    writeStereoWav(file("st.wav"), 3000);
    ASSERT_EQ(run("build st.wav -o plain.aif").status, 0);
    ASSERT_EQ(run("build st.wav -o op1.aif --target op1").status, 0);
    EXPECT_EQ(fileBytes(file("plain.aif")), fileBytes(file("op1.aif")));
    EXPECT_EQ(readKitFile(file("op1.aif")).target, KitTarget::Op1);
    EXPECT_EQ(run("build st.wav -o x.aif --target op2").status, 2);
    EXPECT_EQ(run("inspect op1.aif --target field").status, 2);
    EXPECT_EQ(run("build st.wav -o x.aif --pan 0=10").status, 2);

    // 13 s fits the Field but not the original; 21 s fits neither.
    writeWav("a.wav", 573300);
    EXPECT_EQ(run("build a.wav -o a.aif --target field").status, 0);
    writeWav("b.wav", 352800);
    const ToolRun tooLong = run("build a.wav b.wav -o ab.aif --target field");
    EXPECT_EQ(tooLong.status, 1);
    EXPECT_NE(tooLong.err.find("at most 20.000 s"), std::string::npos) << tooLong.err;
    EXPECT_FALSE(fs::exists(file("ab.aif")));
}

TEST_F(KitTool, InspectReadsKitsMadeElsewhere) {
    const fs::path refs = RIMBREL_REFERENCE_KITS;
    if (!fs::exists(refs / "op1_device_drumv1_tr808.aif")) GTEST_SKIP() << "reference kits absent";
    for (const char* name :
         {"op1_device_drumv1_tr808.aif", "te_drum_utility_web_808.aif", "op1field_device_stereo_20s.aif"}) {
        const ToolRun r = run("inspect '" + (refs / name).string() + "'");
        EXPECT_EQ(r.status, 0) << name << r.err;
        EXPECT_NE(r.out.find("valid Op-1 kit file"), std::string::npos) << name;
    }
}

TEST_F(KitTool, SplitOfAKitWritesTheKeysTheWindowOpens) {
    const fs::path refs = RIMBREL_REFERENCE_KITS;
    if (!fs::exists(refs / "op1_device_drumv1_tr808.aif")) GTEST_SKIP() << "reference kits absent";
    for (const char* name : {"te_drum_utility_web_808.aif", "op1field_device_stereo_20s.aif"}) {
        SCOPED_TRACE(name);
        const ToolRun r = run("split '" + (refs / name).string() + "' -o Keys.aif");
        ASSERT_EQ(r.status, 0) << r.err;
        const OpenedKit kit = openKitFile((refs / name).string());
        EXPECT_NE(r.out.find("wrote " + std::to_string(kit.keysWithAudio) + " files"), std::string::npos) << r.out;
        for (int k = 0; k < kNumKeys; ++k) {
            const KeyAudioBuffers& key = kit.keys[k].audio;
            const std::string path = file("Keys_" + std::string(k < 9 ? "0" : "") + std::to_string(k + 1) + ".aif");
            ASSERT_EQ(fs::exists(path), key.length > 0) << k;
            if (!key.length) continue;
            SF_INFO info{};
            SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
            ASSERT_NE(f, nullptr) << k;
            ASSERT_EQ(info.frames, key.length) << k;
            ASSERT_EQ(info.channels, key.channels()) << k;
            std::vector<short> frames(std::size_t(info.frames * info.channels));
            sf_readf_short(f, frames.data(), info.frames);
            sf_close(f);
            for (int32_t i = 0; i < key.length; ++i) {
                ASSERT_EQ(frames[std::size_t(i * info.channels)], short(key.left[i] * 32768.0f)) << k << " " << i;
                if (key.right) {
                    ASSERT_EQ(frames[std::size_t(i * 2 + 1)], short(key.right[i] * 32768.0f)) << k << " " << i;
                }
            }
        }
    }
}

}  // namespace
}  // namespace rimbrel
