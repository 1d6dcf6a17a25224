// The export button: what it counts, which dialog it opens, the too-long
// message, and what the dialog's answer writes.
#include "EditorTestSupport.h"
#include "formats/KitExport.h"
#include "formats/KitFileReader.h"

namespace rimbrel::test {
namespace {

using gui::kControl;
using gui::kLButton;
using gui::kShift;

TEST_F(EditorTest, ExportOfAKitWithNothingNamedAndFilledDoesNothing) {
    clickExport();
    // Audio without a name, and a name without audio.
    kit().keyLength[0] = 1000;
    std::snprintf(editor->keyNames[1], kKeyNameSize, "/s/named.wav");
    // A first byte of 128 or more is no name.
    kit().keyLength[2] = 1000;
    std::snprintf(editor->keyNames[2], kKeyNameSize, "\xC3\xA9.wav");
    clickExport();
    clickExport(kLButton | kShift);
    EXPECT_TRUE(env.fileSelectorRequests().empty());
    EXPECT_TRUE(env.messageBoxes().empty());
    EXPECT_EQ(editor->getPendingSelector(), 0);
}

TEST_F(EditorTest, AKitOfExactlyTwelveSecondsOpensTheKitDialog) {
    fillKey(0, 529200 - 100, "/s/long.wav");
    fillKey(1, 100, "/s/short.wav");
    clickExport();
    ASSERT_EQ(env.fileSelectorRequests().size(), 1u);
    const gui::FileSelectorRequest& request = env.fileSelectorRequests()[0];
    EXPECT_EQ(request.title, "Export Op1 Kit as..");
    EXPECT_EQ(request.style, gui::FileSelectorRequest::Style::SelectSaveFile);
    ASSERT_EQ(request.extensions.size(), 1u);
    EXPECT_EQ(request.extensions[0].description, "AIFF");
    EXPECT_EQ(request.extensions[0].extension, "aif");
    EXPECT_EQ(request.extensions[0].mimeType, "audio/x-aiff");
    EXPECT_EQ(editor->getPendingSelector(), kSelectorKitExport);
    EXPECT_TRUE(env.messageBoxes().empty());
    // The press alone opens nothing; only the release inside does.
    EXPECT_EQ(env.pendingFileSelectors(), 1);
}

TEST_F(EditorTest, AKitOneFrameTooLongShowsTheMessageInstead) {
    fillKey(0, 529200 - 100, "/s/long.wav");
    fillKey(1, 101, "/s/short.wav");
    clickExport();
    EXPECT_TRUE(env.fileSelectorRequests().empty());
    ASSERT_EQ(env.messageBoxes().size(), 1u);
    EXPECT_EQ(env.messageBoxes()[0].caption, "Total Duration too long!");
    EXPECT_EQ(env.messageBoxes()[0].text,
              "please erase some sounds (Ctrl-click) or replace with shorter ones!");
    EXPECT_EQ(editor->getPendingSelector(), 0);
    // Shift+Ctrl is a plain click: the same message.
    clickExport(kLButton | kShift | kControl);
    EXPECT_EQ(env.messageBoxes().size(), 2u);
    EXPECT_TRUE(env.fileSelectorRequests().empty());
    // A release outside the button exports nothing.
    ui->mouseDown(100, 85);
    ui->mouseUp(400, 400);
    EXPECT_EQ(env.messageBoxes().size(), 2u);
}

TEST_F(EditorTest, ShiftClickExportsIndividuallyWhateverTheLength) {
    fillKey(0, 529200, "/s/a.wav");
    fillKey(1, 529200, "/s/b.wav");
    clickExport(kLButton | kShift);
    ASSERT_EQ(env.fileSelectorRequests().size(), 1u);
    EXPECT_EQ(env.fileSelectorRequests()[0].title, "Export individual files As..");
    EXPECT_EQ(env.fileSelectorRequests()[0].extensions.size(), 1u);
    EXPECT_EQ(editor->getPendingSelector(), kSelectorIndividualExport);
    EXPECT_TRUE(env.messageBoxes().empty());
}

TEST_F(EditorTest, ACancelledDialogWritesNothing) {
    TempDir dir;
    fillKey(0, 1000, "/s/a.wav");
    clickExport();
    ASSERT_EQ(editor->getPendingSelector(), kSelectorKitExport);
    env.scriptFileSelectorAnswer({});
    env.pump();
    EXPECT_EQ(editor->getPendingSelector(), 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_EQ(editor->getNbReference(), 1);
}

TEST_F(EditorTest, TheDialogsAnswerWritesAKitThatReadsBack) {
    TempDir dir;
    fillKey(0, 4410, "/s/kick.wav", 0.5f);
    fillKey(2, 8820, "/s/snare.wav", -0.25f);
    effect->setParameter(kParamPitch + 2, 0.75f);
    clickExport();
    env.scriptFileSelectorAnswer({dir / "mykit.aif"});
    env.pump();
    EXPECT_EQ(editor->getPendingSelector(), 0);

    SF_INFO info{};
    SNDFILE* f = sf_open((dir / "mykit.aif").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_AIFF);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
    // Each key gives its frames but the last.
    ASSERT_EQ(info.frames, 4409 + 8819);
    std::vector<float> audio(std::size_t(info.frames));
    sf_readf_float(f, audio.data(), info.frames);
    sf_close(f);
    EXPECT_NEAR(audio[100], 0.5f, 1e-3);
    EXPECT_NEAR(audio[4409 + 100], -0.25f, 1e-3);

    const KitFile kitFile = readKitFile(dir / "mykit.aif");
    ASSERT_TRUE(kitFile.valid()) << (kitFile.errors.empty() ? "" : kitFile.errors[0]);
    const KitFileDescription& d = kitFile.description;
    ASSERT_TRUE(d.present && d.parsed && d.hasStart && d.hasEnd && d.hasPitch && d.hasVolume);
    EXPECT_EQ(d.start[0], 0);
    EXPECT_EQ(d.end[0], positionValue(4408));
    EXPECT_EQ(d.start[2], positionValue(4409));
    EXPECT_EQ(d.end[2], positionValue(4409 + 8818));
    // The settings as the effect's parameters give them.
    EXPECT_EQ(d.pitch[2], 24 * 512);
    EXPECT_EQ(d.pitch[0], 0);
    EXPECT_EQ(d.volume[2], volumeValue(0.5f));
    EXPECT_EQ(d.playmode[0], playModeValue(0.5f));
}

TEST_F(EditorTest, AClickWhileADialogIsOpenBringsNothingNewAndTheDialogKeepsItsKind) {
    TempDir dir;
    fillKey(0, 1000, "/s/a.wav");
    clickExport();
    clickExport(kLButton | kShift);
    clickExport();
    ASSERT_EQ(env.fileSelectorRequests().size(), 1u);
    EXPECT_EQ(editor->getPendingSelector(), kSelectorKitExport);
    env.scriptFileSelectorAnswer({dir / "kit.aif"});
    env.pump();
    EXPECT_EQ(readKitFile(dir / "kit.aif").description.present, true);
    EXPECT_FALSE(std::filesystem::exists(dir / "kit_01.aif"));
    // Once it has ended, a click opens a dialog again.
    clickExport(kLButton | kShift);
    EXPECT_EQ(env.fileSelectorRequests().size(), 2u);
    EXPECT_EQ(editor->getPendingSelector(), kSelectorIndividualExport);
}

TEST_F(EditorTest, AKitChangedWhileItsDialogIsOpenIsCheckedAgainAtTheAnswer) {
    TempDir dir;
    fillKey(0, 529200 - 100, "/s/long.wav");
    clickExport();
    fillKey(1, 101, "/s/late.wav");  // loaded while the dialog is open
    env.scriptFileSelectorAnswer({dir / "kit.aif"});
    env.pump();
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    ASSERT_EQ(env.messageBoxes().size(), 1u);
    EXPECT_EQ(env.messageBoxes()[0].caption, "Total Duration too long!");
    EXPECT_EQ(editor->getPendingSelector(), 0);

    // Everything erased while the dialog is open: no file and no message.
    clickLabel(1, kLButton | kControl);
    clickExport();
    clickLabel(0, kLButton | kControl | kShift);
    env.scriptFileSelectorAnswer({dir / "kit.aif"});
    env.pump();
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_EQ(env.messageBoxes().size(), 1u);
}

TEST_F(EditorTest, AnIndividualExportWritesOneFilePerKey) {
    TempDir dir;
    fillKey(0, 1000, "/s/a.wav");
    fillKey(5, 2000, "/s/b.wav");
    clickExport(kLButton | kShift);
    env.scriptFileSelectorAnswer({dir / "take.aif"});
    env.pump();
    EXPECT_TRUE(std::filesystem::exists(dir / "take_01.aif"));
    EXPECT_TRUE(std::filesystem::exists(dir / "take_06.aif"));
    EXPECT_FALSE(std::filesystem::exists(dir / "take_02.aif"));
    EXPECT_FALSE(std::filesystem::exists(dir / "take.aif"));
    EXPECT_EQ(editor->getPendingSelector(), 0);
}

TEST_F(EditorTest, AChosenPathTooLongForTheExportIsRefusedNotShortened) {
    TempDir dir;
    fillKey(0, 1000, "/s/a.wav");
    clickExport();
    const std::string deep = dir / (std::string(200, 'x') + "/" + std::string(200, 'y') + "/" +
                                    std::string(200, 'z') + ".aif");
    ASSERT_GT(deep.size(), 600u);
    env.scriptFileSelectorAnswer({deep});
    env.pump();
    EXPECT_EQ(editor->getPendingSelector(), 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(EditorTest, NoDialogMeansNothingPending) {
    fillKey(0, 1000, "/s/a.wav");
    env.refuseFileSelectors(true);
    clickExport();
    EXPECT_EQ(editor->getPendingSelector(), 0);
    EXPECT_EQ(editor->getNbReference(), 1);
}

TEST_F(EditorTest, ClosingTheWindowDropsAPendingDialog) {
    fillKey(0, 1000, "/s/a.wav");
    clickExport();
    ASSERT_EQ(env.pendingFileSelectors(), 1);
    EXPECT_GT(editor->getNbReference(), 1);  // the running dialog holds its receiver
    editor->close();
    EXPECT_EQ(env.pendingFileSelectors(), 0);
    EXPECT_EQ(editor->getPendingSelector(), 0);
    EXPECT_EQ(editor->getNbReference(), 1);
    openWindow();
}

TEST_F(EditorTest, OnlyTheSelectorsEndMessageFromASelectorIsHandled) {
    EXPECT_EQ(editor->notify(nullptr, "something else"), gui::kMessageUnknown);
    EXPECT_EQ(editor->notify(editor->getRefreshTimer(), gui::kMsgNewFileSelectorSelectEnd),
              gui::kMessageUnknown);
    EXPECT_EQ(editor->notify(editor->getRefreshTimer(), "timer fired"), gui::kMessageNotified);
}

}  // namespace
}  // namespace rimbrel::test
