// The per-key export: file names, which keys get a file, the files' bytes,
// and keys that cannot be written.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "FormatsTestSupport.h"
#include "formats/AiffWriter.h"
#include "formats/KitExport.h"

namespace rimbrel {
namespace {

using test::readBytes;
using test::ScratchDir;
using test::TestKit;

std::vector<int16_t> keySamples(int k, int32_t n) {
    std::vector<int16_t> s;
    for (int32_t i = 0; i < n; ++i) s.push_back(aiffSampleValue(test::testSample(k, i)));
    return s;
}

ExportResult quietSplit(const std::string& path, const KitExportInput& in, int* written = nullptr) {
    testing::internal::CaptureStderr();
    const ExportResult r = exportIndividualFiles(path.c_str(), in, written);
    testing::internal::GetCapturedStderr();
    return r;
}

TEST(IndividualExport, KeysAreNumberedByPositionAndGapsStay) {
    ScratchDir dir;
    TestKit kit;
    kit.setKey(0, 300);
    kit.setKey(2, 200, "");  // unnamed keys are written too
    int written = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(exportIndividualFiles(dir.file("Drums.aif").c_str(), kit.input(), &written), ExportResult::Written);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // no diagnostics of its own
    EXPECT_EQ(written, 2);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"Drums_01.aif", "Drums_03.aif"}));
    EXPECT_EQ(readBytes(dir.file("Drums_01.aif")), test::expectedAiff(kIndividualFileComment, keySamples(0, 300)));
    EXPECT_EQ(readBytes(dir.file("Drums_03.aif")), test::expectedAiff(kIndividualFileComment, keySamples(2, 200)));
}

TEST(IndividualExport, NamesFollowTheChosenName) {
    const struct {
        const char* chosen;
        const char* first;
        const char* last;
    } cases[] = {
        {"Take.WAV", "Take_01.aif", "Take_24.aif"},
        {"Set.AIF", "Set_01.AIF", "Set_24.AIF"},
        {"loops", "loops_01.aif", "loops_24.aif"},
        {"kit.Aifc", "kit_01.Aif", "kit_24.Aif"},
        {"kit.aiff", "kit.aiff_01.aif", "kit.aiff_24.aif"},
    };
    TestKit kit;
    for (int k = 0; k < kNumKeys; ++k) kit.setKey(k, 2);
    for (const auto& c : cases) {
        ScratchDir dir;
        int written = 0;
        EXPECT_EQ(quietSplit(dir.file(c.chosen), kit.input(), &written), ExportResult::Written) << c.chosen;
        EXPECT_EQ(written, 24);
        const auto names = dir.entries();
        ASSERT_EQ(names.size(), 24u) << c.chosen;
        EXPECT_EQ(names.front(), c.first);
        EXPECT_EQ(names.back(), c.last);
    }
}

TEST(IndividualExport, KeysOfOneFrameAreSkippedAndTwoFramesAreWritten) {
    ScratchDir dir;
    TestKit kit;
    kit.setKey(4, 1);
    kit.setKey(5, 2);
    ASSERT_EQ(quietSplit(dir.file("x.aif"), kit.input()), ExportResult::Written);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"x_06.aif"});
    const auto facts = test::readWithSndfile(dir.file("x_06.aif"));
    EXPECT_EQ(facts.frames, 2);
    EXPECT_EQ(facts.samples, keySamples(5, 2));  // all frames, the last one included
}

TEST(IndividualExport, NothingToWriteIsSilent) {
    ScratchDir dir;
    TestKit kit;
    kit.setKey(0, 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(exportIndividualFiles(dir.file("x.aif").c_str(), kit.input()), ExportResult::NothingToExport);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(dir.entries().empty());
}

TEST(IndividualExport, AFullKeyGivesAFullFile) {
    ScratchDir dir;
    TestKit kit;
    kit.setKey(23, kMaxKeyFrames);
    ASSERT_EQ(quietSplit(dir.file("big"), kit.input()), ExportResult::Written);
    const auto bytes = readBytes(dir.file("big_24.aif"));
    const uint32_t header = aiffHeaderSize(std::strlen(kIndividualFileComment));
    EXPECT_EQ(bytes.size(), header + 1058400u);
    EXPECT_EQ(test::be32(bytes, 22), uint32_t(kMaxKeyFrames));
    EXPECT_EQ(test::be32(bytes, header - 12), 8u + 1058400u);
    const auto facts = test::readWithSndfile(dir.file("big_24.aif"));
    EXPECT_EQ(facts.frames, kMaxKeyFrames);
    if (test::haveSox()) {
        EXPECT_NE(test::soxInfo(dir.file("big_24.aif")).find("529200 samples"), std::string::npos);
    }
}

TEST(IndividualExport, CommentNamesTheMaker) {
    const std::string comment = kIndividualFileComment;
    EXPECT_EQ(comment.rfind("exported from Rimbrel (", 0), 0u);
    EXPECT_EQ(comment.back(), ')');
    EXPECT_NE(comment.find("://"), std::string::npos);
}

TEST(IndividualExport, AKeyThatCannotBeWrittenIsSkippedAndTheOthersAreWritten) {
    ScratchDir dir;
    TestKit kit;
    kit.setKey(0, 10);
    kit.setKey(1, 10);
    kit.setKey(2, 10);
    std::filesystem::create_directory(dir.path() / "s_02.aif");  // stands in the way of key 1
    int written = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(exportIndividualFiles(dir.file("s.aif").c_str(), kit.input(), &written), ExportResult::Failed);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "error: 11 can't write %s: %s\n");
    EXPECT_EQ(written, 2);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"s_01.aif", "s_02.aif", "s_03.aif"}));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "s_02.aif"));
    EXPECT_EQ(readBytes(dir.file("s_03.aif")), test::expectedAiff(kIndividualFileComment, keySamples(2, 10)));
}

TEST(IndividualExport, NameWithoutRoomForTheSuffixIsRefused) {
    ScratchDir dir;
    TestKit kit;
    kit.setKey(0, 10);
    const std::string folder = dir.path().string() + "/";
    const std::string fits = folder + std::string(508 - folder.size() - 4, 'n') + ".aif";  // 508 + 3 = 511
    const std::string tooLong = folder + std::string(509 - folder.size() - 4, 'n') + ".aif";
    ASSERT_EQ(fits.size(), 508u);
    testing::internal::CaptureStderr();
    EXPECT_EQ(exportIndividualFiles(tooLong.c_str(), kit.input()), ExportResult::Refused);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Rimbrel-VST] \n export refused: the file name is too long\n");
    EXPECT_TRUE(dir.entries().empty());
    // 508 characters: the suffix still fits the buffer, but not the folder's
    // name length limit of the file system, so the writer reports it.
    testing::internal::CaptureStderr();
    exportIndividualFiles(fits.c_str(), kit.input());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("export refused"), std::string::npos);
}

}  // namespace
}  // namespace rimbrel
