// The kit file reader: real kits made elsewhere, the program's own exports,
// and files whose sizes or description lie.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "FormatsTestSupport.h"
#include "formats/AiffWriter.h"
#include "formats/KitExport.h"
#include "formats/KitFileReader.h"

namespace rimbrel {
namespace {

using test::ScratchDir;
using test::TestKit;

std::string referenceKit(const char* name) {
    const std::filesystem::path p = std::filesystem::path(RIMBREL_REFERENCE_KITS) / name;
    return std::filesystem::exists(p) ? p.string() : std::string();
}

#define REFERENCE_KIT(var, name)                \
    const std::string var = referenceKit(name); \
    if (var.empty()) GTEST_SKIP() << "reference kit " << name << " absent"

std::string joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) s += l + "\n";
    return s;
}

TEST(KitFileReader, DeviceKitOfTheFirstDrumVersion) {
    REFERENCE_KIT(path, "op1_device_drumv1_tr808.aif");
    std::vector<uint8_t> bytes;
    const KitFile f = readKitFile(path, &bytes);
    EXPECT_TRUE(f.valid()) << joined(f.errors);
    EXPECT_TRUE(f.aifc);
    EXPECT_EQ(f.compression, "sowt");
    EXPECT_TRUE(f.littleEndian);
    EXPECT_EQ(f.channels, 1);
    EXPECT_EQ(f.bits, 16);
    EXPECT_EQ(f.frames, 463364u);
    EXPECT_DOUBLE_EQ(f.sampleRate, 44100.0);
    ASSERT_EQ(f.chunks.size(), 4u);
    EXPECT_EQ(f.chunks[0].id, "FVER");
    EXPECT_EQ(f.chunks[3].id, "SSND");
    const KitFileDescription& d = f.description;
    EXPECT_TRUE(d.parsed);
    EXPECT_EQ(d.drumVersion, 1);
    EXPECT_EQ(d.name, "tr808");
    EXPECT_EQ(d.text.back(), '}');  // the trailing line feed is not part of the JSON
    EXPECT_EQ(d.start[1], 57521883);
    EXPECT_EQ(d.end[0], 57517825);
    EXPECT_EQ(d.pitch[20], -6400);
    EXPECT_EQ(d.volume[11], 12002);
    EXPECT_DOUBLE_EQ(f.positionScaleFrames(), 529200.0);
    // Each key ends one frame before the next begins.
    for (int k = 0; k + 1 < 24; ++k)
        EXPECT_EQ(positionToFrame(d.end[k], 529200.0) + 1, positionToFrame(d.start[k + 1], 529200.0)) << k;
    std::vector<float> mono;
    EXPECT_TRUE(decodeKitFileFrames(f, bytes.data(), bytes.size(), mono));
    EXPECT_EQ(mono.size(), 463364u);
}

TEST(KitFileReader, WebToolKitWithATrailingNul) {
    REFERENCE_KIT(path, "te_drum_utility_web_808.aif");
    const KitFile f = readKitFile(path);
    EXPECT_TRUE(f.valid()) << joined(f.errors);
    EXPECT_EQ(f.description.drumVersion, 2);
    EXPECT_TRUE(f.description.parsed);
    EXPECT_EQ(f.description.text.back(), '}');
    for (int k = 0; k < 24; ++k) EXPECT_EQ(f.description.start[k] % 4096, 0) << k;
}

TEST(KitFileReader, StereoKitOnTheTwentySecondScale) {
    REFERENCE_KIT(path, "op1field_device_stereo_20s.aif");
    std::vector<uint8_t> bytes;
    const KitFile f = readKitFile(path, &bytes);
    EXPECT_TRUE(f.valid()) << joined(f.errors);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.frames, 881996u);
    EXPECT_TRUE(f.description.stereo);
    EXPECT_EQ(f.description.drumVersion, 2);
    EXPECT_DOUBLE_EQ(f.positionScaleFrames(), 882000.0);
    EXPECT_LE(positionToFrame(*std::max_element(f.description.end.begin(), f.description.end.end()), 882000.0),
              881996.0);
    std::vector<float> mono;
    EXPECT_TRUE(decodeKitFileFrames(f, bytes.data(), bytes.size(), mono));
    EXPECT_EQ(mono.size(), 881996u);
}

// A kit exported by the program, as bytes.
std::vector<uint8_t> exportedKit(ScratchDir& dir, TestKit& kit) {
    const std::string path = dir.file("own.aif");
    testing::internal::CaptureStderr();
    EXPECT_EQ(exportKit(path.c_str(), kit.input()), ExportResult::Written);
    testing::internal::GetCapturedStderr();
    return test::readBytes(path);
}

TEST(KitFileReader, ReadsTheProgramsOwnExport) {
    ScratchDir dir;
    TestKit kit;
    kit.setKey(0, 500);
    kit.setKey(1, 300);
    kit.in.pitch[1] = 0.0f;
    const auto bytes = exportedKit(dir, kit);
    const KitFile f = parseKitFile(bytes.data(), bytes.size());
    EXPECT_TRUE(f.valid()) << joined(f.errors);
    EXPECT_TRUE(f.warnings.empty()) << joined(f.warnings);
    EXPECT_FALSE(f.aifc);
    EXPECT_EQ(f.compression, "NONE");
    EXPECT_EQ(f.frames, 798u);
    EXPECT_EQ(f.description.drumVersion, 1);
    EXPECT_EQ(f.description.pitch[1], -24320);
    EXPECT_EQ(positionToFrame(f.description.start[1], 529200.0), 499.0);
    EXPECT_EQ(positionToFrame(f.description.end[1], 529200.0), 797.0);
    std::vector<float> mono;
    ASSERT_TRUE(decodeKitFileFrames(f, bytes.data(), bytes.size(), mono));
    EXPECT_FLOAT_EQ(mono[499], test::testSample(1, 0));
    ASSERT_EQ(f.chunks.size(), 5u);
    EXPECT_EQ(f.chunks[1].id, "APPL");
}

// Builds an IFF file from chunks given in order.
std::vector<uint8_t> iff(const char* formType, const std::vector<std::pair<std::string, std::string>>& chunks) {
    std::vector<uint8_t> b = {'F', 'O', 'R', 'M', 0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(formType[i]));
    for (const auto& [id, body] : chunks) {
        b.insert(b.end(), id.begin(), id.end());
        const uint32_t n = uint32_t(body.size());
        for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(n >> s));
        b.insert(b.end(), body.begin(), body.end());
        if (n & 1) b.push_back(0);
    }
    const uint32_t form = uint32_t(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[4 + std::size_t(i)] = uint8_t(form >> (24 - 8 * i));
    return b;
}

std::string common(uint32_t frames, const char* compression = nullptr) {
    std::string c = {0, 1, char(frames >> 24), char(frames >> 16), char(frames >> 8), char(frames), 0, 16,
                     0x40, 0x0E, char(0xAC), 0x44, 0, 0, 0, 0, 0, 0};
    if (compression) c += std::string(compression, 4) + '\0';
    return c;
}

std::string sound(const std::string& samples) { return std::string(8, '\0') + samples; }

const std::string kDescription =
    "op-1{\"drum_version\":2,\"type\":\"drum\",\"start\":[" + std::string("0") +
    ",1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23],\"end\":[4057,1,2,3,4,5,6,7,8,9,10,11,12,13,14,"
    "15,16,17,18,19,20,21,22,23]}";

TEST(KitFileReader, OtherChunkOrdersAndOddSizedChunks) {
    const auto bytes = iff("AIFC", {{"SSND", sound(std::string("\x01\x02\x03\x04", 4))},
                                    {"NAME", "odd"},  // odd size: one pad byte follows
                                    {"APPL", kDescription + std::string(3, '\0')},
                                    {"COMM", common(2, "sowt")}});
    const KitFile f = parseKitFile(bytes.data(), bytes.size());
    EXPECT_TRUE(f.valid()) << joined(f.errors);
    ASSERT_EQ(f.chunks.size(), 4u);
    EXPECT_EQ(f.chunks[2].id, "APPL");
    EXPECT_EQ(f.chunks[2].offset, 12u + 8 + 12 + 8 + 3 + 1);
    std::vector<float> mono;
    ASSERT_TRUE(decodeKitFileFrames(f, bytes.data(), bytes.size(), mono));
    EXPECT_FLOAT_EQ(mono[0], float(0x0201) / 32768.0f);  // little-endian samples
}

TEST(KitFileReader, StructuralFaultsAreReported) {
    const auto good = iff("AIFF", {{"COMM", common(2)}, {"APPL", kDescription}, {"SSND", sound("abcd")}});
    ASSERT_TRUE(parseKitFile(good.data(), good.size()).valid());

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* error;
    };
    std::vector<Case> cases;
    cases.push_back({"no COMM", iff("AIFF", {{"APPL", kDescription}, {"SSND", sound("abcd")}}), "no COMM"});
    cases.push_back({"no SSND", iff("AIFF", {{"COMM", common(2)}, {"APPL", kDescription}}), "no SSND"});
    cases.push_back({"no description", iff("AIFF", {{"COMM", common(2)}, {"SSND", sound("abcd")}}), "no op-1"});
    cases.push_back({"frames missing",
                     iff("AIFF", {{"COMM", common(3)}, {"APPL", kDescription}, {"SSND", sound("abcd")}}),
                     "SSND holds 2 frames"});
    cases.push_back({"compression",
                     iff("AIFC", {{"COMM", common(2, "ima4")}, {"APPL", kDescription}, {"SSND", sound("abcd")}}),
                     "unsupported compression"});
    cases.push_back({"short COMM", iff("AIFC", {{"COMM", common(2)}, {"APPL", kDescription}, {"SSND", sound("abcd")}}),
                     "COMM chunk too short"});
    cases.push_back({"not AIFF", iff("WAVE", {}), "neither AIFF nor AIFC"});
    auto lying = good;
    lying[16 + 3] = 0x7f;  // COMM claims more than the file holds
    cases.push_back({"lying chunk", lying, "runs past the end"});
    auto formTooBig = good;
    formTooBig[4] = 0x10;
    cases.push_back({"truncated", formTooBig, "truncated"});
    auto garbage = good;
    garbage[12] = 0x01;
    cases.push_back({"garbage id", garbage, "unreadable chunk header"});
    for (const auto& c : cases) {
        const KitFile f = parseKitFile(c.bytes.data(), c.bytes.size());
        EXPECT_FALSE(f.valid()) << c.what;
        EXPECT_NE(joined(f.errors).find(c.error), std::string::npos) << c.what << ":\n"
                                                                     << joined(f.errors);
    }
}

TEST(KitFileReader, DescriptionsThatLie) {
    const char* texts[] = {
        "op-1",
        "op-1{",
        "op-1[]",
        "op-1{\"type\":\"drum\",\"start\":5,\"end\":[]}",
        "op-1{\"type\":\"drum\",\"start\":[\"a\",1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23],"
        "\"end\":[0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23]}",
        "op-1{\"type\":\"drum\",\"start\":[1e400],\"end\":null}",
        "op-1{\"type\":\"drum\",\"start\":[-1,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23],"
        "\"end\":[99999999999999999999999,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23]}",
        "op-1{\"type\":7}",
        "op-1{\"type\":\"drum\"}\x01garbage",
    };
    for (const char* t : texts) {
        const auto bytes = iff("AIFF", {{"COMM", common(2)}, {"APPL", t}, {"SSND", sound("abcd")}});
        const KitFile f = parseKitFile(bytes.data(), bytes.size());
        EXPECT_FALSE(f.valid()) << t;
    }
    for (const std::string& deep : {"op-1" + std::string(100000, '['),
                                    "op-1" + std::string(100000, '[') + std::string(100000, ']'),
                                    "op-1{\"type\":\"drum\",\"start\":" + std::string(50000, '[') +
                                        std::string(50000, ']') + "}"}) {
        const auto bytes = iff("AIFF", {{"COMM", common(2)}, {"APPL", deep}, {"SSND", sound("abcd")}});
        EXPECT_FALSE(parseKitFile(bytes.data(), bytes.size()).valid());
    }
}

TEST(KitFileReader, EveryTruncationOfAKitIsHandled) {
    ScratchDir dir;
    TestKit kit;
    kit.setKey(0, 40);
    const auto bytes = exportedKit(dir, kit);
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + long(n));
        const KitFile f = parseKitFile(cut.data(), cut.size());
        EXPECT_FALSE(f.valid()) << n;
    }
    EXPECT_FALSE(parseKitFile(nullptr, 0).valid());
}

TEST(KitFileReader, RandomDamageNeverReadsOutOfBounds) {
    ScratchDir dir;
    TestKit kit;
    kit.setKey(0, 30);
    kit.setKey(1, 30);
    const auto bytes = exportedKit(dir, kit);
    std::mt19937 rng(12345);
    int invalid = 0;
    for (int round = 0; round < 3000; ++round) {
        auto damaged = bytes;
        const int flips = 1 + int(rng() % 8);
        for (int i = 0; i < flips; ++i) damaged[rng() % damaged.size()] = uint8_t(rng());
        // An exact-size copy, so that a read past the end shows under ASan.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[damaged.size()]);
        std::memcpy(exact.get(), damaged.data(), damaged.size());
        const KitFile f = parseKitFile(exact.get(), damaged.size());
        std::vector<float> mono;
        decodeKitFileFrames(f, exact.get(), damaged.size(), mono);
        invalid += !f.valid();
    }
    EXPECT_GT(invalid, 0);
}

TEST(KitFileReader, MissingFileOrFolderIsAnError) {
    const KitFile f = readKitFile("/nonexistent/kit.aif");
    ASSERT_EQ(f.errors.size(), 1u);
    EXPECT_NE(f.errors[0].find("cannot open"), std::string::npos);
    ScratchDir dir;
    const KitFile folder = readKitFile(dir.path().string());
    ASSERT_EQ(folder.errors.size(), 1u);
    EXPECT_NE(folder.errors[0].find("not a regular file"), std::string::npos);
}

TEST(KitFileReader, ExtendedSampleRates) {
    const uint8_t r44100[10] = {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    const uint8_t r48000[10] = {0x40, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0};
    const uint8_t r22050[10] = {0x40, 0x0D, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    const uint8_t zero[10] = {};
    EXPECT_DOUBLE_EQ(decodeExtended80(r44100), 44100.0);
    EXPECT_DOUBLE_EQ(decodeExtended80(r48000), 48000.0);
    EXPECT_DOUBLE_EQ(decodeExtended80(r22050), 22050.0);
    EXPECT_DOUBLE_EQ(decodeExtended80(zero), 0.0);
}

}  // namespace
}  // namespace rimbrel
