// The status line: messages that stay a while, their action button, and the
// hints shown while the mouse rests on a key's name or a mode icon.
#include "EditorTestSupport.h"

namespace rimbrel::test {
namespace {

std::string shown(ADEditor* editor) { return editor->getStatusLine()->shownText(); }

TEST_F(EditorTest, AMessageStaysAWhileAndItsActionRunsOnceOnAClick) {
    int runs = 0;
    editor->showStatus("Key F3 erased", [&runs] { ++runs; });
    EXPECT_EQ(shown(editor), "Key F3 erased");
    EXPECT_EQ(editor->getStatusLine()->shownActionLabel(), "Undo");

    const gui::CRect button = editor->getStatusLine()->actionRect();
    ASSERT_FALSE(button.isEmpty());
    ui->click(button.left + 2, (button.top + button.bottom) / 2);
    ui->click(button.left + 2, (button.top + button.bottom) / 2);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(editor->getStatusLine()->shownActionLabel(), "");

    // The next message replaces it; it goes once its time is over.
    editor->showStatus("second");
    env.advance(StatusLine::kMessageLifeMs / 2);
    EXPECT_EQ(shown(editor), "second");
    env.advance(StatusLine::kMessageLifeMs);
    EXPECT_EQ(shown(editor), "");
    ui->render();  // draws without an action or a message
}

TEST_F(EditorTest, HoveringANameShowsItsFullPathOverTheMessage) {
    fillKey(3, 1000, "/samples/long folder/03-snare.wav");
    editor->showStatus("something happened");
    ui->mouseMove(labelX(0.5), labelY(3));
    EXPECT_EQ(shown(editor), "/samples/long folder/03-snare.wav");
    ui->mouseMove(labelX(0.5), labelY(4));  // an empty key: no path
    EXPECT_EQ(shown(editor), "something happened");
    ui->mouseMove(labelX(0.5), labelY(3));
    ui->mouseExit();
    EXPECT_EQ(shown(editor), "something happened");
}

TEST_F(EditorTest, HoveringAModeIconNamesTheMode) {
    const char* names[] = {"Duration", "Pitch (semitones)", "Play mode", "Direction", "Volume (dB)"};
    for (int m = 0; m < kNumDisplayModes; ++m) {
        ui->mouseMove(kModeSwitchOrigin.x + (m + 0.5) * (232.0 / 5), kModeSwitchOrigin.y + 18);
        EXPECT_EQ(shown(editor), names[m]);
    }
    ui->mouseMove(400, 400);
    EXPECT_EQ(shown(editor), "");
    chooseMode(ModePitch);  // a click still chooses
}

}  // namespace
}  // namespace rimbrel::test
