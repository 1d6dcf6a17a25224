// Files and folders dropped on the window through the frame, and the hover
// highlights.
#include "EditorTestSupport.h"

#include <fstream>

#include "formats/FieldKitWriter.h"

namespace rimbrel::test {
namespace {

using gui::CItemDragContainer;

// A drag of `paths`, released by the test when done.
struct Drag {
    explicit Drag(const std::vector<std::string>& paths) : container(CItemDragContainer::fromPaths(paths)) {}
    ~Drag() { container->forget(); }
    CItemDragContainer* container;
};

class EditorDropTest : public EditorTest {
protected:
    // Drags `paths` in over (x, y) and drops them there.
    bool dropAt(const std::vector<std::string>& paths, double x, double y) {
        Drag drag(paths);
        ui->dragEnter(drag.container, x, y);
        return ui->drop(drag.container, x, y);
    }
    bool dropOnLabel(const std::vector<std::string>& paths, int k) { return dropAt(paths, labelX(0.5), labelY(k)); }

    TempDir dir;
};

TEST_F(EditorDropTest, AFileDroppedOnANameLabelFillsThatKey) {
    writeWav(dir / "kick.wav", 44100, 0.5f);
    fillKey(7, 100, "/old/previous.wav", 0.1f);
    ASSERT_TRUE(dropOnLabel({dir / "kick.wav"}, 7));
    EXPECT_EQ(kit().keyLength[7], 44100);
    EXPECT_NEAR(kit().keySamples[7][100], 0.5f, 1e-3);
    EXPECT_EQ(std::string(editor->keyNames[7]), dir / "kick.wav");
    EXPECT_EQ(nameText(7), " kick");
    EXPECT_TRUE(editor->getNameLabel(7)->hasName);
    EXPECT_EQ(valueText(7), "1.00");
    EXPECT_EQ(totalText(), "Total Duration (seconds):  1.00");
    EXPECT_TRUE(editor->isEditorOpen());
    // The leave after the drop clears every highlight.
    for (int k = 0; k < kNumKeys; ++k) EXPECT_FALSE(editor->getNameLabel(k)->dropHighlight);
}

TEST_F(EditorDropTest, AFileDroppedOnTheDropButtonGoesToKeyZero) {
    writeWav(dir / "snare.wav", 22050);
    Drag drag({dir / "snare.wav"});
    EXPECT_EQ(ui->dragEnter(drag.container, 100, 40), gui::DragOperation::Copy);
    EXPECT_TRUE(editor->getDropButton()->dropHighlight);
    ASSERT_TRUE(ui->drop(drag.container, 100, 40));
    EXPECT_FALSE(editor->getDropButton()->dropHighlight);
    EXPECT_EQ(kit().keyLength[0], 22050);
    EXPECT_EQ(nameText(0), " snare");
    EXPECT_EQ(valueText(0), "0.50");
}

TEST_F(EditorDropTest, SeveralFilesFillKeysFromTheTargetSkippingWhatIsRefused) {
    writeWav(dir / "a.wav", 100);
    writeWav(dir / "b.wav", 200);
    writeWav(dir / "c.wav", 300);
    writeText(dir / "notes.txt", "not a sound");
    ASSERT_TRUE(dropOnLabel({dir / "a.wav", dir / "notes.txt", dir / "b.wav", dir / "c.wav"}, 22));
    EXPECT_EQ(kit().keyLength[22], 100);
    EXPECT_EQ(kit().keyLength[23], 200);
    EXPECT_EQ(nameText(22), " a");
    EXPECT_EQ(nameText(23), " b");
    // Nothing wraps round to the first keys.
    EXPECT_EQ(kit().keyLength[0], 0);
    EXPECT_EQ(nameText(0), "    ");
}

TEST_F(EditorDropTest, AFolderFillsKeysFromKeyZeroInNameOrder) {
    std::filesystem::create_directories(dir.path() / "kit" / "sub");
    writeWav(dir / "kit/B hat.wav", 300);
    writeWav(dir / "kit/a kick.wav", 100);
    writeText(dir / "kit/readme.txt", "x");
    writeWav(dir / "kit/sub/deep.wav", 50);
    fillKey(2, 999, "/old/keep.wav");
    ASSERT_TRUE(dropOnLabel({dir / "kit"}, 10));
    EXPECT_EQ(kit().keyLength[0], 100);
    EXPECT_EQ(kit().keyLength[1], 300);
    EXPECT_EQ(nameText(0), " a kick");
    EXPECT_EQ(nameText(1), " B hat");
    EXPECT_EQ(kit().keyLength[2], 999);
    EXPECT_EQ(nameText(2), " keep");
    EXPECT_EQ(kit().keyLength[10], 0);
    EXPECT_EQ(totalText(), "Total Duration (seconds):  0.03");
}

TEST_F(EditorDropTest, HoverHighlightsTheKeysTheFilesWouldFill) {
    writeWav(dir / "a.wav", 100);
    writeWav(dir / "b.wav", 100);
    writeText(dir / "c.txt", "x");
    Drag drag({dir / "a.wav", dir / "c.txt", dir / "b.wav"});
    EXPECT_EQ(ui->dragEnter(drag.container, labelX(0.5), labelY(5)), gui::DragOperation::Copy);
    for (int k = 0; k < kNumKeys; ++k) EXPECT_EQ(editor->getNameLabel(k)->dropHighlight, k == 5 || k == 6) << k;
    // Moving on to the next label: leave, then enter there.
    ui->dragMove(drag.container, labelX(0.5), labelY(23));
    for (int k = 0; k < kNumKeys; ++k) EXPECT_EQ(editor->getNameLabel(k)->dropHighlight, k == 23) << k;
    env.advance(500);  // the timer pulses it
    EXPECT_GT(editor->getNameLabel(23)->highlightPhase, 0);
    ui->dragLeave(drag.container, 600, 600);
    for (int k = 0; k < kNumKeys; ++k) EXPECT_FALSE(editor->getNameLabel(k)->dropHighlight);

    // A folder lights the keys its sounds fill, from the first; a drop on
    // the background lights nothing.
    Drag folder({dir.path().string()});
    ui->dragEnter(folder.container, labelX(0.5), labelY(3));
    for (int k = 0; k < kNumKeys; ++k) EXPECT_EQ(editor->getNameLabel(k)->dropHighlight, k < 2) << k;
    ui->dragLeave(folder.container, 600, 600);
    EXPECT_EQ(ui->dragEnter(drag.container, 450, 400), gui::DragOperation::None);
    EXPECT_FALSE(ui->drop(drag.container, 450, 400));
    EXPECT_EQ(kit().keyLength[0], 0);
}

TEST_F(EditorDropTest, HoverOverTheDropButtonLightsItUntilTheDragLeaves) {
    writeWav(dir / "a.wav", 100);
    Drag drag({dir / "a.wav"});
    ui->dragEnter(drag.container, 50, 30);
    EXPECT_TRUE(editor->getDropButton()->dropHighlight);
    for (int k = 0; k < kNumKeys; ++k) EXPECT_EQ(editor->getNameLabel(k)->dropHighlight, k == 0) << k;
    ui->dragLeave(drag.container, 600, 30);
    EXPECT_FALSE(editor->getDropButton()->dropHighlight);
    for (int k = 0; k < kNumKeys; ++k) EXPECT_FALSE(editor->getNameLabel(k)->dropHighlight) << k;
    EXPECT_EQ(kit().keyLength[0], 0);
}

TEST_F(EditorDropTest, AFileThatFailsToLoadLeavesTheKeysOldNameOverItsOldAudio) {
    // Accepted (a WAV header) but with more channels than a key takes.
    writeWav(dir / "quad.wav", 1000, 0.5f, 4);
    fillKey(4, 500, "/old/keep.wav", 0.125f);
    // Nothing loaded: the file manager is told the drop was refused.
    EXPECT_FALSE(dropOnLabel({dir / "quad.wav"}, 4));
    EXPECT_EQ(kit().keyLength[4], 500);
    EXPECT_EQ(kit().keySamples[4][10], 0.125f);
    EXPECT_EQ(nameText(4), " keep");
    EXPECT_STREQ(editor->keyNames[4], "/old/keep.wav");
    EXPECT_TRUE(editor->isEditorOpen());
    // An empty key stays empty: no name to export it by.
    EXPECT_FALSE(dropOnLabel({dir / "quad.wav"}, 5));
    EXPECT_FALSE(editor->getNameLabel(5)->hasName);
    EXPECT_FALSE(editor->isKeyNamed(5));
}

TEST_F(EditorDropTest, DroppedKeysCanBeExportedAndExchanged) {
    writeWav(dir / "one.wav", 1000, 0.5f);
    writeWav(dir / "two.wav", 3000, -0.5f);
    ASSERT_TRUE(dropOnLabel({dir / "one.wav", dir / "two.wav"}, 0));
    ui->mouseDown(labelX(0.5), labelY(0), gui::kLButton | gui::kAlt);
    ui->mouseMove(labelX(0.5), labelY(1), gui::kLButton | gui::kAlt);
    ui->mouseUp(labelX(0.5), labelY(1), gui::kLButton | gui::kAlt);
    EXPECT_EQ(nameText(0), " two");
    EXPECT_EQ(kit().keyLength[0], 3000);

    clickExport();
    env.scriptFileSelectorAnswer({dir / "out.aif"});
    env.pump();
    SF_INFO info{};
    SNDFILE* f = sf_open((dir / "out.aif").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.frames, 2999 + 999);
    sf_close(f);
}

TEST_F(EditorDropTest, AKitFileAloneOnTheDropButtonOpensAsKeysOnAKeyItIsOneSound) {
    writeWav(dir / "one.wav", 1000, 0.5f);
    writeWav(dir / "two.wav", 3000, -0.5f);
    ASSERT_TRUE(dropOnLabel({dir / "one.wav", dir / "two.wav"}, 0));
    clickExport();
    env.scriptFileSelectorAnswer({dir / "drums.aif"});
    env.pump();
    const std::vector<float> one(kit().keySamples[0], kit().keySamples[0] + 1000);
    editor->eraseAllKeys();
    fillKey(7, 10, "/old/keep.wav");

    ASSERT_TRUE(dropAt({dir / "drums.aif"}, 100, 40));
    // Each key comes back as it was exported, the rest empty.
    ASSERT_EQ(kit().keyLength[0], 1000);
    EXPECT_EQ(std::vector<float>(kit().keySamples[0], kit().keySamples[0] + 1000), one);
    EXPECT_EQ(kit().keyLength[1], 3000);
    EXPECT_EQ(kit().keyLength[7], 0);
    EXPECT_EQ(nameText(1), " drums #2");
    EXPECT_EQ(nameText(7), "    ");
    EXPECT_EQ(editor->getStatusLine()->shownText(), "Opened kit drums.aif: 2 keys");
    EXPECT_TRUE(editor->undo());  // one step puts the kit back
    EXPECT_EQ(kit().keyLength[7], 10);
    EXPECT_EQ(kit().keyLength[0], 0);

    ASSERT_TRUE(dropOnLabel({dir / "drums.aif"}, 5));
    EXPECT_EQ(kit().keyLength[5], 999 + 2999);
    EXPECT_EQ(nameText(5), " drums");
    EXPECT_EQ(kit().keyLength[6], 0);

    const char broken[] =
        "FORM\0\0\0\x18"
        "AIFFAPPL\0\0\0\x0c"
        "op-1{\"type\":";  // a kit cut short
    std::ofstream(dir / "broken.aif", std::ios::binary).write(broken, sizeof broken - 1);
    EXPECT_FALSE(dropAt({dir / "broken.aif"}, 100, 40));
    EXPECT_EQ(kit().keyLength[5], 999 + 2999);
    EXPECT_NE(editor->getStatusLine()->shownText().find("not opened"), std::string::npos);

    // A Field kit switches the instance to the Field.
    FieldKitInput field;
    const std::vector<float> frames(500, 0.25f);
    field.audio[0] = {{frames.data(), frames.data()}, 500};
    field.keyName[0] = "pad";
    ASSERT_EQ(exportFieldKit((dir / "wide.aif").c_str(), field), ExportResult::Written);
    ASSERT_TRUE(dropAt({dir / "wide.aif"}, 100, 40));
    EXPECT_EQ(kit().target.load(), KitTarget::Op1Field);
    EXPECT_EQ(editor->getTargetSwitch()->getValue(), 1.0f);
    EXPECT_EQ(kit().keyChannels(0), 2);
    EXPECT_EQ(editor->getStatusLine()->shownText(), "Opened kit wide.aif: 1 key, for the OP-1 Field");
}

}  // namespace
}  // namespace rimbrel::test
