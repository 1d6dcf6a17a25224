// The Field's kit file: its layout against the Field's own kit, reading it
// back, the refusals, and the reader's view of Field kits that lie.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "FormatsTestSupport.h"
#include "formats/AiffWriter.h"
#include "formats/FieldKitWriter.h"
#include "formats/KitFileReader.h"
#include "kit/ParameterMap.h"

namespace rimbrel {
namespace {

using test::ScratchDir;

const std::vector<std::string> kFieldKeys = {
    "attack", "drum_version", "dyna_env", "end", "fx_active", "fx_params", "fx_type", "lfo_active",
    "lfo_params", "lfo_type", "mtime", "name", "octave", "pan", "pan_ab", "pitch",
    "playmode", "reverse", "start", "stereo", "type", "volume"};

// Chunk ids in file order, and the JSON text of the APPL chunk.
std::vector<std::string> chunkIds(const std::vector<uint8_t>& b) {
    std::vector<std::string> ids;
    for (std::size_t p = 12; p + 8 <= b.size(); p += 8 + test::be32(b, p + 4) + (test::be32(b, p + 4) & 1))
        ids.emplace_back(b.begin() + long(p), b.begin() + long(p) + 4);
    return ids;
}

// The JSON keys in the order the text holds them.
std::vector<std::string> keyOrder(const std::string& text) {
    std::vector<std::string> keys;
    nlohmann::json::parser_callback_t cb = [&](int depth, nlohmann::json::parse_event_t event, nlohmann::json& v) {
        if (depth == 1 && event == nlohmann::json::parse_event_t::key) keys.push_back(v.get<std::string>());
        return true;
    };
    const nlohmann::json whole = nlohmann::json::parse(text, cb);
    EXPECT_TRUE(whole.is_object());
    return keys;
}

// Three keys: stereo (left and right differ), mono, and an empty key 2.
struct FieldTestKit {
    std::vector<float> left = std::vector<float>(3000), right = std::vector<float>(3000), mono = std::vector<float>(500);
    FieldKitInput in;
    FieldTestKit() {
        for (std::size_t i = 0; i < left.size(); ++i) {
            left[i] = float(int(i % 500) - 250) / 256.0f;
            right[i] = -left[i] * 0.5f;
        }
        for (std::size_t i = 0; i < mono.size(); ++i) mono[i] = float(i) / 1024.0f;
        in.audio[0] = {{left.data(), right.data()}, 3000};
        in.audio[1] = {{mono.data(), nullptr}, 500};
        in.keyName[0] = "/s/stereo.wav";
        in.keyName[1] = "/s/mono.wav";
        in.playMode[0] = 0.0f;  // gate
        in.playMode[1] = 1.0f;  // loop
        in.reverse[1] = 1.0f;
        in.pitch[1] = param::pitchToParameter(-3);
        in.pan[0] = 0.0f;
        in.pan[1] = 1.0f;
        in.mtime = 1714946250.0;
    }
};

TEST(FieldKitWriter, HasTheLayoutOfTheFieldsOwnKit) {
    ScratchDir dir;
    FieldTestKit kit;
    testing::internal::CaptureStderr();
    ASSERT_EQ(exportFieldKit(dir.file("f.aif").c_str(), kit.in), ExportResult::Written);
    testing::internal::GetCapturedStderr();
    const std::vector<uint8_t> b = test::readBytes(dir.file("f.aif"));
    ASSERT_GT(b.size(), 4220u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "FORM");
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 12), "AIFC");
    EXPECT_EQ(test::be32(b, 4) + 8, b.size());
    EXPECT_EQ(chunkIds(b), (std::vector<std::string>{"FVER", "COMM", "APPL", "SSND"}));
    EXPECT_EQ(test::be32(b, 20), 0xA2805140u);
    EXPECT_EQ(test::be16(b, 32), 2u);            // channels
    EXPECT_EQ(test::be32(b, 34), 2999u + 499u);  // frames: each key without its last
    EXPECT_EQ(test::be16(b, 38), 16u);
    EXPECT_EQ(std::string(b.begin() + 50, b.begin() + 54), "sowt");
    EXPECT_EQ(test::be32(b, 100), 4100u);  // APPL size
    EXPECT_EQ(b.size(), 4220u + 4u * (2999u + 499u));

    const std::string appl(b.begin() + 104, b.begin() + 104 + 4100);
    ASSERT_EQ(appl.substr(0, 4), "op-1");
    const std::size_t lineEnd = appl.find('\n');
    ASSERT_NE(lineEnd, std::string::npos);
    EXPECT_EQ(appl.find_first_not_of(' ', lineEnd + 1), std::string::npos);
    const std::string text = appl.substr(4, lineEnd - 4);
    EXPECT_EQ(keyOrder(text), kFieldKeys);
    const auto j = nlohmann::json::parse(text);
    EXPECT_EQ(j["drum_version"], 2);
    EXPECT_EQ(j["stereo"], true);
    EXPECT_EQ(j["mtime"].dump(), "1714946250.0");
    EXPECT_EQ(j["start"][1], fieldPositionValue(2999));
    EXPECT_EQ(j["end"][1], fieldPositionValue(2999 + 498));
    EXPECT_EQ(j["end"][23], fieldPositionValue(2999 + 498));  // empty keys repeat the last
    EXPECT_EQ(j["playmode"][0], 4096);
    EXPECT_EQ(j["playmode"][1], 28672);
    EXPECT_EQ(j["playmode"][2], 28672);
    EXPECT_EQ(j["reverse"][0], 12000);
    EXPECT_EQ(j["reverse"][1], 24576);
    EXPECT_EQ(j["pitch"][1], -3 * 512 + 256);
    EXPECT_EQ(j["volume"][0], 8192);
    EXPECT_EQ(j["pan"][0], 0);
    EXPECT_EQ(j["pan"][1], 32767);

    // The same keys, and the same fixed values, as the Field writes them.
    const std::filesystem::path ref = std::filesystem::path(RIMBREL_REFERENCE_KITS) / "op1field_device_stereo_20s.aif";
    if (!std::filesystem::exists(ref)) GTEST_SKIP() << "reference kit absent";
    const std::vector<uint8_t> r = test::readBytes(ref.string());
    EXPECT_EQ(chunkIds(r), chunkIds(b));
    EXPECT_EQ(std::vector<uint8_t>(r.begin() + 12, r.begin() + 34), std::vector<uint8_t>(b.begin() + 12, b.begin() + 34));
    EXPECT_EQ(std::vector<uint8_t>(r.begin() + 38, r.begin() + 108), std::vector<uint8_t>(b.begin() + 38, b.begin() + 108));
    const std::string refAppl(r.begin() + 104, r.begin() + 104 + 4100);
    const std::string refText = refAppl.substr(4, refAppl.find('\n') - 4);
    EXPECT_EQ(keyOrder(refText), kFieldKeys);
    const auto rj = nlohmann::json::parse(refText);
    for (const char* fixed : {"attack", "dyna_env", "fx_params", "lfo_params", "pan_ab", "fx_type", "lfo_type"})
        EXPECT_EQ(rj[fixed], j[fixed]) << fixed;
}

TEST(FieldKitWriter, ReaderLibsndfileAndSoxReadItBack) {
    ScratchDir dir;
    FieldTestKit kit;
    testing::internal::CaptureStderr();
    ASSERT_EQ(exportFieldKit(dir.file("f.aif").c_str(), kit.in), ExportResult::Written);
    testing::internal::GetCapturedStderr();
    std::vector<uint8_t> bytes;
    const KitFile f = readKitFile(dir.file("f.aif"), &bytes);
    ASSERT_TRUE(f.valid());
    EXPECT_TRUE(f.warnings.empty());
    EXPECT_EQ(f.target, KitTarget::Op1Field);
    EXPECT_STREQ(kitTargetName(f.target), "OP-1 Field");
    EXPECT_EQ(f.positionScaleFrames(), 882000.0);
    EXPECT_EQ(fieldPlayMode(f.description.playmode[0]), FieldPlayMode::Gate);
    EXPECT_EQ(fieldPlayMode(f.description.playmode[1]), FieldPlayMode::Loop);
    EXPECT_TRUE(fieldPlaysForward(f.description.reverse[0]));
    EXPECT_FALSE(fieldPlaysForward(f.description.reverse[1]));

    // Keys back frame for frame, 16-bit exact; the mono key on both sides.
    std::vector<float> l, r;
    ASSERT_TRUE(decodeKitFileKey(f, bytes.data(), bytes.size(), 0, l, r));
    ASSERT_EQ(l.size(), 2999u);
    for (std::size_t i = 0; i < l.size(); ++i) {
        ASSERT_EQ(aiffSampleValue(l[i]), aiffSampleValue(kit.left[i])) << i;
        ASSERT_EQ(aiffSampleValue(r[i]), aiffSampleValue(kit.right[i])) << i;
    }
    ASSERT_TRUE(decodeKitFileKey(f, bytes.data(), bytes.size(), 1, l, r));
    ASSERT_EQ(l.size(), 499u);
    for (std::size_t i = 0; i < l.size(); ++i) {
        ASSERT_EQ(aiffSampleValue(l[i]), aiffSampleValue(kit.mono[i])) << i;
        ASSERT_EQ(r[i], l[i]) << i;
    }

    const test::SoundFileFacts facts = test::readWithSndfile(dir.file("f.aif"));
    EXPECT_TRUE(facts.opened);
    EXPECT_EQ(facts.channels, 2);
    EXPECT_EQ(facts.sampleRate, 44100);
    EXPECT_EQ(facts.frames, 3498);
    if (test::haveSox()) {
        const std::string info = test::soxInfo(dir.file("f.aif"));
        EXPECT_NE(info.find("Channels       : 2"), std::string::npos) << info;
        EXPECT_NE(info.find("Sample Rate    : 44100"), std::string::npos) << info;
    }
}

TEST(FieldKitWriter, OverTwentySecondsNothingIsTouched) {
    ScratchDir dir;
    std::vector<float> audio(500000, 0.25f);
    FieldKitInput in;
    in.audio[0] = {{audio.data(), nullptr}, 500000};
    in.audio[1] = {{audio.data(), nullptr}, 382001};
    in.keyName[0] = in.keyName[1] = "/s/long.wav";
    test::writeBytes(dir.file("kit.aif"), {'o', 'l', 'd'});
    testing::internal::CaptureStderr();
    EXPECT_EQ(exportFieldKit(dir.file("kit.aif").c_str(), in), ExportResult::TooLong);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(test::readBytes(dir.file("kit.aif")), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"kit.aif"});
    in.audio[1].length = 382000;  // exactly 20 s
    testing::internal::CaptureStderr();
    EXPECT_EQ(exportFieldKit(dir.file("kit.aif").c_str(), in), ExportResult::Written);
    testing::internal::GetCapturedStderr();
}

TEST(FieldKitWriter, SettingValuesAndZones) {
    EXPECT_EQ(fieldPanValue(0.0f), 0);
    EXPECT_EQ(fieldPanValue(0.5f), 16384);
    EXPECT_EQ(fieldPanValue(1.0f), 32767);
    EXPECT_EQ(fieldPanValue(0.25f), 8192);
    EXPECT_EQ(fieldPositionValue(882000), 2147483646);
    EXPECT_EQ(fieldPositionValue(441000), 1073741823);
    const std::pair<int64_t, FieldPlayMode> zones[] = {
        {-1, FieldPlayMode::Outside}, {0, FieldPlayMode::Gate}, {8191, FieldPlayMode::Gate}, {8192, FieldPlayMode::OneShot}, {16383, FieldPlayMode::OneShot}, {16384, FieldPlayMode::Fourth}, {24575, FieldPlayMode::Fourth}, {24576, FieldPlayMode::Loop}, {32767, FieldPlayMode::Loop}, {32768, FieldPlayMode::Outside}};
    for (const auto& [value, zone] : zones) EXPECT_EQ(fieldPlayMode(value), zone) << value;
    for (float p : {0.0f, 0.5f, 1.0f}) {
        const int32_t v = fieldPlayModeValue(p);
        EXPECT_EQ(fieldPlayMode(v), p == 0.0f ? FieldPlayMode::Gate : p == 0.5f ? FieldPlayMode::OneShot
                                                                                : FieldPlayMode::Loop);
    }
}

// A Field kit's bytes with its description replaced by `text` (padded or cut
// to the APPL chunk's 4096 bytes) and its COMM channel count set.
std::vector<uint8_t> fieldKitWith(const std::vector<uint8_t>& kit, std::string text, int channels) {
    std::vector<uint8_t> b = kit;
    text.resize(4096, ' ');
    std::copy(text.begin(), text.end(), b.begin() + 108);
    b[32] = 0;
    b[33] = uint8_t(channels);
    return b;
}

TEST(FieldKitReader, KitsThatLieHaveClearOutcomes) {
    ScratchDir dir;
    FieldTestKit kit;
    testing::internal::CaptureStderr();
    ASSERT_EQ(exportFieldKit(dir.file("f.aif").c_str(), kit.in), ExportResult::Written);
    testing::internal::GetCapturedStderr();
    const std::vector<uint8_t> good = test::readBytes(dir.file("f.aif"));
    const std::string appl(good.begin() + 108, good.begin() + 108 + 4096);
    const std::string text = appl.substr(0, appl.find('\n'));

    // Mono audio under a stereo description: refused.
    std::vector<uint8_t> b = fieldKitWith(good, text, 1);
    KitFile f = parseKitFile(b.data(), b.size());
    EXPECT_FALSE(f.valid());

    // A JSON longer than its chunk: its end is cut off.
    std::string longText = text;
    longText.insert(longText.find("\"name\":") + 8, std::string(4096, 'x'));
    b = fieldKitWith(good, longText, 2);
    f = parseKitFile(b.data(), b.size());
    EXPECT_FALSE(f.valid());
    ASSERT_FALSE(f.errors.empty());
    EXPECT_EQ(f.errors[0], "description runs past the end of its APPL chunk");

    // Positions past the audio: a warning, and the key is not read.
    std::string lying = text;
    const std::size_t end = lying.find("\"end\":[") + 7;
    lying.replace(end, lying.find(',', end) - end, "2147483646");
    b = fieldKitWith(good, lying, 2);
    f = parseKitFile(b.data(), b.size());
    EXPECT_TRUE(f.valid());
    EXPECT_FALSE(f.warnings.empty());
    std::vector<float> l, r;
    EXPECT_FALSE(decodeKitFileKey(f, b.data(), b.size(), 0, l, r));
    EXPECT_TRUE(l.empty() && r.empty());
    EXPECT_TRUE(decodeKitFileKey(f, b.data(), b.size(), 1, l, r));

    // An SSND chunk that holds fewer frames than COMM says: no key is read
    // from the bytes after it.
    b = good;
    b[4211] = uint8_t(b[4211] - 8);
    f = parseKitFile(b.data(), b.size());
    EXPECT_FALSE(f.valid());
    EXPECT_FALSE(decodeKitFileKey(f, b.data(), b.size(), 1, l, r));

    // A mono kit claiming 20 s of audio: more than the original holds.
    std::string monoText = text;
    monoText.replace(monoText.find("\"stereo\":true"), 13, "\"stereo\":0   ");
    b = fieldKitWith(good, monoText, 1);
    const uint32_t frames = 800000;
    for (int i = 0; i < 4; ++i) b[34 + i] = uint8_t(frames >> (24 - 8 * i));
    b.resize(4220 + 2 * std::size_t(frames));
    const uint32_t form = uint32_t(b.size() - 8), ssnd = uint32_t(b.size() - 4212);
    for (int i = 0; i < 4; ++i) {
        b[4 + i] = uint8_t(form >> (24 - 8 * i));
        b[4208 + i] = uint8_t(ssnd >> (24 - 8 * i));
    }
    f = parseKitFile(b.data(), b.size());
    EXPECT_EQ(f.target, KitTarget::Op1);
    EXPECT_FALSE(f.valid());
}

}  // namespace
}  // namespace rimbrel
