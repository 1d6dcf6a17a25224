// The window of a kit the host puts back from its project: restored names,
// durations, target and total shown at its next refresh, changes of the kit that was
// no longer offered for undo.
#include "EditorTestSupport.h"

namespace rimbrel::test {
namespace {

using EditorStateTest = EditorTest;

TEST_F(EditorStateTest, TheOpenWindowShowsTheRestoredKit) {
    fillKey(0, 44100, "/sounds/kick.wav");
    fillKey(5, 66150, "/sounds/snare.aif");
    effect->setParameter(kParamTarget, 1.0f);
    void* data = nullptr;
    const VstInt32 size = effect->getChunk(&data);
    ASSERT_GT(size, 0);
    std::vector<uint8_t> saved(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);

    // What the user did afterwards, undoable, goes with the restore.
    effect->setParameter(kParamTarget, 0.0f);
    clickLabel(0, gui::kLButton | gui::kControl);  // erase
    fillKey(9, 22050, "/sounds/hat.wav");
    editor->timerRefresh();
    ASSERT_TRUE(editor->canUndo());

    EXPECT_EQ(effect->setChunk(saved.data(), size), 1);
    editor->timerRefresh();  // the window catches up on its own thread
    EXPECT_EQ(nameText(0), " kick");
    EXPECT_EQ(nameText(5), " snare");
    EXPECT_EQ(valueText(0), "1.00");
    EXPECT_EQ(valueText(5), "1.50");
    EXPECT_FALSE(editor->getNameLabel(9)->hasName);
    EXPECT_EQ(valueText(9), "  ");
    EXPECT_EQ(editor->getTargetSwitch()->getPosition(), 1);
    EXPECT_EQ(totalText(), "Total Duration (seconds):  2.50");
    EXPECT_FALSE(editor->canUndo());

    // A window opened later shows the same.
    reopenWindow();
    EXPECT_EQ(nameText(5), " snare");
    EXPECT_EQ(valueText(5), "1.50");
}

}  // namespace
}  // namespace rimbrel::test
