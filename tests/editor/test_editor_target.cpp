// The kit target in the window: the switch below the total, what it changes
// (durations, the total's limit, the export button), pan as a display mode,
// and the OP-1 Field's exports from the export button.
#include "EditorTestSupport.h"
#include "editor/ModeSwitch.h"
#include "formats/FieldKitWriter.h"
#include "formats/KitFileReader.h"

namespace rimbrel::test {
namespace {

using gui::kControl;
using gui::kLButton;
using gui::kShift;

class EditorTargetTest : public EditorTest {
protected:
    void chooseTarget(KitTarget target) {
        const int t = target == KitTarget::Op1Field ? 1 : 0;
        ui->click(geometry::targetHalfMiddleX(t), geometry::targetSwitchMiddleY());
        ASSERT_EQ(kit().target.load(), target);
    }

    // Key k as a stereo load leaves it, its right channel also in `right`;
    // both whole multiples of 1/32768 so that 16 bits keep them exactly.
    void fillStereoKey(int k, int frames, const std::string& path, std::vector<float>& right) {
        fillKey(k, frames, path);
        std::vector<float> left(std::size_t(frames), 0.0f);
        right.assign(std::size_t(frames), 0.0f);
        for (int i = 0; i < frames; ++i) {
            left[std::size_t(i)] = float(i % 300 - 150) / 32768.0f;
            right[std::size_t(i)] = float(7 * (i % 100)) / 32768.0f;
        }
        setKeyAudio(kit(), k, left, right);
    }

    std::vector<gui::CColor> exportButtonPixels() {
        ui->render();
        std::vector<gui::CColor> pixels;
        for (int y = 73; y < 102; y += 2)
            for (int x = 14; x < 251; ++x) pixels.push_back(ui->pixel(x, y));
        return pixels;
    }
};

TEST_F(EditorTargetTest, TheSwitchSetsTheEffectsTargetAndTheWindowFollowsIt) {
    fillKey(0, 450000, "/s/a.wav");
    fillKey(1, 200000, "/s/b.wav");
    const std::vector<gui::CColor> op1Button = exportButtonPixels();
    EXPECT_EQ(editor->getTargetSwitch()->getPosition(), 0);
    EXPECT_EQ(totalText(), "Total Duration (seconds):  14.74");
    EXPECT_EQ(editor->getTotalLabel()->getFontColor(), gui::kRedCColor);

    chooseTarget(KitTarget::Op1Field);
    EXPECT_EQ(effect->getParameter(kParamTarget), 1.0f);
    // Within the Field's 20 s: no longer red, and the button names the Field.
    EXPECT_EQ(editor->getTotalLabel()->getFontColor(), gui::kWhiteCColor);
    EXPECT_NE(exportButtonPixels(), op1Button);
    fillKey(2, 300000, "/s/c.wav");
    editor->updateTotalLabel();
    EXPECT_EQ(editor->getTotalLabel()->getFontColor(), gui::kRedCColor);

    // The host sets it back: the window follows at its next refresh, and a
    // window opened later shows the effect's target.
    effect->setParameter(kParamTarget, 0.0f);
    editor->timerRefresh();
    EXPECT_EQ(editor->getTargetSwitch()->getPosition(), 0);
    EXPECT_EQ(exportButtonPixels(), op1Button);
    effect->setParameter(kParamTarget, 1.0f);
    reopenWindow();
    EXPECT_EQ(editor->getTargetSwitch()->getPosition(), 1);
    EXPECT_EQ(editor->getTotalLabel()->getText(), std::string("Total Duration (seconds):  21.54"));

    // The pan icon's hint says what each kit does with pan.
    ui->mouseMove(geometry::modeIconMiddleX(ModePan), geometry::modeIconMiddleY());
    EXPECT_EQ(editor->getStatusLine()->shownText(), "Pan");
    EXPECT_EQ(modeHint(ModePan, KitTarget::Op1), std::string("Pan (OP-1 kits ignore pan; Field kits keep it)"));
}

TEST_F(EditorTargetTest, PanIsEditedResetUndoneAndErasedLikeTheOtherSettings) {
    fillKey(0, 1000, "/s/a.wav");
    chooseMode(ModePan);
    EXPECT_EQ(valueText(0), "  C");
    EXPECT_FLOAT_EQ(editor->getNameLabel(0)->barValue, 0.5f);
    ui->click(labelX(0), labelY(0));
    EXPECT_EQ(kit().keyPan[0].load(), -1.0f);
    EXPECT_EQ(valueText(0), "L100");
    ui->click(labelX(0.75), labelY(0));
    EXPECT_FLOAT_EQ(kit().keyPan[0].load(), 0.5f);
    EXPECT_EQ(valueText(0), "R 50");
    clickLabel(0, kLButton | kControl);
    EXPECT_EQ(kit().keyPan[0].load(), 0.0f);
    EXPECT_EQ(valueText(0), "  C");

    // One step per press, newest first.
    ASSERT_TRUE(editor->undo());
    EXPECT_FLOAT_EQ(kit().keyPan[0].load(), 0.5f);
    EXPECT_EQ(valueText(0), "R 50");
    ASSERT_TRUE(editor->undo());
    EXPECT_EQ(kit().keyPan[0].load(), -1.0f);
    ASSERT_TRUE(editor->undo());
    EXPECT_EQ(kit().keyPan[0].load(), 0.0f);

    // An erase puts pan back to the centre, as every other setting.
    effect->setParameter(kParamPan + 0, 0.0f);
    chooseMode(ModeDuration);
    clickLabel(0, kLButton | kControl);
    EXPECT_EQ(kit().keyPan[0].load(), 0.0f);
    ASSERT_TRUE(editor->undo());
    EXPECT_EQ(kit().keyPan[0].load(), -1.0f);
}

TEST_F(EditorTargetTest, TheFieldKitFromTheWindowReadsBackWithItsChannelsAndPan) {
    TempDir dir;
    std::vector<float> right;
    fillStereoKey(0, 4410, "/s/stereo.wav", right);
    fillKey(2, 882, "/s/mono.wav", 0.25f);
    effect->setParameter(kParamPan + 0, 0.25f);
    chooseTarget(KitTarget::Op1Field);
    clickExport();
    ASSERT_EQ(env.fileSelectorRequests().size(), 1u);
    EXPECT_EQ(env.fileSelectorRequests()[0].title, "Export OP-1 Field Kit as..");
    env.scriptFileSelectorAnswer({dir / "night kit.aif"});
    env.pump();

    std::vector<uint8_t> bytes;
    const KitFile file = readKitFile(dir / "night kit.aif", &bytes);
    ASSERT_TRUE(file.valid()) << (file.errors.empty() ? "" : file.errors[0]);
    EXPECT_EQ(file.target, KitTarget::Op1Field);
    EXPECT_EQ(file.channels, 2);
    EXPECT_EQ(file.description.name, "night kit");
    ASSERT_TRUE(file.description.hasPan);
    EXPECT_EQ(file.description.pan[0], fieldPanValue(0.25f));
    EXPECT_EQ(file.description.pan[2], fieldPanValue(0.5f));

    std::vector<float> left, back;
    ASSERT_TRUE(decodeKitFileKey(file, bytes.data(), bytes.size(), 0, left, back));
    ASSERT_EQ(left.size(), 4409u);  // each key gives its frames but the last
    for (std::size_t i = 0; i < left.size(); ++i) {
        ASSERT_EQ(left[i], kit().keySamples[0][i]) << i;
        ASSERT_EQ(back[i], right[i]) << i;
    }
    ASSERT_TRUE(decodeKitFileKey(file, bytes.data(), bytes.size(), 2, left, back));
    EXPECT_EQ(left[10], 0.25f);
    EXPECT_EQ(back[10], 0.25f);  // a mono key on both sides
    EXPECT_EQ(editor->getStatusLine()->shownText(), "Kit exported to night kit.aif: 0.12 s, 2 keys");
}

TEST_F(EditorTargetTest, TheOriginalsKitTakesAStereoKeyAsTheMonoMixItPlays) {
    TempDir dir;
    std::vector<float> right;
    fillStereoKey(0, 1000, "/s/stereo.wav", right);
    effect->setParameter(kParamPan + 0, 0.0f);  // the original's kit has no pan
    clickExport();
    EXPECT_EQ(env.fileSelectorRequests()[0].title, "Export Op1 Kit as..");
    env.scriptFileSelectorAnswer({dir / "kit.aif"});
    env.pump();
    SF_INFO info{};
    SNDFILE* f = sf_open((dir / "kit.aif").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.channels, 1);
    ASSERT_EQ(info.frames, 999);
    std::vector<float> audio(999);
    sf_readf_float(f, audio.data(), 999);
    sf_close(f);
    for (int i : {0, 1, 151, 640})
        EXPECT_NEAR(audio[i], (right[i] + kit().keySamples[0][i]) * 0.5f, 1.0 / 32768) << i;
}

TEST_F(EditorTargetTest, AFieldKitOverTwentySecondsShowsTheMessageAndWritesNothing) {
    TempDir dir;
    fillKey(0, 441000, "/s/a.wav");
    fillKey(1, 441000, "/s/b.wav");
    chooseTarget(KitTarget::Op1Field);
    clickExport();  // exactly 20 s
    ASSERT_EQ(env.fileSelectorRequests().size(), 1u);
    fillKey(2, 1, "/s/late.wav");  // loaded while the dialog is open
    env.scriptFileSelectorAnswer({dir / "kit.aif"});
    env.pump();
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    ASSERT_EQ(env.messageBoxes().size(), 1u);
    EXPECT_EQ(env.messageBoxes()[0].caption, "Total Duration too long!");

    clickExport();
    EXPECT_EQ(env.fileSelectorRequests().size(), 1u);
    EXPECT_EQ(env.messageBoxes().size(), 2u);
    EXPECT_EQ(editor->getStatusLine()->shownText(),
              "Not exported: the kit lasts 20.00 s, 20 s at most (Ctrl-click a name to erase its key)");
}

TEST_F(EditorTargetTest, ShiftClickInTheFieldWritesOneStereoFilePerKey) {
    TempDir dir;
    std::vector<float> right;
    fillStereoKey(0, 1000, "/s/a.wav", right);
    fillKey(5, 2000, "/s/b.wav", 0.5f);
    chooseTarget(KitTarget::Op1Field);
    clickExport(kLButton | kShift);
    ASSERT_EQ(env.fileSelectorRequests().size(), 1u);
    EXPECT_EQ(env.fileSelectorRequests()[0].title, "Export individual stereo files As..");
    env.scriptFileSelectorAnswer({dir / "take.aif"});
    env.pump();
    for (auto [name, frames] : {std::pair{"take_01.aif", 1000}, std::pair{"take_06.aif", 2000}}) {
        SCOPED_TRACE(name);
        SF_INFO info{};
        SNDFILE* f = sf_open((dir / name).c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(info.channels, 2);
        ASSERT_EQ(info.frames, frames);
        std::vector<float> audio(std::size_t(2 * frames));
        sf_readf_float(f, audio.data(), frames);
        sf_close(f);
        const bool stereo = frames == 1000;
        EXPECT_EQ(audio[2 * 150 + 1], stereo ? right[150] : 0.5f);
        EXPECT_EQ(audio[2 * 150], stereo ? kit().keySamples[0][150] : 0.5f);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "take_02.aif"));
}

}  // namespace
}  // namespace rimbrel::test
