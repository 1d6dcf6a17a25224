// Files a user could drop that are broken, lying, strange or not sound at
// all. Each goes through the window's drop handling (HandleDragDrop on key
// 5's name label, as the toolkit calls it) and through loadKeyFile, and must
// end the way a user expects: loaded, refused silently, or refused with the
// loader's own diagnostic lines - never a crash or a hang, and a refusal
// leaves the kit exactly as it was, names included.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cinttypes>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "RobustSupport.h"
#include "kit/Loader.h"
#include "tests/editor/EditorTestSupport.h"

namespace rimbrel::robust {
namespace {

namespace fs = std::filesystem;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

constexpr auto kHangLimit = std::chrono::seconds(20);
constexpr int kTarget = 5;  // the key whose name label receives the drops
const std::string kTag = "[Rimbrel-VST] ";
const std::string kBeginLine = "[Rimbrel-VST] \n HandleDragDrop begin !\n";

// What a user sees after dropping the file.
enum class Outcome {
    Loaded,            // the key holds the file's audio, length `frames`
    LoadedCut,         // longer than a key: the 617-03 line for `frames`, then 529199 frames
    NotSound,          // refused silently by a drop; the loader alone opens it, finds no sound
                       // and says so
    NotOpenable,       // refused silently; the loader alone cannot even open it
    RefusedWithALine,  // taken, but the loader refuses it with a line saying why (too many
                       // `channels`, or no sound in it): the key keeps its audio and name
    ReadFailure,       // taken, the decode fails: "failure reading file.. n" with n = frames - 3;
                       // the key keeps its audio and name
    PathTooLong,       // a sound file whose path does not fit a stored path: one line
};

struct BadInput {
    const char* name;
    // Makes the item in the folder and returns the path a drop carries.
    std::function<std::string(const fs::path& dir)> make;
    Outcome outcome;
    int64_t frames = 0;
    // Checked on the key after a load (may be empty).
    std::function<void(const float* key)> checkKey = {};
    bool needsUnprivileged = false;
    int channels = 0;  // RefusedWithALine: the channel count refused (0: no sound at all)
};

std::ostream& operator<<(std::ostream& os, const BadInput& c) { return os << c.name; }

std::string put(const fs::path& dir, const std::string& name, const Bytes& bytes) {
    writeBytes(dir / name, bytes);
    return (dir / name).string();
}

Bytes cut(Bytes b, std::size_t length) {
    b.resize(std::min(b.size(), length));
    return b;
}

WavSpec monoWav(int frames) {
    WavSpec s;
    s.data = pcm16(frames, 1);
    return s;
}

Bytes channelsWav(int channels, int frames = 1000) {
    WavSpec s;
    s.channels = uint16_t(channels);
    s.data = pcm16(frames, channels);
    return wavBytes(s);
}

AiffSpec monoAiff(int frames) {
    AiffSpec s;
    s.frames = uint32_t(frames);
    s.data = pcm16(frames, 1, true);
    return s;
}

Bytes flacOf(const fs::path& dir, int frames) { return soundBytes(dir, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, frames); }
Bytes oggOf(const fs::path& dir, int frames) { return soundBytes(dir, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, frames); }

// A path of about 4000 bytes naming a real sound file.
std::string deepPath(const fs::path& dir) {
    fs::path p = dir;
    while (p.string().size() + 101 <= 3850) p /= std::string(100, 'd');
    fs::create_directories(p);
    const fs::path file = p / (std::string(4000 - p.string().size() - 1 - 4, 'n') + ".wav");
    writeBytes(file, wavBytes(monoWav(1000)));
    return file.string();
}

void expectAllWithin(const float* key, float bound) {
    for (int i = 0; i < kMaxKeyFrames; ++i) {
        if (!(std::fabs(key[i]) <= bound)) {
            ADD_FAILURE() << "position " << i << " holds " << key[i];
            return;
        }
    }
}

std::vector<BadInput> corpus() {
    std::vector<BadInput> c;
    auto file = [](const char* name, std::function<Bytes(const fs::path&)> bytes) {
        return [name, bytes](const fs::path& dir) { return put(dir, name, bytes(dir)); };
    };
    auto fixed = [&file](const char* name, Bytes bytes) {
        return file(name, [bytes](const fs::path&) { return bytes; });
    };
    const Bytes wav1000 = wavBytes(monoWav(1000));
    const Bytes aiff1000 = aiffBytes(monoAiff(1000));

    // ---- a plain file first, to show what "loaded" means ----
    c.push_back({"PlainMonoWav", fixed("plain.wav", wav1000), Outcome::Loaded, 1000});

    // ---- nothing at all ----
    c.push_back({"EmptyWav", fixed("empty.wav", ""), Outcome::NotSound});
    c.push_back({"EmptyAiff", fixed("empty.aif", ""), Outcome::NotSound});
    c.push_back({"EmptyFlac", fixed("empty.flac", ""), Outcome::NotSound});
    c.push_back({"EmptyOgg", fixed("empty.ogg", ""), Outcome::NotSound});

    // ---- cut short ----
    c.push_back({"WavCutInRiffHeader", fixed("cut8.wav", cut(wav1000, 8)), Outcome::NotSound});
    c.push_back({"WavCutInFmtChunk", fixed("cut30.wav", cut(wav1000, 30)), Outcome::NotSound});
    // The data chunk's header is complete but no frame follows it.
    c.push_back({"WavCutAfterDataHeader", fixed("cut44.wav", cut(wav1000, 44)), Outcome::Loaded, 1});
    // Half a frame at the end is not a frame.
    c.push_back({"WavCutInData", fixed("cut1045.wav", cut(wav1000, 44 + 1001)), Outcome::Loaded, 500});
    c.push_back({"AiffCutInComm", fixed("cut20.aif", cut(aiff1000, 20)), Outcome::NotSound});
    // The sound chunk's header is cut: a sound of no frames, which makes a
    // silent key of one frame (as any file of 5 frames or fewer does).
    c.push_back({"AiffCutInSsndHeader", fixed("cut50.aif", cut(aiff1000, 50)), Outcome::Loaded, 1});
    c.push_back({"AiffCutInData", fixed("cut1000.aif", cut(aiff1000, 54 + 601)), Outcome::Loaded, 300});
    c.push_back({"FlacCutInStreamInfo", file("cut.flac", [](const fs::path& d) { return cut(flacOf(d, 20000), 20); }),
                 Outcome::NotSound});
    c.push_back({"FlacCutInFrames",
                 file("cut3.flac", [](const fs::path& d) { Bytes b = flacOf(d, 20000); return cut(b, b.size() / 3); }),
                 Outcome::ReadFailure, 20000});
    c.push_back({"OggCutInHeaders", file("cut.ogg", [](const fs::path& d) { return cut(oggOf(d, 20000), 200); }),
                 Outcome::NotSound});
    c.push_back({"OggCutInAudio",
                 file("cut2.ogg", [](const fs::path& d) { Bytes b = oggOf(d, 44100); return cut(b, b.size() / 2); }),
                 Outcome::NotSound});

    // ---- headers that claim far more than the file holds ----
    c.push_back({"WavDataClaimsFourGigabytes", file("claims4g.wav", [wav1000](const fs::path&) {
                     Bytes b = wav1000;
                     setLE32(b, chunkSizeOffset(b, "data"), 0xffffffffu);
                     setLE32(b, 4, 0xffffffffu);
                     return b;
                 }),
                 Outcome::Loaded, 1000});
    c.push_back({"AiffCommClaimsFourBillionFrames", file("claims4g.aif", [](const fs::path&) {
                     AiffSpec s = monoAiff(1000);
                     s.frames = 0xffffffffu;
                     return aiffBytes(s);
                 }),
                 Outcome::Loaded, 1000});
    // A real (sparse) file of 2 GB behind a header that tells the truth:
    // the key takes its first 12 s and memory stays bounded.
    c.push_back({"SparseTwoGigabyteWav",
                 [](const fs::path& dir) {
                     WavSpec s = monoWav(0);
                     Bytes b = wavBytes(s);
                     const uint32_t dataBytes = 0x7ffffff0u;
                     setLE32(b, chunkSizeOffset(b, "data"), dataBytes);
                     setLE32(b, 4, uint32_t(b.size() - 8 + dataBytes));
                     const std::string path = put(dir, "sparse.wav", b);
                     fs::resize_file(path, b.size() + dataBytes);
                     return path;
                 },
                 Outcome::LoadedCut, 0x7ffffff0 / 2});

    // ---- channels ----
    c.push_back({"ZeroChannelWav", fixed("ch0.wav", channelsWav(0)), Outcome::NotSound});
    c.push_back({"ZeroChannelAiff", file("ch0.aif", [](const fs::path&) {
                     AiffSpec s = monoAiff(100);
                     s.channels = 0;
                     return aiffBytes(s);
                 }),
                 Outcome::NotSound});
    c.push_back({"OneChannelWav", fixed("ch1.wav", channelsWav(1)), Outcome::Loaded, 1000});
    c.push_back({"TwoChannelWav", fixed("ch2.wav", channelsWav(2)), Outcome::Loaded, 1000});
    for (int ch = 3; ch <= 8; ++ch) {
        static const char* names[] = {"", "", "", "ThreeChannelWav", "FourChannelWav", "FiveChannelWav",
                                      "SixChannelWav", "SevenChannelWav", "EightChannelWav"};
        static const char* files[] = {"", "", "", "ch3.wav", "ch4.wav", "ch5.wav", "ch6.wav", "ch7.wav", "ch8.wav"};
        c.push_back({names[ch], fixed(files[ch], channelsWav(ch)), Outcome::RefusedWithALine, 0, {}, false, ch});
    }

    c.push_back({"ThousandChannelWav", fixed("ch1024.wav", channelsWav(1024, 10)), Outcome::RefusedWithALine, 0, {}, false, 1024});
    c.push_back({"ChannelCountBeyondTheLibraryWav", file("ch65535.wav", [](const fs::path&) {
                     Bytes b = channelsWav(2, 100);
                     setLE16(b, 22, 0xffff);  // fmt channels
                     return b;
                 }),
                 Outcome::NotSound});

    // ---- sample rates no recording has: taken frame for frame ----
    c.push_back({"RateOfOneHertzWav", file("rate1.wav", [](const fs::path&) {
                     WavSpec s = monoWav(1000);
                     s.rate = 1;
                     return wavBytes(s);
                 }),
                 Outcome::Loaded, 1000});
    c.push_back({"HugeRateWav", file("rate2g.wav", [](const fs::path&) {
                     WavSpec s = monoWav(1000);
                     s.rate = 2000000000u;
                     return wavBytes(s);
                 }),
                 Outcome::Loaded, 1000});
    // A rate beyond what a signed 32-bit count holds reads as negative.
    c.push_back({"RateBeyondInt32Wav", file("rate4g.wav", [](const fs::path&) {
                     WavSpec s = monoWav(1000);
                     s.rate = 0xfffffff0u;
                     return wavBytes(s);
                 }),
                 Outcome::NotSound});
    c.push_back({"HugeRateAiff", file("rate1e300.aif", [](const fs::path&) {
                     AiffSpec s = monoAiff(1000);
                     s.rate = 1e300;
                     return aiffBytes(s);
                 }),
                 Outcome::Loaded, 1000});
    c.push_back({"ZeroRateWav", file("rate0.wav", [](const fs::path&) {
                     WavSpec s = monoWav(1000);
                     s.rate = 0;
                     return wavBytes(s);
                 }),
                 Outcome::NotSound});

    // ---- sample values no sound has ----
    c.push_back({"NanAndInfinityFloatWav", file("nan.wav", [](const fs::path&) {
                     const float inf = std::numeric_limits<float>::infinity();
                     const float nan = std::numeric_limits<float>::quiet_NaN();
                     std::vector<float> v;
                     for (int i = 0; i < 1000; ++i) {
                         const float pick[] = {nan, inf, -inf, 1e30f, -1e30f, 1e-40f, -nan, 0.5f};
                         v.push_back(pick[i % 8]);
                     }
                     WavSpec s;
                     s.format = 3;
                     s.bits = 32;
                     s.data = float32(v);
                     return wavBytes(s);
                 }),
                 Outcome::Loaded, 1000, [](const float* key) { expectAllWithin(key, 1.0f); }});
    c.push_back({"NanStereoFloatWav", file("nan2.wav", [](const fs::path&) {
                     std::vector<float> v(2000, std::numeric_limits<float>::quiet_NaN());
                     for (std::size_t i = 1; i < v.size(); i += 2) v[i] = std::numeric_limits<float>::infinity();
                     WavSpec s;
                     s.format = 3;
                     s.bits = 32;
                     s.channels = 2;
                     s.data = float32(v);
                     return wavBytes(s);
                 }),
                 Outcome::Loaded, 1000, [](const float* key) { expectAllWithin(key, 1.0f); }});

    c.push_back({"NanAndInfinityDoubleWav", file("nan64.wav", [](const fs::path&) {
                     Bytes data;
                     const double pick[] = {std::numeric_limits<double>::quiet_NaN(),
                                            std::numeric_limits<double>::infinity(),
                                            -std::numeric_limits<double>::infinity(), 1e300, -1e300, 0.25};
                     for (int i = 0; i < 1000; ++i) {
                         uint64_t u;
                         std::memcpy(&u, &pick[i % 6], 8);
                         putLE32(data, uint32_t(u));
                         putLE32(data, uint32_t(u >> 32));
                     }
                     WavSpec s;
                     s.format = 3;
                     s.bits = 64;
                     s.data = data;
                     return wavBytes(s);
                 }),
                 Outcome::Loaded, 1000, [](const float* key) { expectAllWithin(key, 1.0f); }});

    // ---- chunks that lie about their size ----
    c.push_back({"WavChunkSizePastTheEnd", file("listpast.wav", [](const fs::path&) {
                     WavSpec s = monoWav(1000);
                     s.extraChunks = "LIST";
                     putLE32(s.extraChunks, 0x7ffffff0u);
                     s.extraChunks += "INFOjunk";
                     return wavBytes(s);
                 }),
                 Outcome::NotSound});
    c.push_back({"WavFmtChunkSizePastTheEnd", file("fmtpast.wav", [wav1000](const fs::path&) {
                     Bytes b = wav1000;
                     setLE32(b, chunkSizeOffset(b, "fmt "), 0xfffffff0u);
                     return b;
                 }),
                 Outcome::NotSound});
    c.push_back({"AiffOddChunkPadded", file("oddpad.aif", [](const fs::path&) {
                     AiffSpec s = monoAiff(1000);
                     s.extraChunks = "NAME";
                     putBE32(s.extraChunks, 5);
                     s.extraChunks += std::string("kick\0\0", 6);  // 5 bytes and the pad byte
                     return aiffBytes(s);
                 }),
                 Outcome::Loaded, 1000});
    c.push_back({"AiffOddChunkUnpadded", file("oddnopad.aif", [](const fs::path&) {
                     AiffSpec s = monoAiff(1000);
                     s.extraChunks = "NAME";
                     putBE32(s.extraChunks, 5);
                     s.extraChunks += "kick!";  // no pad byte: SSND starts one byte early
                     return aiffBytes(s);
                 }),
                 Outcome::NotSound});

    // ---- not sound at all, whatever the name says ----
    c.push_back({"TextNamedWav", fixed("notes.wav", "These are my notes, not a sound.\n"), Outcome::NotSound});
    c.push_back({"PngNamedWav", fixed("picture.wav", pngBytes()), Outcome::NotSound});
    c.push_back({"PngNamedAiff", fixed("picture.aif", pngBytes()), Outcome::NotSound});
    c.push_back({"CatTextNamedWav", fixed("cat.wav", "CAT file listing\n"), Outcome::NotSound});
    c.push_back({"HeaderlessPcm", fixed("raw.pcm", pcm16(1000, 1)), Outcome::NotSound});
    // "op-1" where an exported kit has its signature: taken without asking
    // the library, which then cannot read it.
    c.push_back({"FakeKitSignature", fixed("fake.aif", std::string(46, 'x') + "op-1 and then nothing of a kit"),
                 Outcome::RefusedWithALine});

    // ---- things that are not regular files ----
    c.push_back({"FolderNamedWav",
                 [](const fs::path& dir) {
                     fs::create_directory(dir / "x.wav");
                     return (dir / "x.wav").string();
                 },
                 Outcome::NotOpenable});
    c.push_back({"Fifo",
                 [](const fs::path& dir) {
                     const std::string p = (dir / "pipe.wav").string();
                     if (::mkfifo(p.c_str(), 0600) != 0) throw std::runtime_error("mkfifo");
                     return p;
                 },
                 Outcome::NotOpenable});
    c.push_back({"UnixSocket",
                 [](const fs::path& dir) {
                     const std::string p = (dir / "sock.wav").string();
                     const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
                     sockaddr_un a{};
                     a.sun_family = AF_UNIX;
                     std::snprintf(a.sun_path, sizeof a.sun_path, "%s", p.c_str());
                     const int r = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
                     ::close(s);
                     if (r != 0) throw std::runtime_error("bind");
                     return p;
                 },
                 Outcome::NotOpenable});
    c.push_back({"LinkToDevZero",
                 [](const fs::path& dir) {
                     fs::create_symlink("/dev/zero", dir / "zero.wav");
                     return (dir / "zero.wav").string();
                 },
                 Outcome::NotOpenable});
    c.push_back({"UnreadableFile",
                 [wav1000](const fs::path& dir) {
                     const std::string p = put(dir, "locked.wav", wav1000);
                     fs::permissions(p, fs::perms::none);
                     return p;
                 },
                 Outcome::NotOpenable,
                 0,
                 {},
                 true});
    c.push_back({"BrokenLink",
                 [](const fs::path& dir) {
                     fs::create_symlink(dir / "gone.wav", dir / "broken.wav");
                     return (dir / "broken.wav").string();
                 },
                 Outcome::NotOpenable});
    c.push_back({"LinkToItself",
                 [](const fs::path& dir) {
                     fs::create_symlink(dir / "loop.wav", dir / "loop.wav");
                     return (dir / "loop.wav").string();
                 },
                 Outcome::NotOpenable});
    c.push_back({"MissingFile", [](const fs::path& dir) { return (dir / "never-was.wav").string(); },
                 Outcome::NotOpenable});
    c.push_back({"LinkToASound",
                 [wav1000](const fs::path& dir) {
                     put(dir, "real.wav", wav1000);
                     fs::create_symlink(dir / "real.wav", dir / "alias.wav");
                     return (dir / "alias.wav").string();
                 },
                 Outcome::Loaded, 1000});

    // ---- names ----
    c.push_back({"PathOf4000Bytes", deepPath, Outcome::PathTooLong});
    c.push_back({"NameNotUtf8", fixed("\xff\xfe bad \xc3(.wav", wav1000), Outcome::Loaded, 1000});
    c.push_back({"NameOfOnlyAnExtension", fixed(".wav", wav1000), Outcome::Loaded, 1000});

    return c;
}

// The diagnostics of the loader proper, from its first line on.
std::string openedLines(const std::string& path, int fd) {
    return kTag + " DoXPlatLoadStuff " + path + ", 1, " + std::to_string(fd) + ", " + std::to_string(kTarget) +
           "\n" + kTag + "defines\n";
}

std::string successTail() {
    return kTag + "pre-read\n" + kTag + "pre-mycalcs\n" + kTag + "pre-close\n" + kTag + "pre-free\n" + kTag +
           "pre-Finish/Op1\n" + kTag + "All done here!\n";
}

// Why the loader refused a file it opened.
std::string refusalLine(int channels) {
    if (channels == 0) return kTag + "\n not a sound file libsndfile reads, key " + std::to_string(kTarget) + " unchanged\n";
    return kTag + "\n " + std::to_string(channels) + " channels: a key takes mono or stereo files, key " +
           std::to_string(kTarget) + " unchanged\n";
}

std::string cutLine(int64_t frames) {
    char line[160];
    std::snprintf(line, sizeof line, "[Rimbrel-VST] \n Rimbrel err 617-03: frames %" PRId64 " is too long for allocation!! \n", frames);
    return line;
}

// The whole stderr of a load of path (fd: the descriptor it gets).
std::string expectedLoadLines(const BadInput& c, const std::string& path, int fd, bool throughDrop) {
    switch (c.outcome) {
        case Outcome::Loaded: return openedLines(path, fd) + successTail();
        case Outcome::LoadedCut: return openedLines(path, fd) + cutLine(c.frames) + successTail();
        case Outcome::NotSound: return throughDrop ? "" : openedLines(path, fd) + refusalLine(0);
        case Outcome::NotOpenable: return "";
        case Outcome::RefusedWithALine: return openedLines(path, fd) + refusalLine(c.channels);
        case Outcome::ReadFailure:
            return openedLines(path, fd) + kTag + "pre-read\n" + kTag + "\n failure reading file.. " +
                   std::to_string(c.frames - 3) + "\n";
        case Outcome::PathTooLong: return kTag + "path too long: " + path + "\n";
    }
    return "?";
}

// The kit as it was before a drop: the three keys around the target hold
// audio and names; the rest are empty.
struct KitCopy {
    std::vector<float> samples;
    std::vector<int32_t> lengths;
    std::vector<std::string> names;
};

class BadInputTest : public test::EditorTest, public testing::WithParamInterface<BadInput> {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        if (GetParam().needsUnprivileged && ::geteuid() == 0)
            GTEST_SKIP() << "permissions do not bind the super-user";
        for (int k = kTarget - 1; k <= kTarget + 1; ++k) {
            fillKey(k, 3000 + k, "/samples/before-" + std::to_string(k) + ".wav", 0.125f * float(k - 3));
            effect->kit.keySamples[k][17] = -0.75f;
        }
        item = GetParam().make(scratch.path());
    }

    KitCopy copyKit() {
        KitCopy c;
        for (int k = 0; k < kNumKeys; ++k) {
            const std::vector<float> mix = test::keyMix(kit(), k);
            c.samples.insert(c.samples.end(), mix.begin(), mix.begin() + kMaxKeyFrames);
        }
        c.lengths.assign(kit().keyLength, kit().keyLength + kNumKeys);
        for (int k = 0; k < kNumKeys; ++k) c.names.emplace_back(editor->keyNames[k]);
        return c;
    }

    // Every key's audio, length and name as in `before`, except `except`'s
    // (audio and length) and `exceptName`'s (name).
    void expectKitAsBefore(const KitCopy& before, int except, int exceptName) {
        for (int k = 0; k < kNumKeys; ++k) {
            if (k != except) {
                EXPECT_EQ(kit().keyLength[k], before.lengths[k]) << "key " << k;
                EXPECT_EQ(std::memcmp(test::keyMix(kit(), k).data(), &before.samples[std::size_t(k) * kMaxKeyFrames],
                                      kMaxKeyFrames * sizeof(float)),
                          0)
                    << "audio of key " << k << " changed";
            }
            if (k != exceptName) {
                EXPECT_EQ(std::string(editor->keyNames[k]), before.names[k]) << "key " << k;
            }
        }
    }

    // Plays the target key through the effect for a few blocks: the output
    // stays finite and within what 4x volume can give.
    void expectKeyPlaysSanely() {
        std::vector<float> in(512, 0.f), out1(512), out2(512);
        float* inputs[2] = {in.data(), in.data()};
        float* outputs[2] = {out1.data(), out2.data()};
        VstMidiEvent on{};
        on.type = kVstMidiType;
        on.byteSize = sizeof on;
        on.midiData[0] = char(0x90);
        on.midiData[1] = char(kFirstKeyNote + kTarget);
        on.midiData[2] = 100;
        VstEvents events{};
        events.numEvents = 1;
        events.events[0] = reinterpret_cast<VstEvent*>(&on);
        effect->resume();
        effect->processEvents(&events);
        for (int block = 0; block < 8; ++block) {
            effect->processReplacing(inputs, outputs, 512);
            for (int i = 0; i < 512; ++i) {
                ASSERT_TRUE(std::isfinite(out1[i]) && std::fabs(out1[i]) <= 4.0f) << out1[i];
                ASSERT_TRUE(std::isfinite(out2[i]) && std::fabs(out2[i]) <= 4.0f) << out2[i];
            }
        }
    }

    void expectOutcome(const KitCopy& before, bool throughDrop) {
        const BadInput& c = GetParam();
        switch (c.outcome) {
            case Outcome::Loaded:
            case Outcome::LoadedCut: {
                const int64_t length = c.outcome == Outcome::Loaded ? c.frames : kMaxKeyFrames - 1;
                EXPECT_EQ(kit().keyLength[kTarget], length);
                const std::vector<float> mix = test::keyMix(kit(), kTarget);
                expectAllWithin(mix.data(), 1.0f);
                if (c.checkKey) c.checkKey(mix.data());
                expectKitAsBefore(before, kTarget, throughDrop ? kTarget : -1);
                expectKeyPlaysSanely();
                break;
            }
            case Outcome::NotSound:
            case Outcome::NotOpenable:
            case Outcome::PathTooLong:
            case Outcome::RefusedWithALine:
            case Outcome::ReadFailure: expectKitAsBefore(before, -1, -1); break;
        }
        const bool named = throughDrop && (c.outcome == Outcome::Loaded || c.outcome == Outcome::LoadedCut);
        if (named) {
            EXPECT_EQ(std::string(editor->keyNames[kTarget]), item);
        }
        EXPECT_TRUE(editor->isEditorOpen());
    }

    Scratch scratch{"bad-inputs"};
    std::string item;
};

TEST_P(BadInputTest, DroppedOnAKey) {
    const KitCopy before = copyKit();
    auto* drag = gui::CItemDragContainer::fromPaths({item});
    const int descriptorsBefore = openDescriptors();
    CaptureStderr();
    const int fd = nextDescriptor();
    {
        Watchdog watchdog(std::string("drop of ") + GetParam().name, kHangLimit);
        ui->dragEnter(drag, labelX(0.5), labelY(kTarget));
        ui->drop(drag, labelX(0.5), labelY(kTarget));
    }
    const std::string err = GetCapturedStderr();
    drag->forget();
    EXPECT_EQ(err, kBeginLine + expectedLoadLines(GetParam(), item, fd, true));
    EXPECT_EQ(openDescriptors(), descriptorsBefore) << "a descriptor was left open";
    expectOutcome(before, true);
    // The window draws whatever the key is now called.
    ui->render();
    EXPECT_EQ(editor->getNameLabel(kTarget)->hasName, true);
}

TEST_P(BadInputTest, LoadedByPath) {
    const KitCopy before = copyKit();
    const int descriptorsBefore = openDescriptors();
    CaptureStderr();
    const int fd = nextDescriptor();
    {
        Watchdog watchdog(std::string("load of ") + GetParam().name, kHangLimit);
        loadKeyFile(kit(), item.c_str(), kTarget, editor);
    }
    const std::string err = GetCapturedStderr();
    EXPECT_EQ(err, expectedLoadLines(GetParam(), item, fd, false));
    EXPECT_EQ(openDescriptors(), descriptorsBefore) << "a descriptor was left open";
    expectOutcome(before, false);
}

TEST_P(BadInputTest, HoveredOverAKey) {
    // The hover examines the item as the drop will, without loading it.
    const KitCopy before = copyKit();
    auto* drag = gui::CItemDragContainer::fromPaths({item});
    CaptureStderr();
    {
        Watchdog watchdog(std::string("hover of ") + GetParam().name, kHangLimit);
        ui->dragEnter(drag, labelX(0.5), labelY(kTarget));
    }
    const std::string err = GetCapturedStderr();
    const Outcome o = GetParam().outcome;
    const bool taken = o == Outcome::Loaded || o == Outcome::LoadedCut || o == Outcome::RefusedWithALine ||
                       o == Outcome::ReadFailure;
    EXPECT_EQ(editor->getNameLabel(kTarget)->dropHighlight, taken);
    EXPECT_EQ(err, "");
    ui->dragLeave(drag, labelX(0.5), labelY(kTarget));
    drag->forget();
    expectKitAsBefore(before, -1, -1);
}

INSTANTIATE_TEST_SUITE_P(Corpus, BadInputTest, testing::ValuesIn(corpus()),
                         [](const testing::TestParamInfo<BadInput>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace rimbrel::robust
