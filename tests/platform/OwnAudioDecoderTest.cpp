// The own WAV and AIFF decoder against libsndfile: for every format it reads,
// and for files cut short or with lying headers, both must give the same
// header facts and the same frames, bit for bit, or both refuse the file.
#include "platform/Files.h"
#include "platform/SoundFileDecoder.h"
#include "platform/ownaudio/OwnAudioDecoder.h"
#include "tests/robust/RobustSupport.h"

#include "../kit/SoundFiles.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <functional>

namespace rimbrel {
namespace {

using namespace rimbrel::test;
using robust::Bytes;

struct Decoding {
    bool opened = false;
    platform::SoundFileFacts facts;
    std::vector<float> samples;  // interleaved, as read
    bool failed = false;
};

using Opener = std::function<std::unique_ptr<platform::SoundFileDecoder>(int)>;

// Reads the file in blocks of an odd size (so that blocks end inside the
// decoder's own buffering), at most maxFrames frames.
Decoding decodeWith(const Opener& open, const std::string& path, int64_t maxFrames = 1 << 20) {
    Decoding d;
    const int fd = platform::openForReading(path.c_str());
    if (fd < 0) return d;
    if (const auto decoder = open(fd)) {
        d.opened = true;
        d.facts = decoder->facts();
        const int channels = d.facts.channels;
        constexpr int64_t kBlock = 1237;
        std::vector<float> block(static_cast<std::size_t>(kBlock * channels));
        for (int64_t total = 0; total < maxFrames;) {
            const int64_t got = decoder->readFrames(block.data(), kBlock);
            if (got <= 0) break;
            d.samples.insert(d.samples.end(), block.begin(), block.begin() + got * channels);
            total += got;
        }
        d.failed = decoder->failed();
    }
    platform::closeFile(fd);
    return d;
}

Decoding withOwn(const std::string& path, int64_t maxFrames = 1 << 20) {
    return decodeWith(platform::openOwnAudioFile, path, maxFrames);
}
Decoding withLibsndfile(const std::string& path, int64_t maxFrames = 1 << 20) {
    return decodeWith(platform::openSoundFile, path, maxFrames);
}

// Both decoders agree on path: the same refusal, or the same facts and the
// same bits in every sample read (NaN payloads included).
void expectSameDecoding(const std::string& path, const std::string& what, int64_t maxFrames = 1 << 20) {
    SCOPED_TRACE(what);
    const Decoding own = withOwn(path, maxFrames);
    const Decoding reference = withLibsndfile(path, maxFrames);
    ASSERT_EQ(own.opened, reference.opened);
    if (!own.opened) return;
    EXPECT_EQ(own.facts.channels, reference.facts.channels);
    EXPECT_EQ(own.facts.sampleRate, reference.facts.sampleRate);
    EXPECT_EQ(own.facts.frames, reference.facts.frames);
    EXPECT_EQ(own.facts.recognisedHeader, reference.facts.recognisedHeader);
    EXPECT_EQ(own.failed, reference.failed);
    ASSERT_EQ(own.samples.size(), reference.samples.size());
    for (std::size_t i = 0; i < own.samples.size(); ++i) {
        if (std::memcmp(&own.samples[i], &reference.samples[i], sizeof(float)) != 0) {
            ADD_FAILURE() << "sample " << i << ": " << own.samples[i] << " against " << reference.samples[i];
            return;
        }
    }
}

// Samples that reach both ends of the scale, and beyond it for float files.
std::vector<float> testSignal(int64_t frames, int channels) {
    std::vector<float> s = ramp(frames, channels);
    const float extremes[] = {1.0f, -1.0f, 0.999f, -0.99999f, 1.5f, -3.25f, 1e-7f, 0.0f};
    for (std::size_t i = 0; i < std::size(extremes) && i < s.size(); ++i) s[i * 7 % s.size()] = extremes[i];
    return s;
}

struct NamedFormat {
    const char* name;
    int format;
};

const std::vector<NamedFormat>& formatsRead() {
    static const std::vector<NamedFormat> formats = {
        {"wav-u8", SF_FORMAT_WAV | SF_FORMAT_PCM_U8},
        {"wav-16", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"wav-24", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        {"wav-32", SF_FORMAT_WAV | SF_FORMAT_PCM_32},
        {"wav-float", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"wav-double", SF_FORMAT_WAV | SF_FORMAT_DOUBLE},
        {"wavex-u8", SF_FORMAT_WAVEX | SF_FORMAT_PCM_U8},
        {"wavex-16", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16},
        {"wavex-24", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24},
        {"wavex-32", SF_FORMAT_WAVEX | SF_FORMAT_PCM_32},
        {"wavex-float", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT},
        {"wavex-double", SF_FORMAT_WAVEX | SF_FORMAT_DOUBLE},
        {"aiff-s8", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8},
        {"aiff-u8", SF_FORMAT_AIFF | SF_FORMAT_PCM_U8},
        {"aiff-16", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
        {"aiff-24", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
        {"aiff-32", SF_FORMAT_AIFF | SF_FORMAT_PCM_32},
        {"aifc-sowt-16", SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE},
        {"aifc-sowt-24", SF_FORMAT_AIFF | SF_FORMAT_PCM_24 | SF_ENDIAN_LITTLE},
        {"aifc-sowt-32", SF_FORMAT_AIFF | SF_FORMAT_PCM_32 | SF_ENDIAN_LITTLE},
        {"aifc-fl32", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {"aifc-fl64", SF_FORMAT_AIFF | SF_FORMAT_DOUBLE},
    };
    return formats;
}

TEST(OwnAudioDecoder, ReadsEveryFormatAsLibsndfileDoes) {
    TempDir dir;
    for (const NamedFormat& f : formatsRead()) {
        for (const int channels : {1, 2, 3}) {
            for (const int rate : {44100, 22050, 96000}) {
                const std::string path = dir.file(std::string(f.name) + ".snd");
                writeSound(path, f.format, channels, rate, testSignal(30011, channels));
                const std::string what = std::string(f.name) + " " + std::to_string(channels) + " channels at " +
                                         std::to_string(rate);
                expectSameDecoding(path, what);
                EXPECT_TRUE(withOwn(path).opened) << what;
            }
        }
    }
}

Bytes madeBy(const TempDir& dir, int format, int channels, int frames) {
    return robust::soundBytes(dir.path(), format, channels, frames);
}

// The file with its AIFC float type in the other case ("fl32" for "FL32").
Bytes otherCase(Bytes b, const std::string& type) {
    std::string upper = type;
    for (char& c : upper) c = char(std::toupper(c));
    std::size_t at = b.find(type);
    if (at != Bytes::npos) return b.replace(at, 4, upper);
    at = b.find(upper);
    if (at == Bytes::npos) throw std::runtime_error("no " + type);
    return b.replace(at, 4, type);
}

// Every prefix of small files: headers cut anywhere, data cut inside a frame;
// one file of each header layout libsndfile writes.
TEST(OwnAudioDecoder, AgreesOnFilesCutAtEveryLength) {
    TempDir dir;
    for (const NamedFormat& f : formatsRead()) {
        const std::string name = f.name;
        if (name != "wav-16" && name != "wav-float" && name != "wavex-24" && name != "aiff-16" &&
            name != "aiff-u8" && name != "aifc-sowt-24" && name != "aifc-fl64")
            continue;
        const Bytes whole = madeBy(dir, f.format, 2, 9);
        for (std::size_t length = 0; length <= whole.size(); ++length) {
            const std::string path = dir.file("cut");
            robust::writeBytes(path, whole.substr(0, length));
            expectSameDecoding(path, std::string(f.name) + " cut to " + std::to_string(length));
        }
    }
}

TEST(OwnAudioDecoder, AgreesOnLyingHeaders) {
    using namespace robust;
    TempDir dir;
    WavSpec wav;
    wav.data = pcm16(1000, 1);
    const Bytes wav1000 = wavBytes(wav);
    AiffSpec aiff;
    aiff.frames = 1000;
    aiff.data = pcm16(1000, 1, true);
    const Bytes aiff1000 = aiffBytes(aiff);

    std::vector<std::pair<std::string, Bytes>> files;
    const auto add = [&files](const std::string& name, const Bytes& bytes) { files.emplace_back(name, bytes); };
    const auto wavWith = [&wav](const std::function<void(WavSpec&)>& change) {
        WavSpec s = wav;
        change(s);
        return wavBytes(s);
    };
    const auto aiffWith = [&aiff](const std::function<void(AiffSpec&)>& change) {
        AiffSpec s = aiff;
        change(s);
        return aiffBytes(s);
    };

    Bytes b = wav1000;
    setLE32(b, chunkSizeOffset(b, "data"), 0xffffffffu);
    setLE32(b, 4, 0xffffffffu);
    add("wav data of 4 GB", b);
    add("aiff of 4 billion frames", aiffWith([](AiffSpec& s) { s.frames = 0xffffffffu; }));
    add("aiff of no frames in COMM", aiffWith([](AiffSpec& s) { s.frames = 0; }));
    add("wav of no channels", wavWith([](WavSpec& s) { s.channels = 0; }));
    add("aiff of no channels", aiffWith([](AiffSpec& s) { s.channels = 0; }));
    add("wav of 1024 channels", wavWith([](WavSpec& s) {
            s.channels = 1024;
            s.data = pcm16(10, 1024);
        }));
    b = wavWith([](WavSpec& s) { s.channels = 2; });
    setLE16(b, 22, 0xffff);
    add("wav of 65535 channels", b);
    add("wav rate 0", wavWith([](WavSpec& s) { s.rate = 0; }));
    add("wav rate past int32", wavWith([](WavSpec& s) { s.rate = 0xfffffff0u; }));
    add("aiff rate 0", aiffWith([](AiffSpec& s) { s.rate = 0; }));
    add("aiff rate 22050.7", aiffWith([](AiffSpec& s) { s.rate = 22050.7; }));
    add("aiff rate 0.5", aiffWith([](AiffSpec& s) { s.rate = 0.5; }));
    b = aiff1000;
    b[chunkSizeOffset(b, "COMM") + 12] |= char(0x80);  // the rate's sign
    add("aiff rate negative", b);
    add("wav of 12 bits", wavWith([](WavSpec& s) { s.bits = 12; }));
    add("wav of 20 bits", wavWith([](WavSpec& s) { s.bits = 20; }));
    add("wav of 4 bits", wavWith([](WavSpec& s) { s.bits = 4; }));
    add("aiff of 12 bits", aiffWith([](AiffSpec& s) { s.bits = 12; }));
    add("aiff of 4 bits", aiffWith([](AiffSpec& s) { s.bits = 4; }));
    b = madeBy(dir, SF_FORMAT_AIFF | SF_FORMAT_PCM_24 | SF_ENDIAN_LITTLE, 2, 100);
    setBE16(b, chunkSizeOffset(b, "COMM") + 10, 16);  // "42n1" with a sample size of 16 bits
    add("aifc 42n1 of 16 bits", b);
    b = madeBy(dir, SF_FORMAT_AIFF | SF_FORMAT_PCM_U8, 2, 100);
    setBE16(b, chunkSizeOffset(b, "COMM") + 10, 1);
    add("aifc raw of 1 bit", b);
    setBE16(b, chunkSizeOffset(b, "COMM") + 10, 10);
    add("aifc raw of 10 bits", b);
    add("wav of format 2", wavWith([](WavSpec& s) { s.format = 2; }));
    add("wav float of 16 bits", wavWith([](WavSpec& s) { s.format = 3; }));
    add("wav list chunk past the end", wavWith([](WavSpec& s) {
            s.extraChunks = "LIST";
            putLE32(s.extraChunks, 0x7ffffff0u);
            s.extraChunks += "INFOjunk";
        }));
    b = wav1000;
    setLE32(b, chunkSizeOffset(b, "fmt "), 0xfffffff0u);
    add("wav fmt past the end", b);
    add("wav odd chunk padded", wavWith([](WavSpec& s) { s.extraChunks = Bytes("abcd\x03\0\0\0xyz\0", 12); }));
    add("aiff odd chunk padded", aiffWith([](AiffSpec& s) {
            s.extraChunks = "NAME";
            putBE32(s.extraChunks, 5);
            s.extraChunks += Bytes("kick\0\0", 6);
        }));
    add("aiff odd chunk unpadded", aiffWith([](AiffSpec& s) {
            s.extraChunks = "NAME";
            putBE32(s.extraChunks, 5);
            s.extraChunks += "kick!";
        }));
    b = aiff1000;
    setBE32(b, chunkSizeOffset(b, "SSND") + 4, 100);  // SSND offset: the sound starts 100 bytes later
    add("aiff with an SSND offset", b);
    b = aiff1000;
    setBE32(b, chunkSizeOffset(b, "SSND") + 4, 0xfffffff0u);
    add("aiff with an SSND offset past the end", b);
    add("aifc fl32 in the other case", otherCase(madeBy(dir, SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 2, 500), "fl32"));
    add("aifc fl64 in the other case", otherCase(madeBy(dir, SF_FORMAT_AIFF | SF_FORMAT_DOUBLE, 2, 500), "fl64"));
    add("text named wav", "These are my notes, not a sound.\n");
    add("RIFF of another kind", "RIFF\x10\0\0\0AVI LIST\0\0\0\0");
    add("png", pngBytes());

    for (const auto& [name, bytes] : files) {
        const std::string path = dir.file("lying");
        writeBytes(path, bytes);
        expectSameDecoding(path, name);
    }

    // A rate beyond any recording is held at some large count: libsndfile's
    // and the own decoder's differ, and both are far past what the loader
    // converts, so the file loads frame for frame either way.
    const std::string huge = dir.file("huge.aif");
    writeBytes(huge, aiffWith([](AiffSpec& s) { s.rate = 1e300; }));
    const Decoding own = withOwn(huge);
    const Decoding reference = withLibsndfile(huge);
    ASSERT_TRUE(own.opened && reference.opened);
    EXPECT_GT(own.facts.sampleRate, 768000);
    EXPECT_GT(reference.facts.sampleRate, 768000);
    EXPECT_EQ(own.samples, reference.samples);

    // A real (sparse) file of 2 GB behind an honest header: sized from the
    // header, read from the start.
    WavSpec empty;
    b = wavBytes(empty);
    const uint32_t dataBytes = 0x7ffffff0u;
    setLE32(b, chunkSizeOffset(b, "data"), dataBytes);
    setLE32(b, 4, uint32_t(b.size() - 8 + dataBytes));
    const std::string sparse = dir.file("sparse.wav");
    writeBytes(sparse, b);
    std::filesystem::resize_file(sparse, b.size() + dataBytes);
    expectSameDecoding(sparse, "sparse 2 GB", 50000);
}

// The "fmt " chunk after the sound, and a wrong RIFF size, which libsndfile
// refuses: the own decoder reads the frames it reads in the usual order.
TEST(OwnAudioDecoder, FindsChunksInAnyOrderAndReportsReadFailures) {
    using namespace robust;
    TempDir dir;
    WavSpec layout;
    layout.channels = 2;
    layout.extraChunks = Bytes("junk\x03\0\0\0abc\0", 12);
    layout.data = pcm16(300, 2);
    const Bytes usual = wavBytes(layout);
    writeBytes(dir.file("usual.wav"), usual);
    Bytes late = usual.substr(0, 12) + usual.substr(36) + usual.substr(12, 24);
    setLE32(late, 4, 4);
    writeBytes(dir.file("late.wav"), late);

    const Decoding own = withOwn(dir.file("late.wav"));
    const Decoding reference = withLibsndfile(dir.file("usual.wav"));
    ASSERT_TRUE(own.opened);
    EXPECT_EQ(own.facts.channels, 2);
    EXPECT_EQ(own.facts.frames, 300);
    EXPECT_FALSE(own.failed);
    EXPECT_EQ(own.samples, reference.samples);

    // A descriptor that can no longer be read: a failure, not an end.
    const int fd = platform::openForReading(dir.file("late.wav").c_str());
    ASSERT_GE(fd, 0);
    const auto decoder = platform::openOwnAudioFile(fd);
    ASSERT_NE(decoder, nullptr);
    platform::closeFile(fd);
    std::vector<float> out(600);
    EXPECT_EQ(decoder->readFrames(out.data(), 300), 0);
    EXPECT_TRUE(decoder->failed());
}

}  // namespace
}  // namespace rimbrel
