// The drop intake: which keys dropped files and folders fill, in what order,
// with what stored paths, and the hover highlights.
#include "kit/DropIntake.h"

#include "SoundFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>

namespace rimbrel {
namespace {

using namespace rimbrel::test;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

class DropIntakeTest : public testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<Kit> kit = makeKit();
    KeyNames keyNames = {};
    RecordingObserver observer;

    std::string sound(const std::string& name, int frames = 64, int seed = 0) {
        const std::string path = dir.file(name);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        writeWav(path, frames, 1, seed);
        return path;
    }
    std::string text(const std::string& name) {
        const std::string path = dir.file(name);
        writeText(path, "a text file, not a sound file, long enough to be probed\n");
        return path;
    }
    KeyMask drop(const std::vector<std::string>& items, int target, std::string* err = nullptr) {
        CaptureStderr();
        const KeyMask named = handleDrop(*kit, keyNames, items, target, &observer);
        const std::string out = GetCapturedStderr();
        if (err) *err = out;
        return named;
    }
};

std::vector<int> keysOf(const std::vector<KeyAssignment>& plan) {
    std::vector<int> keys;
    for (const KeyAssignment& a : plan) keys.push_back(a.key);
    return keys;
}

TEST(DropTargetKey, NameLabelsGiveTheirKeyEverythingElseKeyZero) {
    EXPECT_EQ(dropTargetKey(51), 0);
    EXPECT_EQ(dropTargetKey(58), 7);
    EXPECT_EQ(dropTargetKey(74), 23);
    EXPECT_EQ(dropTargetKey(197), 0);
    EXPECT_EQ(dropTargetKey(75), 0);
    EXPECT_EQ(dropTargetKey(50), 0);
    EXPECT_EQ(dropTargetKey(-3), 0);
}

TEST_F(DropIntakeTest, ThreeFilesOnKey22FillTheLastTwoKeys) {
    const auto a = sound("a.wav", 100, 1), b = sound("b.wav", 200, 2), c = sound("c.wav", 300, 3);
    EXPECT_EQ(planDrop({a, b, c}, 22), (std::vector<KeyAssignment>{{22, a}, {23, b}}));
    EXPECT_EQ(hoverKeys({a, b, c}, 22), keyBit(22) | keyBit(23));

    std::string err;
    EXPECT_EQ(drop({a, b, c}, 22, &err), keyBit(22) | keyBit(23));
    EXPECT_STREQ(keyNames[22], a.c_str());
    EXPECT_STREQ(keyNames[23], b.c_str());
    EXPECT_EQ(kit->keyLength[22], 100);
    EXPECT_EQ(kit->keyLength[23], 200);
    EXPECT_EQ(kit->keyLength[21], 0);
    EXPECT_EQ(err.rfind("[Rimbrel-VST] \n HandleDragDrop begin !\n", 0), 0u) << err;
    // Each file is examined, stored, loaded and named before the next.
    EXPECT_EQ(observer.events, (std::vector<std::string>{"closed", "loaded 22", "open", "named 22", "closed",
                                                         "loaded 23", "open", "named 23"}));
}

TEST_F(DropIntakeTest, RejectedItemsUseNoKey) {
    const std::vector<std::string> items{sound("1.wav", 11), text("2.txt"), sound("3.wav", 33), text("4.wav"),
                                         sound("5.wav", 55)};
    EXPECT_EQ(keysOf(planDrop(items, 0)), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(drop(items, 0), keyBit(0) | keyBit(1) | keyBit(2));
    EXPECT_STREQ(keyNames[0], items[0].c_str());
    EXPECT_STREQ(keyNames[1], items[2].c_str());
    EXPECT_STREQ(keyNames[2], items[4].c_str());
    EXPECT_EQ(keyNames[3][0], '\0');
    EXPECT_EQ(kit->keyLength[0], 11);
    EXPECT_EQ(kit->keyLength[1], 33);
    EXPECT_EQ(kit->keyLength[2], 55);
}

TEST_F(DropIntakeTest, OneFileGoesToTheTargetKeyReplacingWhatWasThere) {
    const auto f = sound("snare.wav", 80);
    fillKey(*kit, 7, 0.5f, 9999);
    std::strcpy(keyNames[7], "/old/path/of/a/longer/name/than/the/new/one.wav");
    EXPECT_EQ(drop({f}, dropTargetKey(197)), keyBit(0));
    EXPECT_EQ(drop({f}, dropTargetKey(58)), keyBit(7));
    EXPECT_STREQ(keyNames[0], f.c_str());
    EXPECT_STREQ(keyNames[7], f.c_str());
    EXPECT_EQ(kit->keyLength[7], 80);
    EXPECT_EQ(keyMix(*kit, 7)[79], 0.0f);
    EXPECT_EQ(keyMix(*kit, 7)[100], 0.0f);
    // A single refused file does nothing at all.
    const auto t = text("readme.txt");
    EXPECT_EQ(drop({t}, 7), 0u);
    EXPECT_STREQ(keyNames[7], f.c_str());
    EXPECT_TRUE(planDrop({}, 3).empty());
}

TEST_F(DropIntakeTest, FolderFillsKeysFromZeroInNameOrderSkippingSubfolders) {
    // 30 sound files, shuffled creation order, plus subfolders that hold sound
    // files of their own.
    std::vector<std::string> expected;
    for (int i = 0; i < 30; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "kit/%s%02d.wav", (i % 2) ? "Hit" : "hit", i);
        expected.push_back(dir.file(name));
    }
    for (int i = 29; i >= 0; --i) sound(expected[i].substr(dir.path().string().size() + 1), 40 + i, i);
    sound("kit/hit05a/inner.wav");
    sound("kit/HIT10z/inner.wav");
    const std::string folder = dir.file("kit");

    const std::vector<KeyAssignment> plan = planDrop({folder}, 10);
    ASSERT_EQ(plan.size(), 24u);
    for (int k = 0; k < 24; ++k) EXPECT_EQ(plan[k], (KeyAssignment{k, expected[k]})) << k;
    EXPECT_EQ(hoverKeys({folder}, 10), (KeyMask(1) << 24) - 1) << "a folder lights the keys it fills";

    EXPECT_EQ(drop({folder}, 10), (KeyMask(1) << 24) - 1);
    for (int k = 0; k < 24; ++k) {
        EXPECT_STREQ(keyNames[k], expected[k].c_str());
        EXPECT_EQ(kit->keyLength[k], 40 + k);
    }
    // Trailing separators are not doubled.
    EXPECT_EQ(planDrop({folder + "/"}, 0)[0].path, expected[0]);
}

TEST_F(DropIntakeTest, FolderIntakeOverAFilledKitKeepsKeysPastTheLastFile) {
    sound("drop/a.wav", 70);
    text("drop/b.txt");
    fillKey(*kit, 0, 0.25f, 500);
    fillKey(*kit, 1, 0.25f, 600);
    std::strcpy(keyNames[1], "/earlier/sample.wav");

    EXPECT_EQ(drop({dir.file("drop")}, 5), keyBit(0));
    EXPECT_STREQ(keyNames[0], dir.file("drop/a.wav").c_str());
    EXPECT_EQ(kit->keyLength[0], 70);
    EXPECT_STREQ(keyNames[1], "/earlier/sample.wav");
    EXPECT_EQ(kit->keyLength[1], 600);
    EXPECT_EQ(kit->keySamples[1][300], 0.25f);
}

TEST_F(DropIntakeTest, FolderIntakeExaminesAtMost512Entries) {
    // 511 text files sort ahead of two sound files: only the first of those
    // is among the 512 entries examined.
    for (int i = 0; i < 511; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "big/a%03d.txt", i);
        std::filesystem::create_directories(dir.file("big"));
        writeText(dir.file(name), "x");
    }
    sound("big/b.wav");
    sound("big/c.wav");
    EXPECT_EQ(planDrop({dir.file("big")}, 0), (std::vector<KeyAssignment>{{0, dir.file("big/b.wav")}}));
    std::filesystem::create_directories(dir.file("empty"));
    EXPECT_TRUE(planDrop({dir.file("empty")}, 0).empty());
}

TEST_F(DropIntakeTest, FolderDroppedWithAFileIsRefused) {
    sound("drums/kick.wav");
    const auto f = sound("hat.wav", 90);
    EXPECT_EQ(planDrop({dir.file("drums"), f}, 4), (std::vector<KeyAssignment>{{4, f}}));
    EXPECT_EQ(hoverKeys({dir.file("drums"), f}, 4), keyBit(4));
    EXPECT_EQ(drop({dir.file("drums"), f}, 4), keyBit(4));
    EXPECT_EQ(kit->keyLength[4], 90);
    EXPECT_EQ(kit->keyLength[5], 0);
}

TEST_F(DropIntakeTest, HoverShowsTheKeysADropWouldFill) {
    const auto a = sound("a.wav"), b = sound("b.wav");
    const auto t = text("t.txt");
    EXPECT_EQ(hoverKeys({a, b, t}, 23), keyBit(23));
    EXPECT_EQ(hoverKeys({t, a, b}, 0), keyBit(0) | keyBit(1));
    EXPECT_EQ(hoverKeys({a}, 24), 0u);
    EXPECT_EQ(hoverKeys({a}, -1), 0u);
    EXPECT_EQ(hoverKeys({}, 3), 0u);
}

TEST_F(DropIntakeTest, PathsTooLongToStoreAreRefusedWithALine) {
    // A folder whose files' full paths pass 511 bytes.
    std::string deep = "deep";
    while (dir.file(deep).size() < 490) deep += "/" + std::string(60, 'd');
    const auto shortOne = sound("a.wav");
    const std::string longOne = sound(deep + "/" + std::string(40, 'n') + ".wav");
    ASSERT_GT(longOne.size(), 511u);
    std::string err;
    EXPECT_EQ(drop({longOne, shortOne}, 2, &err), keyBit(2));
    EXPECT_STREQ(keyNames[2], shortOne.c_str());
    const std::string head = "[Rimbrel-VST] \n HandleDragDrop begin !\n[Rimbrel-VST] path too long: " + longOne +
                             "\n[Rimbrel-VST]  DoXPlatLoadStuff " + shortOne;
    EXPECT_EQ(err.substr(0, head.size()), head);
    EXPECT_EQ(hoverKeys({longOne, shortOne}, 2), keyBit(2));
}

TEST_F(DropIntakeTest, KitFileWithSignatureLoadsOntoOneKey) {
    // An AIFF laid out like an exported kit: COMM, then an APPL chunk whose
    // body starts with "op-1" at byte 46, then the sound.
    const int frames = 1000;
    std::string b;
    auto be32 = [&b](uint32_t v) { for (int s = 24; s >= 0; s -= 8) b.push_back(char((v >> s) & 0xff)); };
    auto be16 = [&b](uint16_t v) { b.push_back(char(v >> 8)); b.push_back(char(v & 0xff)); };
    const std::string appl = "op-1{\"type\":\"drum\"} ";  // 20 bytes, even
    const uint32_t ssndSize = 8 + frames * 2;
    b += "FORM";
    be32(4 + 26 + 8 + uint32_t(appl.size()) + 8 + ssndSize);
    b += "AIFF";
    b += "COMM";
    be32(18);
    be16(1);
    be32(frames);
    be16(16);
    b += std::string("\x40\x0e\xac\x44\0\0\0\0\0\0", 10);
    b += "APPL";
    be32(uint32_t(appl.size()));
    b += appl;
    b += "SSND";
    be32(ssndSize);
    be32(0);
    be32(0);
    for (int i = 0; i < frames; ++i) be16(uint16_t(int16_t(i * 16)));
    ASSERT_EQ(appl.size() % 2, 0u);
    ASSERT_EQ(b.substr(46, 4), "op-1");
    const std::string kitFile = dir.file("exported.aif");
    writeText(kitFile, b);

    EXPECT_EQ(drop({kitFile}, 3), keyBit(3));
    EXPECT_EQ(kit->keyLength[3], frames);
    EXPECT_EQ(kit->keySamples[3][2], 0.0f);
    EXPECT_EQ(kit->keySamples[3][3], 16.0f / 32768.0f);
    EXPECT_EQ(kit->keySamples[3][frames - 4], float((frames - 6) * 16) / 32768.0f);
}

TEST_F(DropIntakeTest, FailedLoadKeepsTheKeysOldNameAndAudioAndSaysWhy) {
    // Accepted by the signature, but no sound in it; accepted by its header,
    // but with three channels. Each still uses its key, which keeps the name
    // of the sound it holds.
    const std::string fake = dir.file("fake.aif");
    writeText(fake, std::string(46, '-') + "op-1 nothing else");
    const std::string three = dir.file("three.wav");
    writeWav(three, 100, 3);
    const std::string good = sound("good.wav", 80);
    fillKey(*kit, 6, 0.5f, 1200);
    std::snprintf(keyNames[6], kKeyNameSize, "/old/six.wav");
    fillKey(*kit, 7, 0.25f, 700);
    std::snprintf(keyNames[7], kKeyNameSize, "/old/seven.wav");
    std::string err;
    EXPECT_EQ(drop({fake, three, good}, 6, &err), keyBit(8));
    EXPECT_STREQ(keyNames[6], "/old/six.wav");
    EXPECT_STREQ(keyNames[7], "/old/seven.wav");
    EXPECT_STREQ(keyNames[8], good.c_str());
    EXPECT_EQ(kit->keyLength[6], 1200);
    EXPECT_EQ(kit->keySamples[6][10], 0.5f);
    EXPECT_EQ(kit->keyLength[7], 700);
    EXPECT_EQ(kit->keyLength[8], 80);
    EXPECT_NE(err.find("[Rimbrel-VST] \n not a sound file libsndfile reads, key 6 unchanged\n"), std::string::npos)
        << err;
    EXPECT_NE(err.find("[Rimbrel-VST] \n 3 channels: a key takes mono or stereo files, key 7 unchanged\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(observer.events, (std::vector<std::string>{"closed", "open", "closed", "open", "closed", "loaded 8",
                                                         "open", "named 8"}));
}

TEST_F(DropIntakeTest, PlanAppliedLaterFillsTheSameKeys) {
    const auto a = sound("a.wav", 20), b = sound("b.wav", 30);
    const auto plan = planDrop({a, text("x.txt"), b}, 9);
    CaptureStderr();
    EXPECT_EQ(applyDropPlan(*kit, keyNames, plan, nullptr), keyBit(9) | keyBit(10));
    GetCapturedStderr();
    EXPECT_STREQ(keyNames[9], a.c_str());
    EXPECT_STREQ(keyNames[10], b.c_str());
    EXPECT_EQ(kit->keyLength[10], 30);
}

}  // namespace
}  // namespace rimbrel
