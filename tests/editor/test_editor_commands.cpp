// Clicks, drags of names onto names and the mode switch, sent through the frame.
#include "EditorTestSupport.h"

namespace rimbrel::test {
namespace {

using gui::kAlt;
using gui::kControl;
using gui::kLButton;
using gui::kShift;

void setAllSettings(TambletEdit* effect, int k, float v) {
    effect->setParameter(kParamPitch + k, v);
    effect->setParameter(kParamPlayMode + k, v);
    effect->setParameter(kParamReverse + k, v);
    effect->setParameter(kParamVolume + k, v);
}

void expectDefaultSettings(Kit& kit, int k) {
    EXPECT_EQ(kit.keyPitch[k].load(), 0);
    EXPECT_EQ(kit.keyPlayMode[k].load(), PlayModeOneShot);
    EXPECT_FALSE(kit.keyReverse[k].load());
    EXPECT_FLOAT_EQ(kit.keyVolume[k].load(), 1.0f);
}

// ---- durations mode: audition and erase ----

TEST_F(EditorTest, ClicksOnKeysAndNamesAudition) {
    ui->click(300, 160);  // white key F (key 0)
    EXPECT_EQ(takeAuditions(), keyBit(0));
    ui->click(370, 225);  // black key G sharp (key 3)
    EXPECT_EQ(takeAuditions(), keyBit(3));
    ui->click(370, 520);  // key 15
    EXPECT_EQ(takeAuditions(), keyBit(15));
    clickLabel(9);
    EXPECT_EQ(takeAuditions(), keyBit(9));
    // Ctrl+Alt is no erase: a plain click.
    fillKey(9, 100, "/s/a.wav");
    clickLabel(9, kLButton | kControl | kAlt);
    EXPECT_EQ(takeAuditions(), keyBit(9));
    EXPECT_EQ(kit().keyLength[9], 100);
    // The drop button takes no clicks.
    ui->click(100, 40);
    EXPECT_EQ(takeAuditions(), 0u);
}

TEST_F(EditorTest, CtrlClickOnAnEmptyKeyStillResetsItsSettings) {
    setAllSettings(effect, 4, 1.0f);
    ASSERT_EQ(kit().keyPitch[4].load(), 48);
    clickLabel(4, kLButton | kControl);
    expectDefaultSettings(kit(), 4);
    EXPECT_EQ(nameText(4), "  ");
    EXPECT_EQ(valueText(4), "  ");
    EXPECT_EQ(takeAuditions(), 0u);
}

TEST_F(EditorTest, CtrlClickErasesOneKeyButKeepsItsFramesAndTheOthers) {
    fillKey(2, 1000, "/s/a.wav", 0.25f);
    fillKey(3, 2000, "/s/b.wav");
    setAllSettings(effect, 2, 0.0f);
    kit().keyPlaying[2] = true;
    kit().keyPosition[2] = 17.0;
    clickLabel(2, kLButton | kControl);
    EXPECT_EQ(kit().keyLength[2], 0);
    EXPECT_EQ(editor->keyNames[2][0], 0);
    EXPECT_FALSE(editor->getNameLabel(2)->hasName);
    EXPECT_EQ(nameText(2), "  ");
    EXPECT_EQ(valueText(2), "  ");
    EXPECT_EQ(kit().keySamples[2], nullptr);  // the key's memory is freed
    EXPECT_TRUE(kit().keyPlaying[2].load());  // erase stops nothing
    EXPECT_EQ(kit().keyPosition[2], 17.0);
    expectDefaultSettings(kit(), 2);
    EXPECT_EQ(kit().keyLength[3], 2000);
    EXPECT_EQ(totalText(), "Total Duration (seconds):  0.05");
}

TEST_F(EditorTest, CtrlShiftClickEmptiesEveryKey) {
    for (int k = 0; k < kNumKeys; ++k) {
        fillKey(k, 44100, "/s/k" + std::to_string(k) + ".wav");
        setAllSettings(effect, k, 0.0f);
    }
    EXPECT_EQ(editor->getTotalLabel()->getFontColor(), gui::kRedCColor);
    clickLabel(17, kLButton | kControl | kShift);
    for (int k = 0; k < kNumKeys; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(kit().keyLength[k], 0);
        EXPECT_EQ(editor->keyNames[k][0], 0);
        EXPECT_EQ(nameText(k), "  ");
        expectDefaultSettings(kit(), k);
    }
    EXPECT_EQ(totalText(), "Total Duration (seconds):  0.00");
    EXPECT_EQ(editor->getTotalLabel()->getFontColor(), gui::kWhiteCColor);
}

TEST_F(EditorTest, ControlsDoNothingWhileALoadHoldsTheWindow) {
    fillKey(1, 100, "/s/a.wav");
    editor->loadStarted();
    clickLabel(1, kLButton | kControl);
    EXPECT_EQ(kit().keyLength[1], 100);
    editor->loadEnded();
    clickLabel(1, kLButton | kControl);
    EXPECT_EQ(kit().keyLength[1], 0);
}

// ---- settings modes ----

TEST_F(EditorTest, PitchIsSetFromTheBarResetWithCtrlAndAuditionedWithShift) {
    fillKey(6, 1000, "/s/tom.wav");
    chooseMode(ModePitch);
    EXPECT_EQ(valueText(6), "      0");

    ui->click(labelX(0), labelY(6));
    EXPECT_EQ(kit().keyPitch[6].load(), -48);
    EXPECT_EQ(valueText(6), "    -48");
    EXPECT_EQ(editor->getNameLabel(6)->barValue, 0.0f);

    // Press inside, drag past the right edge.
    ui->mouseDown(labelX(0.5), labelY(6));
    ui->mouseMove(labelX(1.5), labelY(6), kLButton);
    ui->mouseUp(labelX(1.5), labelY(6));
    EXPECT_EQ(kit().keyPitch[6].load(), 48);
    EXPECT_EQ(valueText(6), "     48");
    EXPECT_EQ(editor->getNameLabel(6)->barValue, 1.0f);

    // The bar snaps to the semitone the effect stored.
    ui->click(labelX(0.3), labelY(6));
    const int pitch = kit().keyPitch[6].load();
    EXPECT_EQ(pitch, -19);
    EXPECT_FLOAT_EQ(editor->getNameLabel(6)->barValue, float(pitch + 48) / 96.0f);

    clickLabel(6, kLButton | kControl);
    EXPECT_EQ(kit().keyPitch[6].load(), 0);
    EXPECT_EQ(valueText(6), "      0");
    EXPECT_EQ(takeAuditions(), 0u);

    setAllSettings(effect, 6, 0.75f);
    clickLabel(6, kLButton | kShift);
    EXPECT_EQ(takeAuditions(), keyBit(6));
    EXPECT_EQ(kit().keyPitch[6].load(), 24);
}

TEST_F(EditorTest, SettingsOfAnUnnamedKeyCannotBeEdited) {
    chooseMode(ModePitch);
    ui->click(labelX(0), labelY(8));
    clickLabel(8, kLButton | kShift);
    EXPECT_EQ(kit().keyPitch[8].load(), 0);
    EXPECT_EQ(takeAuditions(), 0u);
}

TEST_F(EditorTest, EachModeEditsItsOwnSetting) {
    fillKey(0, 1000, "/s/a.wav");
    chooseMode(ModeVolume);
    EXPECT_EQ(valueText(0), "+ 0");
    ui->click(labelX(0), labelY(0));
    EXPECT_EQ(kit().keyVolume[0].load(), 0.0f);
    EXPECT_EQ(valueText(0), " -INF");
    ui->click(labelX(1) - 0.01, labelY(0));
    EXPECT_EQ(valueText(0), "+12");

    chooseMode(ModeReverse);
    EXPECT_EQ(valueText(0), " >>");
    EXPECT_EQ(editor->getValueLabel(0)->getHoriAlign(), gui::kCenterText);
    ui->click(labelX(0.9), labelY(0));
    EXPECT_TRUE(kit().keyReverse[0].load());
    EXPECT_EQ(valueText(0), " <<");
    clickLabel(0, kLButton | kControl);
    EXPECT_FALSE(kit().keyReverse[0].load());

    chooseMode(ModePlayMode);
    EXPECT_EQ(valueText(0), "-> |");
    ui->click(labelX(0.05), labelY(0));
    EXPECT_EQ(kit().keyPlayMode[0].load(), PlayModeGate);
    EXPECT_EQ(valueText(0), "->  ");
    ui->click(labelX(0.95), labelY(0));
    EXPECT_EQ(valueText(0), "Loop");
    // The pitch was never touched.
    EXPECT_EQ(kit().keyPitch[0].load(), 0);
}

TEST_F(EditorTest, ModeSwitchSetsBarsTextsColoursAndAlignment) {
    fillKey(0, 44100, "/s/a.wav");
    effect->setParameter(kParamVolume + 0, 1.0f);
    chooseMode(ModeVolume);
    for (int k = 0; k < kNumKeys; ++k) {
        CMyTextLabel* label = editor->getNameLabel(k);
        EXPECT_EQ(label->displayMode, ModeVolume);
        EXPECT_EQ(editor->getValueLabel(k)->getFontColor(), gui::CColor(255, 58, 93, 138));
        EXPECT_EQ(editor->getValueLabel(k)->getHoriAlign(), gui::kRightText);
    }
    EXPECT_EQ(editor->getNameLabel(0)->barValue, 1.0f);
    EXPECT_FLOAT_EQ(editor->getNameLabel(1)->barValue, 0.5f);
    EXPECT_EQ(valueText(0), "+12");
    EXPECT_EQ(valueText(1), "+ 0");  // unnamed keys show their setting too

    chooseMode(ModePitch);
    EXPECT_EQ(editor->getValueLabel(3)->getFontColor(), gui::CColor(60, 163, 189, 128));

    chooseMode(ModeDuration);
    EXPECT_EQ(valueText(0), "1.00");
    EXPECT_EQ(valueText(1), "  ");
    EXPECT_EQ(editor->getValueLabel(0)->getFontColor(), gui::kWhiteCColor);
    EXPECT_EQ(editor->getValueLabel(0)->getHoriAlign(), gui::kRightText);
    EXPECT_EQ(editor->getNameLabel(0)->barValue, 0.0f);
    EXPECT_EQ(nameText(0), " a");
}

TEST_F(EditorTest, ModeSwitchToItsCurrentPositionChangesNothing) {
    fillKey(0, 1000, "/s/a.wav");
    chooseMode(ModePitch);
    editor->getValueLabel(0)->setText("marker");
    editor->getNameLabel(0)->barValue = 0.125f;
    editor->valueChanged(editor->getModeSwitch());  // still at pitch
    EXPECT_EQ(valueText(0), "marker");
    EXPECT_EQ(editor->getNameLabel(0)->barValue, 0.125f);
    // Clicking the position it shows reports nothing either.
    chooseMode(ModePitch);
    EXPECT_EQ(valueText(0), "marker");
}

TEST_F(EditorTest, ValueLabelsKeepTheSettingWhenADurationChangesInASettingsMode) {
    fillKey(0, 1000, "/s/a.wav");
    chooseMode(ModePitch);
    fillKey(0, 88200, "/s/b.wav");
    EXPECT_EQ(valueText(0), "      0");
    chooseMode(ModeDuration);
    EXPECT_EQ(valueText(0), "2.00");
}

// ---- exchange by Alt-drag ----

void altDrag(HeadlessFrame* ui, int from, double toX, double toY) {
    ui->mouseDown(34 + 0.5 * 172, labelTop(from) + 9, kLButton | kAlt);
    ui->mouseMove(toX, toY, kLButton | kAlt);
    ui->mouseUp(toX, toY, kLButton | kAlt);
}

TEST_F(EditorTest, AltDragOntoItselfOrOutsideOnlyStopsTheDraggedKey) {
    fillKey(3, 1000, "/s/a.wav", 0.1f);
    fillKey(9, 2000, "/s/b.wav", 0.2f);
    for (double x : {labelX(0.8), 500.0}) {
        kit().keyPlaying[3] = true;
        kit().keyPosition[3] = 55.0;
        kit().keyPlaying[9] = true;
        kit().keyPosition[9] = 66.0;
        altDrag(ui, 3, x, x == 500.0 ? labelY(9) : labelY(3) + 2);
        EXPECT_FALSE(kit().keyPlaying[3].load());
        EXPECT_EQ(kit().keyPosition[3], 0.0);
        EXPECT_TRUE(kit().keyPlaying[9].load());
        EXPECT_EQ(kit().keyPosition[9], 66.0);
        EXPECT_EQ(kit().keyLength[3], 1000);
        EXPECT_EQ(kit().keyLength[9], 2000);
        EXPECT_EQ(nameText(3), " a");
        EXPECT_EQ(ui->cursor(), gui::kCursorDefault);
        EXPECT_EQ(editor->getNameLabel(3)->dragState, 0);
    }
    EXPECT_EQ(takeAuditions(), 0u);
}

TEST_F(EditorTest, AltDragExchangesAudioLengthsAndNamesButNotSettings) {
    const std::string longPath = "/" + std::string(380, 'p') + "/long name.wav";
    ASSERT_GT(longPath.size(), 390u);
    fillKey(3, 1000, longPath, 0.1f);
    fillKey(9, 90000, "/s/b.wav", 0.2f);
    kit().keySamples[9][89999] = 0.75f;  // the exchange moves whole buffers
    const float* buffer3 = kit().keySamples[3];
    const float* buffer9 = kit().keySamples[9];
    effect->setParameter(kParamPitch + 3, 0.75f);
    effect->setParameter(kParamVolume + 9, 0.0f);
    kit().keyPlaying[3] = true;

    ui->mouseDown(labelX(0.5), labelY(3), kLButton | kAlt);
    ui->mouseMove(labelX(0.5), labelY(9), kLButton | kAlt);
    EXPECT_EQ(editor->getNameLabel(3)->dropTarget, 9);
    EXPECT_EQ(ui->cursor(), gui::kCursorHand);
    ui->mouseUp(labelX(0.5), labelY(9), kLButton | kAlt);

    EXPECT_FALSE(kit().keyPlaying[3].load());
    EXPECT_EQ(kit().keyLength[3], 90000);
    EXPECT_EQ(kit().keyLength[9], 1000);
    EXPECT_EQ(kit().keySamples[3][500], 0.2f);
    EXPECT_EQ(kit().keySamples[3][89999], 0.75f);
    EXPECT_EQ(kit().keySamples[9][500], 0.1f);
    EXPECT_EQ(kit().keySamples[9][999], 0.1f);
    EXPECT_EQ(kit().keySamples[3], buffer9);  // handed over, not copied
    EXPECT_EQ(kit().keySamples[9], buffer3);
    EXPECT_STREQ(editor->keyNames[3], "/s/b.wav");
    EXPECT_EQ(std::string(editor->keyNames[9]), longPath);
    EXPECT_EQ(nameText(3), " b");
    EXPECT_EQ(nameText(9), " long name");
    EXPECT_EQ(valueText(3), "2.04");
    EXPECT_EQ(valueText(9), "0.02");
    EXPECT_EQ(ui->cursor(), gui::kCursorDefault);
    // Settings stay where they were.
    EXPECT_EQ(kit().keyPitch[3].load(), 24);
    EXPECT_EQ(kit().keyPitch[9].load(), 0);
    EXPECT_EQ(kit().keyVolume[9].load(), 0.0f);
    EXPECT_EQ(kit().keyVolume[3].load(), 1.0f);

    // A named key onto an empty one moves the name and leaves a blank.
    ui->mouseDown(labelX(0.5), labelY(3), kLButton | kAlt);
    ui->mouseMove(labelX(0.5), labelY(20), kLButton | kAlt);
    ui->mouseUp(labelX(0.5), labelY(20), kLButton | kAlt);
    EXPECT_EQ(nameText(20), " b");
    EXPECT_TRUE(editor->getNameLabel(20)->hasName);
    EXPECT_FALSE(editor->getNameLabel(3)->hasName);
    EXPECT_EQ(editor->keyNames[3][0], 0);
    EXPECT_EQ(valueText(3), "  ");
    EXPECT_EQ(totalText(), "Total Duration (seconds):  2.06");
}

TEST_F(EditorTest, PlainDragOfANameOntoAnotherExchangesTheKeysAndAPlainClickOnlyAuditions) {
    fillKey(3, 1000, "/s/a.wav", 0.1f);
    fillKey(9, 2000, "/s/b.wav", 0.2f);
    // A press and release on the name, moving a little: one audition.
    ui->mouseDown(labelX(0.5), labelY(3));
    ui->mouseMove(labelX(0.6), labelY(3) + 3, kLButton);
    ui->mouseUp(labelX(0.6), labelY(3) + 3);
    EXPECT_EQ(takeAuditions(), keyBit(3));
    EXPECT_EQ(kit().keyLength[3], 1000);

    ui->mouseDown(labelX(0.5), labelY(3));
    ui->mouseMove(labelX(0.5), labelY(9), kLButton);
    EXPECT_TRUE(editor->getNameLabel(9)->exchangeHighlight);
    kit().keyPlaying[3] = true;  // as the press's audition left it
    ui->mouseUp(labelX(0.5), labelY(9));
    EXPECT_EQ(kit().keyLength[3], 2000);
    EXPECT_EQ(kit().keyLength[9], 1000);
    EXPECT_EQ(nameText(3), " b");
    EXPECT_EQ(nameText(9), " a");
    EXPECT_FALSE(kit().keyPlaying[3].load());  // the dragged key stops, as with Alt
    EXPECT_FALSE(editor->getNameLabel(9)->isHighlighted());
    EXPECT_FALSE(editor->getNameLabel(3)->isHighlighted());

    // In the other modes a plain drag along the name still sets the value.
    chooseMode(ModePitch);
    ui->mouseDown(labelX(0.5), labelY(3));
    ui->mouseMove(labelX(1.0), labelY(9), kLButton);
    ui->mouseUp(labelX(1.0), labelY(9));
    EXPECT_EQ(kit().keyPitch[3].load(), 48);
    EXPECT_EQ(kit().keyLength[3], 2000);
}

TEST_F(EditorTest, AltDragIntoTheSecondOctaveFindsTheLabelUnderTheMouse) {
    fillKey(0, 100, "/s/a.wav");
    fillKey(23, 200, "/s/z.wav");
    ui->mouseDown(labelX(0.5), labelY(0), kLButton | kAlt);
    ui->mouseMove(labelX(0.2), labelY(23), kLButton | kAlt);
    ui->mouseUp(labelX(0.2), labelY(23), kLButton | kAlt);
    EXPECT_EQ(kit().keyLength[0], 200);
    EXPECT_EQ(kit().keyLength[23], 100);
}

}  // namespace
}  // namespace rimbrel::test
