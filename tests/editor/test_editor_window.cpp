// The window open() builds, its labels, the editor's timer and the export
// parameter, and a rendering of the whole window.
#include <cmath>

#include "EditorTestSupport.h"

namespace rimbrel::test {
namespace {

using gui::CRect;

// Key-button rectangles (left, top, right, bottom) over the drawn keyboard.
const CRect kKeyButtonTable[kNumKeys] = {
    {277, 151, 357, 192},
    {358, 151, 398, 211},
    {277, 192, 357, 233},
    {358, 213, 398, 253},
    {277, 233, 357, 274},
    {358, 253, 398, 313},
    {277, 274, 357, 315},
    {277, 314, 357, 355},
    {358, 314, 398, 374},
    {277, 355, 357, 396},
    {358, 375, 398, 435},
    {277, 395, 357, 436},
    {277, 436, 357, 477},
    {358, 436, 398, 496},
    {277, 477, 357, 518},
    {358, 497, 398, 537},
    {277, 517, 357, 558},
    {358, 537, 398, 597},
    {277, 559, 357, 600},
    {277, 601, 357, 642},
    {358, 601, 398, 661},
    {277, 640, 357, 681},
    {358, 660, 398, 720},
    {277, 681, 357, 722},
};
// Name-label tops, rounded.
const int kLabelTopsRounded[kNumKeys] = {160, 180, 200, 221, 241, 262, 282, 322, 343, 363, 384, 404,
                                         445, 465, 485, 506, 526, 547, 567, 607, 628, 648, 669, 689};

gui::CControl* controlAt(gui::CFrame* frame, int index) {
    return dynamic_cast<gui::CControl*>(frame->getView(index));
}

TEST_F(EditorTest, WindowHoldsEveryControlInOrderWithItsRectangleAndTag) {
    gui::CFrame* frame = editor->getFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->getViewSize(), CRect(0, 0, 540, 786));
    ERect* rect = nullptr;
    ASSERT_TRUE(editor->getRect(&rect));
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 786);
    EXPECT_EQ(rect->right, 540);
    ASSERT_EQ(frame->getNbViews(), 24 * 3 + 6);

    for (int k = 0; k < kNumKeys; ++k) {
        SCOPED_TRACE(k);
        auto* name = dynamic_cast<CMyTextLabel*>(frame->getView(k));
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(name->getTag(), 51 + k);
        EXPECT_EQ(name->getListener(), editor);
        const CRect r = name->getViewSize();
        EXPECT_EQ(r.left, 34);
        EXPECT_EQ(r.right, 206);
        EXPECT_EQ(std::lround(r.top), kLabelTopsRounded[k]);
        EXPECT_DOUBLE_EQ(r.height(), 18);
        EXPECT_EQ(name->getHoriAlign(), gui::kLeftText);
        EXPECT_EQ(name->getStyle(), 16384);
        EXPECT_EQ(name->getBackColor(), gui::CColor(255, 255, 255, 0));
        EXPECT_STREQ(name->getFont().getName(), "Arial");
        EXPECT_EQ(name->getFont().getSize(), 12);

        auto* value = dynamic_cast<gui::CTextLabel*>(frame->getView(24 + k));
        ASSERT_NE(value, nullptr);
        EXPECT_FALSE(value->isTypeOf("CMyTextLabel"));
        EXPECT_EQ(value->getViewSize(), CRect(210, r.top, 244, r.top + 16));
        EXPECT_EQ(value->getHoriAlign(), gui::kRightText);
        EXPECT_EQ(value->getStyle(), 16384);

        auto* button = dynamic_cast<gui::COnOffButton*>(frame->getView(48 + k));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->getTag(), 75 + k);
        EXPECT_EQ(button->getViewSize(), kKeyButtonTable[k]);
        EXPECT_EQ(button->getBackground(), nullptr);
        EXPECT_EQ(button->getValue(), 0.0f);
    }
    // The second octave's labels lie 284.99999997 below the first, unrounded.
    EXPECT_NEAR(frame->getView(12)->getViewSize().top, 444.99999997, 1e-9);
    EXPECT_NEAR(frame->getView(24 + 23)->getViewSize().top, 160 + 244 + 284.99999997, 1e-9);
    // The two G sharps are the short black keys.
    EXPECT_EQ(frame->getView(48 + 3)->getViewSize(), CRect(358, 213, 398, 253));
    EXPECT_EQ(frame->getView(48 + 15)->getViewSize(), CRect(358, 497, 398, 537));

    auto* total = dynamic_cast<gui::CTextLabel*>(frame->getView(72));
    ASSERT_NE(total, nullptr);
    EXPECT_EQ(total->getViewSize(), CRect(35, 726, 225, 742));
    EXPECT_EQ(total->getHoriAlign(), gui::kLeftText);

    gui::CControl* exportButton = controlAt(frame, 73);
    ASSERT_TRUE(exportButton && exportButton->isTypeOf("CKickButton"));
    EXPECT_EQ(exportButton->getTag(), 195);
    EXPECT_EQ(exportButton->getViewSize(), CRect(14, 73, 251, 102));

    gui::CControl* drop = controlAt(frame, 74);
    ASSERT_TRUE(drop && drop->isTypeOf("CMyDragButton"));
    EXPECT_EQ(drop->getTag(), 197);
    EXPECT_EQ(drop->getViewSize(), CRect(8, 11, 256, 65));

    auto* modeSwitch = dynamic_cast<gui::CHorizontalSwitch*>(frame->getView(75));
    ASSERT_NE(modeSwitch, nullptr);
    EXPECT_EQ(modeSwitch->getTag(), 198);
    EXPECT_EQ(modeSwitch->getViewSize(), CRect(16, 113, 248, 150));
    EXPECT_EQ(modeSwitch->getNumPositions(), 6);
    EXPECT_EQ(modeSwitch->getValue(), 0.0f);

    // The target switch below the total: OP-1 or OP-1 Field, OP-1 first.
    auto* targetSwitch = dynamic_cast<gui::CHorizontalSwitch*>(frame->getView(76));
    ASSERT_NE(targetSwitch, nullptr);
    EXPECT_EQ(targetSwitch->getTag(), kTagTargetSwitch);
    EXPECT_EQ(targetSwitch->getViewSize(), CRect(35, 745, 215, 764));
    EXPECT_EQ(targetSwitch->getNumPositions(), 2);
    EXPECT_EQ(targetSwitch->getValue(), 0.0f);
    EXPECT_FALSE(targetSwitch->getViewSize().rectOverlap(kStatusLineRect));

    // Last, the status line below the total, over nothing else.
    auto* status = dynamic_cast<StatusLine*>(frame->getView(77));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->getViewSize(), kStatusLineRect);
    EXPECT_EQ(status->shownText(), "");
}

TEST_F(EditorTest, EmptyKitShowsBlankNamesNoDurationsAndAZeroTotalInWhite) {
    for (int k = 0; k < kNumKeys; ++k) {
        EXPECT_EQ(nameText(k), "    ");
        EXPECT_FALSE(editor->getNameLabel(k)->hasName);
        EXPECT_EQ(valueText(k), "  ");
        EXPECT_EQ(editor->getValueLabel(k)->getFontColor(), gui::kWhiteCColor);
    }
    EXPECT_EQ(totalText(), "Total Duration (seconds):  0.00");
    EXPECT_EQ(editor->getTotalLabel()->getFontColor(), gui::kWhiteCColor);
    EXPECT_TRUE(editor->isEditorOpen());
    EXPECT_EQ(editor->getPendingSelector(), 0);
}

TEST_F(EditorTest, DurationsAndTotalTurnRedOnlyPastTwelveSeconds) {
    fillKey(0, 44100, "/samples/one.wav");
    EXPECT_EQ(valueText(0), "1.00");
    EXPECT_EQ(totalText(), "Total Duration (seconds):  1.00");

    fillKey(1, 529200 - 44100, "/samples/rest.wav");
    EXPECT_EQ(valueText(1), "11.00");
    EXPECT_EQ(totalText(), "Total Duration (seconds):  12.00");
    EXPECT_EQ(editor->getTotalLabel()->getFontColor(), gui::kWhiteCColor);

    fillKey(2, 1, "/samples/tick.wav");
    EXPECT_EQ(valueText(2), "0.00");
    EXPECT_EQ(totalText(), "Total Duration (seconds):  12.00");
    EXPECT_EQ(editor->getTotalLabel()->getFontColor(), gui::kRedCColor);
    // A full key is not too long by itself.
    fillKey(3, 529200, "/samples/full.wav");
    EXPECT_EQ(valueText(3), "12.00");
    EXPECT_EQ(editor->getValueLabel(3)->getFontColor(), gui::kWhiteCColor);
}

TEST(DisplayName, KeepsTheFileNameLessItsSoundFileExtension) {
    EXPECT_EQ(ADEditor::displayName("C:\\Samples\\Kick.wav"), "Kick");
    EXPECT_EQ(ADEditor::displayName("C:\\Samples\\Kick.aiff"), "Kick");
    EXPECT_EQ(ADEditor::displayName("/home/me/drums/snare.aif"), "snare");
    EXPECT_EQ(ADEditor::displayName("/home/me/drums\\mixed/hat.flac"), "hat");
    for (const char* name : {"x.WAV", "x.Opus", "x.ogg", "x.mp3", "x.caf", "x.w64", "x.au", "x.AIFC"})
        EXPECT_EQ(ADEditor::displayName((std::string("/s/") + name).c_str()), "x") << name;
    // Only a sound file's extension goes, and only the last one.
    EXPECT_EQ(ADEditor::displayName("/s/take.v2"), "take.v2");
    EXPECT_EQ(ADEditor::displayName("/s/notes.txt"), "notes.txt");
    EXPECT_EQ(ADEditor::displayName("/s/loop.wav.flac"), "loop.wav");
    EXPECT_EQ(ADEditor::displayName("/s/wav"), "wav");
    // A name longer than 43 bytes (after the extension is gone) ends with an ellipsis.
    const std::string longName(50, 'a');
    EXPECT_EQ(ADEditor::displayName(("/x/" + longName + ".wav").c_str()), std::string(43, 'a') + "\xe2\x80\xa6");
    EXPECT_EQ(ADEditor::displayName(("/x/" + std::string(43, 'b') + ".wav").c_str()), std::string(43, 'b'));
    EXPECT_EQ(ADEditor::displayName(("/x/" + std::string(40, 'c') + ".aiff").c_str()), std::string(40, 'c'));
    // Fewer than two separators: the file name all the same.
    EXPECT_EQ(ADEditor::displayName("/kick.wav"), "kick");
    EXPECT_EQ(ADEditor::displayName("kick.wav"), "kick");
    EXPECT_EQ(ADEditor::displayName(".wav"), "");
    EXPECT_EQ(ADEditor::displayName("/x/ab"), "ab");
}

TEST_F(EditorTest, NameLabelShowsTheFileNameOfNamedKeysOnly) {
    fillKey(5, 100, "C:\\Samples\\Kick.wav");
    EXPECT_EQ(nameText(5), " Kick");
    EXPECT_TRUE(editor->getNameLabel(5)->hasName);

    // A first byte of 128 or more does not count as a name.
    std::snprintf(editor->keyNames[6], kKeyNameSize, "\xC3\xA9t\xC3\xA9/kick.wav");
    editor->updateNameLabel(6);
    EXPECT_EQ(nameText(6), "    ");
    EXPECT_FALSE(editor->getNameLabel(6)->hasName);

    // The name of a long path comes from its end, whatever the length.
    const std::string deep = "/" + std::string(300, 'd') + "/" + std::string(100, 'e') + "/snare.wav";
    fillKey(7, 100, deep);
    EXPECT_EQ(nameText(7), " snare");
}

TEST_F(EditorTest, ReopeningAfterAModeChangeStartsInDurations) {
    fillKey(0, 22050, "/s/half.wav");
    fillKey(1, 100, "/s/b.wav");
    chooseMode(ModePitch);
    EXPECT_EQ(valueText(0), "      0");
    reopenWindow();
    EXPECT_EQ(editor->getDisplayMode(), ModeDuration);
    EXPECT_EQ(editor->getModeSwitch()->getValue(), 0.0f);
    EXPECT_EQ(valueText(0), "0.50");
    EXPECT_EQ(nameText(0), " half");
    for (int k = 0; k < kNumKeys; ++k) EXPECT_EQ(editor->getNameLabel(k)->displayMode, ModeDuration);
    // Names survive closing the window.
    EXPECT_STREQ(editor->keyNames[1], "/s/b.wav");
}

TEST_F(EditorTest, ExportParameterShowsOnTheButtonOnlyWhileOpen) {
    gui::CKickButton* button = editor->getExportButton();
    effect->setParameter(195, 0.3f);
    EXPECT_EQ(button->getValue(), 1.0f);
    effect->setParameter(195, 0.0f);
    EXPECT_EQ(button->getValue(), 0.0f);

    // An audition changes nothing in the window.
    fillKey(4, 1000, "/s/x.wav");
    ui->render();
    const int before = ui->invalidCount();
    effect->setParameter(kParamAudition, 4.0f);
    EXPECT_EQ(ui->invalidCount(), before);
    EXPECT_EQ(button->getValue(), 0.0f);
    EXPECT_EQ(takeAuditions(), keyBit(4));

    // Closed: nothing to show, nothing touched.
    editor->close();
    EXPECT_EQ(editor->getExportButton(), nullptr);
    effect->setParameter(195, 1.0f);
    editor->setParameter(195, 1.0f);
    openWindow();
    EXPECT_EQ(editor->getExportButton()->getValue(), 0.0f);
}

TEST_F(EditorTest, TimerRunsFasterWhileOpenAndPulsesHighlightedLabels) {
    gui::CVSTGUITimer* timer = editor->getRefreshTimer();
    EXPECT_TRUE(timer->isRunning());
    EXPECT_EQ(timer->getFireTime(), 50u);
    editor->close();
    EXPECT_EQ(timer->getFireTime(), 150u);
    EXPECT_FALSE(editor->isEditorOpen());
    EXPECT_EQ(editor->getFrame(), nullptr);
    EXPECT_GT(env.advance(1000), 0);  // ticks while closed do nothing
    openWindow();

    CMyTextLabel* label = editor->getNameLabel(2);
    label->dropHighlight = true;
    env.advance(1000);
    const int phaseAfterFirst = label->highlightPhase;
    EXPECT_GT(phaseAfterFirst, 0);
    env.advance(200);
    EXPECT_NE(label->highlightPhase, phaseAfterFirst);
    // An unhighlighted label is not redrawn by the timer.
    EXPECT_EQ(editor->getNameLabel(3)->highlightPhase, 0);
}

TEST(EditorLife, TheEffectCreatesItsEditorWhichSurvivesOpenAndCloseCycles) {
    HeadlessEnvironment env;
    auto* effect = new TambletEdit(&quietHost);
    auto* editor = dynamic_cast<ADEditor*>(effect->getEditor());
    ASSERT_NE(editor, nullptr);
    EXPECT_NE(effect->getAeffect()->flags & effFlagsHasEditor, 0);
    EXPECT_FALSE(editor->isOpen());
    EXPECT_EQ(editor->getFrame(), nullptr);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(editor->open(nullptr));
        EXPECT_TRUE(editor->isOpen());
        env.advance(100);
        editor->close();
    }
    // Destroying the effect with the window still open closes it.
    ASSERT_TRUE(editor->open(nullptr));
    delete effect;
    EXPECT_EQ(env.currentFrame(), nullptr);
}

// The whole window with an example kit, written next to the test binary.
TEST_F(EditorTest, RendersTheWindowWithAnExampleKit) {
    const char* names[] = {"/kits/Kick 808.wav", "/kits/Rim.wav", "/kits/Snare Tight.wav",
                           "/kits/Clap.aiff", "/kits/Hat Closed.wav", "/kits/Hat Open.wav",
                           "/kits/Tom Low.wav"};
    const int lengths[] = {30870, 8820, 22050, 26460, 6615, 39690, 35280};
    for (int k = 0; k < 7; ++k) fillKey(k == 6 ? 12 : k, lengths[k], names[k]);
    fillKey(15, 13230, "/kits/Cowbell.wav");
    ui->render();
    const std::string path = std::string(RIMBREL_TEST_OUTPUT_DIR) + "/window-headless.png";
    ASSERT_TRUE(ui->writePng(path));
    // The background is there and the labels are drawn over it.
    EXPECT_EQ(ui->pixel(2, 2), gui::CColor(0, 0, 0, 255));
    const gui::CColor emptyKey = ui->pixel(120, int(labelTop(20)) + 9);
    EXPECT_EQ(emptyKey, gui::CColor(32, 32, 32, 255));

    // The same kit showing pitches, with a few set.
    effect->setParameter(kParamPitch + 0, 0.0f);
    effect->setParameter(kParamPitch + 2, 0.75f);
    effect->setParameter(kParamPitch + 12, 1.0f);
    chooseMode(ModePitch);
    ui->render();
    ASSERT_TRUE(ui->writePng(std::string(RIMBREL_TEST_OUTPUT_DIR) + "/window-headless-pitch.png"));
    // Key 2's bar stands three quarters along its label.
    const int barY = int(labelTop(2)) + 9;
    EXPECT_NE(ui->pixel(int(labelX(0.75)), barY), ui->pixel(int(labelX(0.5)), barY));
}

}  // namespace
}  // namespace rimbrel::test
