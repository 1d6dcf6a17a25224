// The Op-1 kit export: the layout of the keys, the description and its
// values, the diagnostics, and whole files read back three ways.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>

#include "tests/KeyAudioSupport.h"
#include "FormatsTestSupport.h"
#include "formats/AiffWriter.h"
#include "formats/KitExport.h"
#include "kit/ParameterMap.h"
#include "kit/Loader.h"

namespace rimbrel {
namespace {

using nlohmann::json;
using test::readBytes;
using test::ScratchDir;
using test::TestKit;

std::string repeat(const std::string& value, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += (i ? "," : "") + value;
    return s;
}

// The description's JSON, parsed from the file's APPL body.
json descriptionOf(const std::vector<uint8_t>& file) {
    std::string body = test::applBody(file);
    EXPECT_EQ(body.substr(0, 4), "op-1");
    while (!body.empty() && (body.back() == ' ' || body.back() == '\0')) body.pop_back();
    return json::parse(body.substr(4));
}

ExportResult quietExport(const std::string& path, const KitExportInput& in) {
    testing::internal::CaptureStderr();
    const ExportResult r = exportKit(path.c_str(), in);
    testing::internal::GetCapturedStderr();
    return r;
}

TEST(KitLayout, OnlyKeyFiveWithAThousandFrames) {
    int32_t length[kNumKeys] = {};
    length[5] = 1000;
    const KitLayout layout = kitLayout(length);
    EXPECT_EQ(layout.totalFrames, 999);
    for (int k = 0; k <= 4; ++k) {
        EXPECT_EQ(layout.key[k].startFrame, 0) << k;
        EXPECT_EQ(layout.key[k].endFrame, 128) << k;
        EXPECT_EQ(layout.key[k].contributedFrames, 0) << k;
    }
    EXPECT_EQ(layout.key[0].sourceKey, 1);
    for (int k = 1; k <= 4; ++k) EXPECT_EQ(layout.key[k].sourceKey, k - 1);  // the previous key, not a chain
    EXPECT_EQ(layout.key[5].startFrame, 0);
    EXPECT_EQ(layout.key[5].endFrame, 998);
    EXPECT_EQ(layout.key[5].sourceKey, 5);
    for (int k = 6; k < kNumKeys; ++k) {
        EXPECT_EQ(layout.key[k].startFrame, 0) << k;
        EXPECT_EQ(layout.key[k].endFrame, 998) << k;
        EXPECT_EQ(layout.key[k].sourceKey, k - 1) << k;
    }
}

TEST(KitLayout, KeysEndToEndEachWithoutItsLastFrame) {
    int32_t length[kNumKeys] = {};
    length[0] = 100;
    length[1] = 50;
    const KitLayout layout = kitLayout(length);
    EXPECT_EQ(layout.key[0].startFrame, 0);
    EXPECT_EQ(layout.key[0].endFrame, 98);
    EXPECT_EQ(layout.key[1].startFrame, 99);
    EXPECT_EQ(layout.key[1].endFrame, 147);
    EXPECT_EQ(layout.totalFrames, 148);
}

TEST(KitLayout, OneFrameKeysContributeNothing) {
    int32_t length[kNumKeys] = {};
    length[0] = 1;
    length[1] = 10;
    length[2] = 1;
    const KitLayout layout = kitLayout(length);
    EXPECT_EQ(layout.key[0].startFrame, 0);
    EXPECT_EQ(layout.key[0].endFrame, 0);  // T - 1 would be -1
    EXPECT_EQ(layout.key[0].sourceKey, 0);
    EXPECT_EQ(layout.key[1].startFrame, 0);
    EXPECT_EQ(layout.key[1].endFrame, 8);
    EXPECT_EQ(layout.key[2].startFrame, 9);
    EXPECT_EQ(layout.key[2].endFrame, 8);
    EXPECT_EQ(layout.key[2].sourceKey, 2);
    EXPECT_EQ(layout.totalFrames, 9);
}

TEST(KitValues, PositionsOnTheTwelveSecondScale) {
    EXPECT_EQ(positionValue(0), 0);
    EXPECT_EQ(positionValue(1), 4057);
    EXPECT_EQ(positionValue(128), 519421);
    EXPECT_EQ(positionValue(998), 4049865);
    EXPECT_EQ(positionValue(44100), 178956970);
    EXPECT_EQ(positionValue(529199), 2147479588);
    EXPECT_EQ(positionValue(529200), 2147483646);
    EXPECT_EQ(positionValue(1058397), 2147483646);  // held at full scale
    EXPECT_EQ(positionValue(-5), 0);
}

TEST(KitValues, SettingsThroughTheParameterMap) {
    using namespace param;
    EXPECT_EQ(pitchValue(pitchToParameter(0)), 0);
    EXPECT_EQ(pitchValue(pitchToParameter(1)), 512);
    EXPECT_EQ(pitchValue(pitchToParameter(-1)), -256);
    EXPECT_EQ(pitchValue(pitchToParameter(-48)), -24320);
    EXPECT_EQ(pitchValue(pitchToParameter(48)), 24576);
    for (int p = -48; p <= 48; ++p) {
        EXPECT_EQ(pitchFromParameter(pitchToParameter(p)), p);
        EXPECT_EQ(pitchValue(pitchToParameter(p)), p >= 0 ? p * 512 : p * 512 + 256) << p;
    }
    EXPECT_EQ(pitchValue(0.75f), 24 * 512);

    EXPECT_EQ(playModeValue(playModeToParameter(PlayModeGate)), 8000);
    EXPECT_EQ(playModeValue(playModeToParameter(PlayModeOneShot)), 8192);
    EXPECT_EQ(playModeValue(playModeToParameter(PlayModeLoop)), 16384);
    EXPECT_EQ(playModeValue(1.0f), 16384);
    EXPECT_EQ(playModeValue(0.25f), 8192);

    EXPECT_EQ(reverseValue(reverseToParameter(false)), 8192);
    EXPECT_EQ(reverseValue(reverseToParameter(true)), 16384);
    EXPECT_EQ(reverseValue(0.49f), 8192);
    EXPECT_EQ(reverseValue(0.5f), 16384);

    EXPECT_EQ(volumeValue(volumeToParameter(1.0f)), 8192);
    EXPECT_EQ(volumeValue(volumeToParameter(4.0f)), 16384);
    EXPECT_EQ(volumeValue(volumeToParameter(0.0f)), 0);
    EXPECT_FLOAT_EQ(volumeFromParameter(volumeToParameter(2.0f)), 2.0f);
}

TEST(KitExport, SmallKitIsWrittenByteForByte) {
    ScratchDir dir;
    TestKit kit;
    kit.setKey(0, {0.5f, -0.5f, 1.0f / 32768, 0.25f, 0.75f});  // 5 frames, the last one dropped
    kit.setKey(1, {-0.25f, 0.125f, 0.9f}, "");                 // unnamed, still written
    kit.in.pitch[1] = param::pitchToParameter(1);
    kit.in.playMode[1] = param::playModeToParameter(PlayModeLoop);
    const std::string path = dir.file("small.aif");
    ASSERT_EQ(quietExport(path, kit.input()), ExportResult::Written);

    // key 0: frames 0..3; key 1: 4..5; keys 2..23 repeat key 1's span with
    // the settings of the key before them (key 2 -> key 1, key 3 -> key 2...).
    std::string text = "op-1{\"drum_version\":1,\"type\":\"drum\",\"name\":\"user\",\"octave\":0,";
    text += "\"pitch\":[0,512,512," + repeat("0", 21) + "],";
    text += "\"start\":[0," + repeat("16231", 23) + "],";
    text += "\"end\":[12173," + repeat("20289", 23) + "],";
    text += "\"playmode\":[8192,16384,16384," + repeat("8192", 21) + "],";
    text += "\"reverse\":[" + repeat("8192", 24) + "],";
    text += "\"volume\":[" + repeat("8192", 24) + "],";
    text +=
        "\"dyna_env\":[0,8192,0,8192,0,0,0,0],\"fx_active\":false,\"fx_type\":\"delay\","
        "\"fx_params\":[8000,8000,8000,8000,8000,8000,8000,8000],\"lfo_active\":false,"
        "\"lfo_type\":\"tremolo\",\"lfo_params\":[16000,16000,16000,16000,0,0,0,0]}";
    text.append(text.size() % 4, ' ');
    const std::vector<int16_t> samples = {16384, -16384, 1, 8192, -8192, 4096};
    EXPECT_EQ(readBytes(path), test::expectedAiff(text, samples));
}

TEST(KitExport, OnlyKeyFiveGivesTheEmptyKeysTheirNeighboursSettings) {
    ScratchDir dir;
    TestKit kit;
    kit.setKey(5, 1000);
    // Distinct settings per key so that the source of each value shows.
    for (int k = 0; k < kNumKeys; ++k) kit.in.pitch[k] = param::pitchToParameter(k);
    const std::string path = dir.file("five.aif");
    ASSERT_EQ(quietExport(path, kit.input()), ExportResult::Written);
    const auto bytes = readBytes(path);
    const json d = descriptionOf(bytes);
    const int source[6] = {1, 0, 1, 2, 3, 5};
    for (int k = 0; k < kNumKeys; ++k) {
        const bool before = k < 5;
        EXPECT_EQ(d["start"][k], 0) << k;
        EXPECT_EQ(d["end"][k], before ? 519421 : 4049865) << k;
        const int s = k <= 5 ? source[k] : k - 1;
        EXPECT_EQ(d["pitch"][k], s * 512) << k;
    }
    EXPECT_EQ(test::be32(bytes, 22), 999u);
    EXPECT_EQ(d.size(), 17u);
}

TEST(KitExport, DescriptionPaddingForAllFourRemainders) {
    ScratchDir dir;
    bool seen[4] = {};
    // The digits of key 0's volume value (0, 16, 512, 8192) change the length one by one.
    for (float volume : {0.0f, 16.0f / 16384, 512.0f / 16384, 0.5f}) {
        TestKit kit;
        kit.setKey(0, 10);
        kit.setKey(1, 10);  // so that no empty key repeats key 0's volume
        kit.in.volume[0] = volume;
        const std::string path = dir.file("pad.aif");
        ASSERT_EQ(quietExport(path, kit.input()), ExportResult::Written);
        const auto bytes = readBytes(path);
        const uint32_t applSize = test::be32(bytes, 42);
        std::string body = test::applBody(bytes);
        const std::size_t raw = body.find('}') + 1;  // the JSON ends at its only closing brace
        const std::size_t remainder = raw % 4;
        seen[remainder] = true;
        const std::size_t spaces = remainder;  // not 4 minus the remainder
        const std::size_t L = raw + spaces;
        const std::size_t P = (4 - L % 4) % 4;
        EXPECT_EQ(P, remainder % 2 ? 2u : 0u) << remainder;
        EXPECT_EQ(applSize, L + P) << remainder;
        EXPECT_EQ(body.substr(raw, spaces), std::string(spaces, ' '));
        EXPECT_EQ(body.substr(raw + spaces), std::string(P, '\0'));
        EXPECT_EQ(test::be32(bytes, 4), bytes.size() - 8);
        EXPECT_EQ(std::string(bytes.begin() + long(46 + applSize), bytes.begin() + long(50 + applSize)), "MARK");
    }
    for (int r = 0; r < 4; ++r) EXPECT_TRUE(seen[r]) << "remainder " << r << " not covered";
}

TEST(KitExport, SettingsAreWrittenPerKey) {
    ScratchDir dir;
    TestKit kit;
    for (int k = 0; k < 6; ++k) kit.setKey(k, 20);
    kit.in.pitch[0] = param::pitchToParameter(-1);
    kit.in.pitch[1] = param::pitchToParameter(1);
    kit.in.pitch[2] = param::pitchToParameter(0);
    kit.in.playMode[0] = param::playModeToParameter(PlayModeGate);
    kit.in.playMode[1] = param::playModeToParameter(PlayModeOneShot);
    kit.in.playMode[2] = param::playModeToParameter(PlayModeLoop);
    kit.in.reverse[3] = param::reverseToParameter(true);
    kit.in.volume[3] = param::volumeToParameter(0.0f);
    kit.in.volume[4] = param::volumeToParameter(1.0f);
    kit.in.volume[5] = param::volumeToParameter(4.0f);
    const std::string path = dir.file("settings.aif");
    ASSERT_EQ(quietExport(path, kit.input()), ExportResult::Written);
    const json d = descriptionOf(readBytes(path));
    EXPECT_EQ(d["pitch"][0], -256);
    EXPECT_EQ(d["pitch"][1], 512);
    EXPECT_EQ(d["pitch"][2], 0);
    EXPECT_EQ(d["playmode"][0], 8000);
    EXPECT_EQ(d["playmode"][1], 8192);
    EXPECT_EQ(d["playmode"][2], 16384);
    EXPECT_EQ(d["reverse"][2], 8192);
    EXPECT_EQ(d["reverse"][3], 16384);
    EXPECT_EQ(d["volume"][3], 0);
    EXPECT_EQ(d["volume"][4], 8192);
    EXPECT_EQ(d["volume"][5], 16384);
    // Fixed parts.
    EXPECT_EQ(d["drum_version"], 1);
    EXPECT_EQ(d["type"], "drum");
    EXPECT_EQ(d["name"], "user");
    EXPECT_EQ(d["octave"], 0);
    EXPECT_EQ(d["fx_type"], "delay");
    EXPECT_EQ(d["lfo_type"], "tremolo");
    EXPECT_EQ(d["lfo_params"], json::parse("[16000,16000,16000,16000,0,0,0,0]"));
}

TEST(KitExport, DiagnosticsAreWrittenAsTheyStand) {
    ScratchDir dir;
    TestKit kit;
    kit.setKey(0, 100);
    kit.setKey(1, 50);
    std::string expected;
    const int starts[2] = {0, 99}, ends[2] = {98, 147};
    const int startValues[2] = {0, 401740}, endValues[2] = {397682, 596523};
    for (int k = 0; k < kNumKeys; ++k) {
        const int i = k == 0 ? 0 : 1;
        expected += "[Rimbrel-VST] \n set starts[i] (" + std::to_string(starts[i]) + ") to " +
                    std::to_string(startValues[i]) + "\n";
    }
    for (int k = 0; k < kNumKeys; ++k) {
        const int i = k == 0 ? 0 : 1;
        expected += "[Rimbrel-VST] \n set ends[i] (" + std::to_string(ends[i]) + ") to " +
                    std::to_string(endValues[i]) + "\n";
    }
    expected += "\n k 148 frames 148 bps 2, outdef 296";  // no tag, no final line break
    testing::internal::CaptureStderr();
    EXPECT_EQ(exportKit(dir.file("two.aif").c_str(), kit.input()), ExportResult::Written);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);
    EXPECT_EQ(test::be32(readBytes(dir.file("two.aif")), 22), 148u);
}

TEST(KitExport, NothingHappensWithoutANamedKeyThatHoldsAudio) {
    ScratchDir dir;
    const std::string path = dir.file("kit.aif");
    test::writeBytes(path, {1, 2, 3});
    TestKit kit;
    kit.setKey(0, 100, "");              // audio, no name
    kit.setKey(1, 100, "\x80kick.wav");  // first byte outside 1..127: not a name
    kit.setKey(2, 0, "named.wav");       // named, no audio
    testing::internal::CaptureStderr();
    EXPECT_EQ(exportKit(path.c_str(), kit.input()), ExportResult::NothingToExport);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(readBytes(path), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(exportKit(dir.file("new").c_str(), kit.input()), ExportResult::NothingToExport);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"kit.aif"});
}

TEST(KitExport, OneFrameKeysGiveAnEmptyAudioChunk) {
    ScratchDir dir;
    TestKit kit;
    kit.setKey(0, 1);
    kit.setKey(3, 1);
    const std::string path = dir.file("ones");
    ASSERT_EQ(quietExport(path, kit.input()), ExportResult::Written);
    const auto bytes = readBytes(path + ".aif");
    EXPECT_EQ(test::be32(bytes, 22), 0u);
    EXPECT_EQ(test::be32(bytes, bytes.size() - 12), 8u);
    EXPECT_EQ(bytes.size(), aiffHeaderSize(test::applBody(bytes).size()));
    const json d = descriptionOf(bytes);
    EXPECT_EQ(d["end"][0], 0);
}

TEST(KitExport, AKitOfAFewFramesHoldsThoseFrames) {
    // Fewer than 12 frames of audio: the file holds exactly what its header announces.
    ScratchDir dir;
    for (int32_t frames = 2; frames <= 12; ++frames) {
        TestKit kit;
        kit.setKey(4, frames);
        const std::string path = dir.file("few.aif");
        ASSERT_EQ(quietExport(path, kit.input()), ExportResult::Written);
        const auto facts = test::readWithSndfile(path);
        ASSERT_TRUE(facts.opened) << frames;
        ASSERT_EQ(facts.frames, frames - 1);
        for (int32_t i = 0; i < frames - 1; ++i)
            EXPECT_EQ(facts.samples[std::size_t(i)], aiffSampleValue(test::testSample(4, i)));
        const auto bytes = readBytes(path);
        EXPECT_EQ(bytes.size(), aiffHeaderSize(test::applBody(bytes).size()) + 2u * uint32_t(frames - 1));
    }
}

TEST(KitExport, SaturatesLoudSamples) {
    ScratchDir dir;
    TestKit kit;
    kit.setKey(0, {1.0f, 1.25f, -1.0f, -2.0f, 0.0f});
    const std::string path = dir.file("loud.aif");
    ASSERT_EQ(quietExport(path, kit.input()), ExportResult::Written);
    const auto facts = test::readWithSndfile(path);
    EXPECT_EQ(facts.samples, (std::vector<int16_t>{32767, 32767, -32768, -32768}));
}

TEST(KitExport, AKitBeyondTheLimitIsRefusedAndNothingWritten) {
    // Cut to twelve seconds, its last key's positions would point past the
    // audio; the export refuses it whoever calls, and the file stays as it was.
    ScratchDir dir;
    TestKit kit;
    kit.setKey(0, kMaxKeyFrames);
    kit.setKey(1, 1000);
    const std::string path = dir.file("long.aif");
    test::writeBytes(path, {1, 2, 3});
    testing::internal::CaptureStderr();
    EXPECT_EQ(exportKit(path.c_str(), kit.input()), ExportResult::TooLong);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[Rimbrel-VST] \n export refused: the keys total 530200 frames, more than 529200\n");
    EXPECT_EQ(readBytes(path), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(exportKit(dir.file("new.aif").c_str(), kit.input()), ExportResult::TooLong);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"long.aif"});

    // Exactly twelve seconds of keys is a kit.
    kit.setKey(0, kMaxKeyFrames - 1000);
    EXPECT_EQ(quietExport(path, kit.input()), ExportResult::Written);
    EXPECT_EQ(test::readWithSndfile(path).frames, kMaxKitFrames - 2);
}

TEST(KitExport, ReadsBackThroughLibsndfileSoxAndJson) {
    ScratchDir dir;
    TestKit kit;
    int32_t total = 0;
    for (int k = 0; k < kNumKeys; k += 3) {
        kit.setKey(k, 2000 + k * 37);
        total += 2000 + k * 37 - 1;
    }
    const std::string path = dir.file("Kick.WAV");
    ASSERT_EQ(quietExport(path, kit.input()), ExportResult::Written);
    const std::string written = dir.file("Kick.aif");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"Kick.aif"});

    const auto facts = test::readWithSndfile(written);
    ASSERT_TRUE(facts.opened);
    EXPECT_EQ(facts.frames, total);
    EXPECT_EQ(facts.channels, 1);
    EXPECT_EQ(facts.sampleRate, 44100);
    EXPECT_EQ(facts.format, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    // Each key's frames but the last lie between its start and end.
    const json d = descriptionOf(readBytes(written));
    for (int k = 0; k < kNumKeys; k += 3) {
        const int64_t start = std::llround(double(d["start"][k].get<int64_t>()) * 529200.0 / 2147483646.0);
        for (int32_t i = 0; i < 2000 + k * 37 - 1; i += 97)
            ASSERT_EQ(facts.samples[std::size_t(start + i)], aiffSampleValue(test::testSample(k, i))) << k;
    }
    if (test::haveSox()) {
        const std::string info = test::soxInfo(written);
        EXPECT_NE(info.find(std::to_string(total) + " samples"), std::string::npos) << info;
        EXPECT_NE(info.find("Channels       : 1"), std::string::npos) << info;
    }
}

TEST(KitExport, OverlongPathIsRefusedWithOneLine) {
    ScratchDir dir;
    TestKit kit;
    kit.setKey(0, 10);
    const std::string path = dir.path().string() + "/" + std::string(508 - dir.path().string().size() - 1, 'k');
    ASSERT_EQ(path.size(), 508u);
    testing::internal::CaptureStderr();
    EXPECT_EQ(exportKit(path.c_str(), kit.input()), ExportResult::Refused);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "[Rimbrel-VST] \n export refused: the file name is too long\n");
    EXPECT_TRUE(dir.entries().empty());
    testing::internal::CaptureStderr();
    EXPECT_EQ(exportKit(std::string(600, 'x').c_str(), kit.input()), ExportResult::Refused);
    EXPECT_EQ(exportKit(nullptr, kit.input()), ExportResult::Refused);
    testing::internal::GetCapturedStderr();
}

TEST(KitExport, ExistingKitIsKeptWhenTheExportCannotBeWritten) {
    ScratchDir dir;
    TestKit kit;
    kit.setKey(0, 10);
    std::filesystem::create_directory(dir.path() / "kit.aif");  // the target cannot be replaced
    testing::internal::CaptureStderr();
    EXPECT_EQ(exportKit(dir.file("kit.aif").c_str(), kit.input()), ExportResult::Failed);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("error: 11 can't write %s: %s\n"), std::string::npos);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"kit.aif"});
}

TEST(KitExport, InputFromTheKitUsesTheParameterValues) {
    std::unique_ptr<Kit> kit(new Kit);
    std::vector<float> frames(300);
    for (int i = 0; i < 300; ++i) frames[std::size_t(i)] = test::testSample(2, i);
    test::setKeyAudio(*kit, 2, frames);
    kit->keyPitch[2] = -12;
    kit->keyPlayMode[2] = PlayModeGate;
    kit->keyReverse[2] = true;
    kit->keyVolume[2] = 2.0f;
    const char* names[kNumKeys] = {};
    names[2] = "snare.wav";
    const KitExportInput in = kitExportInput(*kit, names);
    EXPECT_EQ(in.frames[2], kit->keySamples[2]);
    EXPECT_EQ(in.length[2], 300);
    EXPECT_FLOAT_EQ(in.pitch[2], 36.0f / 96.0f);
    EXPECT_FLOAT_EQ(in.playMode[2], 0.0f);
    EXPECT_FLOAT_EQ(in.reverse[2], 1.0f);
    EXPECT_FLOAT_EQ(in.volume[2], std::sqrt(0.5f));
    EXPECT_FLOAT_EQ(in.pitch[0], 0.5f);  // defaults
    EXPECT_FLOAT_EQ(in.playMode[0], 0.5f);
    EXPECT_FLOAT_EQ(in.volume[0], 0.5f);

    ScratchDir dir;
    const std::string path = dir.file("fromkit.aif");
    ASSERT_EQ(quietExport(path, in), ExportResult::Written);
    const json d = descriptionOf(readBytes(path));
    EXPECT_EQ(d["pitch"][2], -12 * 512 + 256);
    EXPECT_EQ(d["playmode"][2], 8000);
    EXPECT_EQ(d["reverse"][2], 16384);
    EXPECT_EQ(d["volume"][2], 11585);  // 16384 * sqrt(0.5), rounded
    EXPECT_EQ(d["end"][2], positionValue(298));

    const KitExportInput unnamed = kitExportInput(*kit, nullptr);
    EXPECT_EQ(quietExport(path, unnamed), ExportResult::NothingToExport);
}

// Files recorded at 44100 Hz load frame for frame, so a kit made of them
// exports exactly the bytes it always did (the digest below was taken from
// the loader before it learnt to convert rates).
TEST(KitExport, KitOf44100HzFilesIsExportedAsItAlwaysWas) {
    ScratchDir dir;
    const int formats[] = {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_AIFF | SF_FORMAT_PCM_24,
                           SF_FORMAT_WAV | SF_FORMAT_FLOAT};
    std::unique_ptr<Kit> kit(new Kit());
    std::string paths[3];
    const char* names[kNumKeys] = {};
    for (int k = 0; k < 3; ++k) {
        const int channels = 1 + k % 2, frames = 3000 + 1711 * k;
        std::vector<float> s(size_t(frames * channels));
        for (size_t i = 0; i < s.size(); ++i) s[i] = 1.2f * float(std::sin(0.013 * double(i * (k + 1))));
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = channels;
        info.format = formats[k];
        paths[k] = dir.file("f" + std::to_string(k) + (k == 1 ? ".aif" : ".wav"));
        SNDFILE* sf = sf_open(paths[k].c_str(), SFM_WRITE, &info);
        ASSERT_NE(sf, nullptr);
        sf_command(sf, SFC_SET_CLIPPING, nullptr, SF_TRUE);
        sf_writef_float(sf, s.data(), frames);
        sf_close(sf);
        testing::internal::CaptureStderr();
        loadKeyFile(*kit, paths[k].c_str(), k * 5, nullptr);
        testing::internal::GetCapturedStderr();
        names[k * 5] = paths[k].c_str();
    }
    kit->keyPitch[5] = 7;
    kit->keyReverse[10] = true;
    const std::string out = dir.file("kit.aif");
    ASSERT_EQ(quietExport(out, kitExportInput(*kit, names)), ExportResult::Written);
    uint64_t digest = 1469598103934665603ull;  // FNV-1a
    for (uint8_t b : readBytes(out)) digest = (digest ^ b) * 1099511628211ull;
    EXPECT_EQ(digest, 13500236152057543904ull);
}

}  // namespace
}  // namespace rimbrel
