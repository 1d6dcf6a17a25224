// Opening a kit file for editing: the reference kits taken apart into the
// keys their descriptions give, the round trip through the export, and kits
// whose positions are hostile or whose description is damaged.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "FormatsTestSupport.h"
#include "formats/FieldKitWriter.h"
#include "formats/KitFileReader.h"
#include "formats/KitOpening.h"
#include "kit/ParameterMap.h"

namespace rimbrel {
namespace {

using test::ScratchDir;

std::string referenceKit(const char* name) {
    const std::filesystem::path p = std::filesystem::path(RIMBREL_REFERENCE_KITS) / name;
    return std::filesystem::exists(p) ? p.string() : std::string();
}

// Key k's frames as the description gives them: end - start + 1, and one
// silent frame more; 0 for an unused key.
int32_t expectedLength(const KitFile& f, int k) {
    const KitFileDescription& d = f.description;
    if (d.end[k] <= d.start[k] || (k > 0 && d.start[k] == d.start[k - 1] && d.end[k] == d.end[k - 1])) return 0;
    const double scale = f.positionScaleFrames();
    return int32_t(positionToFrame(d.end[k], scale) - positionToFrame(d.start[k], scale)) + 2;
}

struct Expected {
    const char* file;
    KitTarget target;
    int keys;
};

TEST(KitOpening, ReferenceKitsOpenIntoTheKeysTheirDescriptionGives) {
    for (const Expected& e : {Expected{"op1_device_drumv1_tr808.aif", KitTarget::Op1, 24},
                              Expected{"te_drum_utility_web_808.aif", KitTarget::Op1, 17},
                              Expected{"op1field_device_stereo_20s.aif", KitTarget::Op1Field, 24}}) {
        const std::string path = referenceKit(e.file);
        if (path.empty()) GTEST_SKIP() << "reference kit " << e.file << " absent";
        SCOPED_TRACE(e.file);
        EXPECT_TRUE(isKitFile(path));
        const KitFile f = readKitFile(path);
        const OpenedKit kit = openKitFile(path);
        ASSERT_TRUE(kit.opened) << kit.error;
        EXPECT_EQ(kit.target, e.target);
        EXPECT_EQ(kit.keysWithAudio, e.keys);
        EXPECT_EQ(kit.keysCut, 0);
        const std::string stem = std::filesystem::path(e.file).stem().string();
        for (int k = 0; k < kNumKeys; ++k) {
            const OpenedKey& key = kit.keys[k];
            EXPECT_EQ(key.audio.length, expectedLength(f, k)) << k;
            EXPECT_EQ(key.audio.channels(), key.audio.length ? f.channels : 0) << k;
            EXPECT_EQ(key.name, key.audio.length ? stem + " #" + std::to_string(k + 1) : "") << k;
            if (key.audio.length) {
                EXPECT_EQ(key.audio.left[key.audio.length - 1], 0.0f) << k;
            }
        }
    }
    const std::string tr808 = referenceKit("op1_device_drumv1_tr808.aif");
    const OpenedKit kit = openKitFile(tr808);
    EXPECT_EQ(kit.keys[20].settings.pitch, -13);  // -6400: a negative semitone 256 higher
    EXPECT_EQ(kit.keys[23].settings.pitch, -5);
    EXPECT_EQ(kit.keys[0].settings.playMode, PlayModeOneShot);
    EXPECT_FLOAT_EQ(kit.keys[11].settings.volume, param::volumeFromParameter(12002.0f / 16384.0f));
    const OpenedKit field = openKitFile(referenceKit("op1field_device_stereo_20s.aif"));
    EXPECT_EQ(field.keys[0].settings.playMode, PlayModeOneShot);  // 12288
    EXPECT_EQ(field.keys[10].settings.playMode, PlayModeGate);    // 4096
    EXPECT_FALSE(field.keys[0].settings.reverse);                 // 12000
    EXPECT_EQ(field.keys[0].settings.pan, 0.0f);
    // The frames are the file's own, both channels, from the key's start on.
    std::vector<float> left, right;
    const auto bytes = test::readBytes(referenceKit("op1field_device_stereo_20s.aif"));
    ASSERT_TRUE(decodeKitFileKey(parseKitFile(bytes.data(), bytes.size()), bytes.data(), bytes.size(), 3, left, right));
    ASSERT_EQ(std::size_t(field.keys[3].audio.length), left.size() + 1);
    EXPECT_TRUE(std::equal(left.begin(), left.end(), field.keys[3].audio.left.get()));
    EXPECT_TRUE(std::equal(right.begin(), right.end(), field.keys[3].audio.right.get()));
}

// Exports an opened kit unchanged and opens the export again.
OpenedKit reopenedAfterExport(OpenedKit& first, const std::string& out) {
    Kit kit;
    KeyNames names{};
    putOpenedKit(kit, names, first, nullptr);
    const char* keyNames[kNumKeys];
    for (int k = 0; k < kNumKeys; ++k) keyNames[k] = names[k];
    const ExportResult written = kit.target == KitTarget::Op1Field
                                     ? exportFieldKit(out.c_str(), fieldKitInput(kit, keyNames))
                                     : exportKit(out.c_str(), kitExportInput(kit, keyNames));
    EXPECT_EQ(written, ExportResult::Written);
    return openKitFile(out);
}

TEST(KitOpening, AnOpenedKitExportedUnchangedOpensAlike) {
    ScratchDir dir;
    for (const char* name : {"op1_device_drumv1_tr808.aif", "op1field_device_stereo_20s.aif"}) {
        const std::string path = referenceKit(name);
        if (path.empty()) GTEST_SKIP() << "reference kit " << name << " absent";
        SCOPED_TRACE(name);
        const OpenedKit original = openKitFile(path);
        OpenedKit first = openKitFile(path);
        const OpenedKit again = reopenedAfterExport(first, dir.file("again.aif"));
        ASSERT_TRUE(again.opened) << again.error;
        EXPECT_EQ(again.target, original.target);
        for (int k = 0; k < kNumKeys; ++k) {
            const KeyAudioBuffers& a = original.keys[k].audio;
            const KeyAudioBuffers& b = again.keys[k].audio;
            ASSERT_EQ(a.length, b.length) << k;
            ASSERT_EQ(a.channels(), b.channels()) << k;
            for (int32_t i = 0; i < a.length; ++i) {
                ASSERT_EQ(a.left[i], b.left[i]) << k << " " << i;
                if (a.right) {
                    ASSERT_EQ(a.right[i], b.right[i]) << k << " " << i;
                }
            }
            EXPECT_EQ(again.keys[k].settings, original.keys[k].settings) << k;
        }
    }
}

// A kit of `frames` frames (sample i = i / 32768 on every channel) with the
// description given.
std::vector<uint8_t> kitBytes(uint32_t frames, const std::string& description, char channels = 1) {
    std::vector<uint8_t> b = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'A', 'I', 'F', 'F'};
    auto chunk = [&b](const char* id, const std::string& body) {
        b.insert(b.end(), id, id + 4);
        const uint32_t n = uint32_t(body.size());
        for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(n >> s));
        b.insert(b.end(), body.begin(), body.end());
        if (n & 1) b.push_back(0);
    };
    chunk("COMM", {0, channels, char(frames >> 24), char(frames >> 16), char(frames >> 8), char(frames), 0, 16, 0x40, 0x0E,
                   char(0xAC), 0x44, 0, 0, 0, 0, 0, 0});
    chunk("APPL", "op-1" + description);
    std::string samples(8, '\0');
    for (uint32_t i = 0; i < frames; ++i)
        for (char c = 0; c < channels; ++c) samples += {char(i >> 8 & 0x7f), char(i)};
    chunk("SSND", samples);
    const uint32_t form = uint32_t(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[4 + std::size_t(i)] = uint8_t(form >> (24 - 8 * i));
    return b;
}

std::string positions(const char* key, std::initializer_list<long long> first) {
    std::string s = std::string("\"") + key + "\":[";
    int n = 0;
    for (long long v : first) s += (n++ ? "," : "") + std::to_string(v);
    for (; n < kNumKeys; ++n) s += ",0";
    return s + "]";
}

TEST(KitOpening, HostilePositionsAreCutAndDamagedKitsRefused) {
    constexpr long long kFrame = 4058;  // a little more than one frame's position units
    // 1000 frames; key 0 runs past the audio, key 1 is reversed, key 2 huge,
    // key 3 negative to frame 10, key 4 repeats key 0's start (overlap).
    const std::string hostile = "{\"type\":\"drum\"," +
                                positions("start", {100 * kFrame, 50 * kFrame, 0, -5, 100 * kFrame}) + "," +
                                positions("end", {5000 * kFrame, 10 * kFrame, 99999999999LL, 10 * kFrame,
                                                  200 * kFrame}) +
                                "}";
    const auto bytes = kitBytes(1000, hostile);
    const OpenedKit kit = takeKitApart(bytes.data(), bytes.size(), "hostile");
    ASSERT_TRUE(kit.opened) << kit.error;
    EXPECT_EQ(kit.keysCut, 2);
    EXPECT_EQ(kit.keys[0].audio.length, 900 + 1);
    EXPECT_EQ(kit.keys[0].audio.left[0], 100.0f / 32768.0f);
    EXPECT_EQ(kit.keys[1].audio.length, 0);
    EXPECT_EQ(kit.keys[2].audio.length, 1000 + 1);
    EXPECT_EQ(kit.keys[3].audio.length, 11 + 1);
    EXPECT_EQ(kit.keys[4].audio.left[0], kit.keys[0].audio.left[0]);
    EXPECT_EQ(kit.keysWithAudio, 4);

    ScratchDir dir;
    test::writeBytes(dir.file("hostile.aif"), bytes);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(openKitFile(dir.file("hostile.aif")).opened);
    const std::string lines = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
    EXPECT_NE(lines.find("cut"), std::string::npos) << lines;

    for (const std::string& damaged :
         {std::string("{\"type\":\"drum\",\"start\":[0,"), std::string("{\"type\":\"drum\"}"),
          "{\"type\":\"drum\"," + positions("start", {}) + "," + positions("end", {}) + "}"}) {
        const auto b = kitBytes(100, damaged);
        const OpenedKit refused = takeKitApart(b.data(), b.size(), "damaged");
        EXPECT_FALSE(refused.opened) << damaged;
        EXPECT_FALSE(refused.error.empty()) << damaged;
    }
    // Other kinds of op-1 files are sounds, not kits.
    test::writeBytes(dir.file("sampler.aif"), kitBytes(100, "{\"type\":\"sampler\"}"));
    EXPECT_FALSE(isKitFile(dir.file("sampler.aif")));
    test::writeBytes(dir.file("broken.aif"), kitBytes(100, "{\"type\":"));
    EXPECT_TRUE(isKitFile(dir.file("broken.aif")));
    ASSERT_EQ(mkfifo(dir.file("pipe.aif").c_str(), 0600), 0);
    EXPECT_FALSE(isKitFile(dir.file("pipe.aif")));  // a pipe is never opened to wait on
}

TEST(KitOpening, TheFieldsFourthPlayModeIsKeptForItsExportWhileTheKeyIsUnchanged) {
    constexpr long long kFrame = 2435;  // a little more than one frame on the 20 s scale
    const std::string field = "{\"type\":\"drum\",\"stereo\":true," + positions("start", {0, 200 * kFrame}) + "," +
                              positions("end", {100 * kFrame, 300 * kFrame}) + "," +
                              positions("playmode", {20000, 24000}) + "}";
    const auto bytes = kitBytes(400, field, 2);
    OpenedKit opened = takeKitApart(bytes.data(), bytes.size(), "field");
    ASSERT_TRUE(opened.opened) << opened.error;
    EXPECT_EQ(opened.keys[0].settings.playMode, PlayModeOneShot);  // the nearer of one-shot and loop
    EXPECT_EQ(opened.keys[1].settings.playMode, PlayModeLoop);
    Kit kit;
    KeyNames names{};
    putOpenedKit(kit, names, opened, nullptr);
    kit.keyPlayMode[0] = PlayModeGate;  // changed in the window: its own value again
    ScratchDir dir;
    const char* keyNames[kNumKeys] = {names[0], names[1]};
    ASSERT_EQ(exportFieldKit(dir.file("out.aif").c_str(), fieldKitInput(kit, keyNames)), ExportResult::Written);
    const KitFile out = readKitFile(dir.file("out.aif"));
    EXPECT_EQ(out.description.playmode[0], fieldPlayModeValue(param::playModeToParameter(PlayModeGate)));
    EXPECT_EQ(out.description.playmode[1], 24000);
    eraseKeyAudio(kit, 1);  // new audio, no held value
    EXPECT_EQ(kit.fieldPlayModeHeld(1), -1);
}

}  // namespace
}  // namespace rimbrel
