// The status line: messages that stay a while, their action button, and the
// hints shown while the mouse rests on a key's name or a mode icon.
#include "EditorTestSupport.h"

#include <fstream>
#include <iterator>

namespace rimbrel::test {
namespace {

std::string shown(ADEditor* editor) { return editor->getStatusLine()->shownText(); }

class StatusDropTest : public EditorTest {
protected:
    // Drags `paths` over key k's name and drops them; the drop's answer.
    bool dropOnKey(const std::vector<std::string>& paths, int k) {
        gui::CItemDragContainer* drag = gui::CItemDragContainer::fromPaths(paths);
        ui->dragEnter(drag, labelX(0.5), labelY(k));
        const bool taken = ui->drop(drag, labelX(0.5), labelY(k));
        drag->forget();
        return taken;
    }
    TempDir dir;
};

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
    const char* names[] = {"Duration", "Pitch (semitones)",
                           "Play mode", "Direction",
                           "Volume (dB)", "Pan (OP-1 kits ignore pan; Field kits keep it)"};
    for (int m = 0; m < kNumDisplayModes; ++m) {
        ui->mouseMove(geometry::modeIconMiddleX(m), geometry::modeIconMiddleY());
        EXPECT_EQ(shown(editor), names[m]);
    }
    ui->mouseMove(400, 400);
    EXPECT_EQ(shown(editor), "");
    chooseMode(ModePitch);  // a click still chooses
}

TEST_F(StatusDropTest, AMixedDropSaysWhatLoadedAndWhatWasSkippedAndWhy) {
    for (const char* name : {"a.wav", "b.wav", "c.wav"}) writeWav(dir / name, 100);
    writeText(dir / "notes.txt", "not a sound");
    writeText(dir / "garbage.wav", "RIFF but nothing after it");
    EXPECT_TRUE(dropOnKey({dir / "a.wav", dir / "notes.txt", dir / "garbage.wav", dir / "b.wav", dir / "c.wav",
                           dir / "missing.wav"},
                          0));
    EXPECT_EQ(shown(editor),
              "3 files loaded on F3..G3; skipped: notes.txt (not a sound file), garbage.wav (cannot be read), "
              "missing.wav (no such file or folder)");
}

TEST_F(StatusDropTest, FilesBeyondTheLastKeyLongFilesAndOtherRatesAreNamed) {
    writeWav(dir / "long.wav", kMaxKeyFrames + 100);
    writeWav(dir / "extra.wav", 100);
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open((dir / "at48k.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    const std::vector<short> silence(4800, 0);
    sf_writef_short(f, silence.data(), 4800);
    sf_close(f);
    EXPECT_TRUE(dropOnKey({dir / "long.wav", dir / "at48k.wav", dir / "extra.wav"}, 22));
    EXPECT_EQ(shown(editor),
              "2 files loaded on D#5..E5; resampled to 44100 Hz: at48k.wav (from 48000 Hz); cut to 12 seconds: "
              "long.wav; 1 file left out beyond E5");
}

TEST_F(StatusDropTest, ADropOfWhichNothingLoadsIsRefused) {
    writeText(dir / "notes.txt", "not a sound");
    writeWav(dir / "quad.wav", 1000, 0.5f, 4);  // accepted, but a key takes two channels at most
    fillKey(4, 500, "/old/keep.wav", 0.125f);
    EXPECT_FALSE(dropOnKey({dir / "notes.txt", dir / "quad.wav"}, 4));
    // Files that reached a key and failed there come first.
    EXPECT_EQ(shown(editor), "Nothing loaded; skipped: quad.wav (cannot be read), notes.txt (not a sound file)");
    EXPECT_EQ(kit().keyLength[4], 500);
    // The next drop that loads is taken again.
    writeWav(dir / "one.wav", 100);
    EXPECT_TRUE(dropOnKey({dir / "one.wav"}, 7));
    EXPECT_EQ(shown(editor), "1 file loaded on C4");
}

std::string contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(StatusDropTest, ExportsSayWhatTheyWroteOrWhyNot) {
    clickExport();
    EXPECT_EQ(shown(editor), "Nothing to export: drop sounds on the keys first");

    fillKey(0, 529200, "/s/long.wav");
    fillKey(1, 22050, "/s/short.wav");
    clickExport();
    EXPECT_EQ(shown(editor), "Not exported: the kit lasts 12.50 s, 12 s at most (Ctrl-click a name to erase its key)");

    fillKey(0, 44101, "/s/one.wav");
    env.scriptFileSelectorAnswer({dir / "kit"});
    clickExport();
    env.pump();
    EXPECT_EQ(shown(editor), "Kit exported to kit.aif: 1.50 s, 2 keys");

    env.scriptFileSelectorAnswer({dir / "keys.aif"});
    clickExport(gui::kLButton | gui::kShift);
    env.pump();
    EXPECT_EQ(shown(editor), "Exported 2 files (keys_01.aif .. keys_02.aif): 1.50 s");

    env.scriptFileSelectorAnswer({"/" + std::string(600, 'x') + ".aif"});
    clickExport();
    env.pump();
    EXPECT_EQ(shown(editor), "Not exported: the path is too long");
}

TEST_F(StatusDropTest, APerKeyExportReplacesExistingFilesOnlyAfterAYes) {
    fillKey(0, 1000, "/s/a.wav");
    fillKey(2, 2000, "/s/c.wav");
    writeText(dir / "set_03.aif", "precious");
    const auto exportAsSet = [this] {
        env.scriptFileSelectorAnswer({dir / "set.aif"});
        clickExport(gui::kLButton | gui::kShift);
        env.pump();
    };

    // No dialog program: refused with a line, nothing written.
    env.refuseQuestions(true);
    exportAsSet();
    EXPECT_EQ(contentsOf(dir / "set_03.aif"), "precious");
    EXPECT_FALSE(std::filesystem::exists(dir / "set_01.aif"));
    env.refuseQuestions(false);

    // Asked once; nothing happens before the answer, nor after a no.
    exportAsSet();
    ASSERT_EQ(env.questions().size(), 1u);
    EXPECT_EQ(env.questions()[0].caption, "Replace existing files?");
    EXPECT_EQ(env.questions()[0].text, "set_03.aif already exists. Replace it?");
    EXPECT_EQ(contentsOf(dir / "set_03.aif"), "precious");
    env.scriptQuestionAnswer(false);
    env.pump();
    EXPECT_EQ(contentsOf(dir / "set_03.aif"), "precious");
    EXPECT_FALSE(std::filesystem::exists(dir / "set_01.aif"));
    EXPECT_EQ(shown(editor), "Nothing exported: the existing files were kept");

    // Yes writes them all.
    writeText(dir / "set_01.aif", "old");
    env.scriptQuestionAnswer(true);
    exportAsSet();
    ASSERT_EQ(env.questions().size(), 2u);
    EXPECT_EQ(env.questions()[1].text, "2 of the files already exist, the first set_01.aif. Replace them all?");
    EXPECT_EQ(contentsOf(dir / "set_03.aif").substr(0, 4), "FORM");
    EXPECT_EQ(contentsOf(dir / "set_01.aif").substr(0, 4), "FORM");
}

// Light pixels of the window within the status line's rectangle.
int lightPixelsOfTheLine(HeadlessFrame* ui) {
    int light = 0;
    for (int y = int(kStatusLineRect.top); y < int(kStatusLineRect.bottom); ++y)
        for (int x = int(kStatusLineRect.left); x < int(kStatusLineRect.right); ++x) light += ui->pixel(x, y).red > 120;
    return light;
}

TEST_F(StatusDropTest, TheLineIsDrawnBelowTheTotalUntilItsTimeIsOver) {
    for (const char* name : {"01 kick.wav", "02 snare.wav", "04 hat.wav"}) writeWav(dir / name, 20000);
    writeText(dir / "03 notes.txt", "not a sound");
    writeText(dir / "05 broken.wav", "RIFF");
    dropOnKey({dir / "01 kick.wav", dir / "02 snare.wav", dir / "03 notes.txt", dir / "04 hat.wav",
               dir / "05 broken.wav"},
              0);
    ui->render();
    EXPECT_GT(lightPixelsOfTheLine(ui), 100);
    ASSERT_TRUE(ui->writePng(std::string(RIMBREL_TEST_OUTPUT_DIR) + "/status-after-drop.png"));

    env.advance(StatusLine::kMessageLifeMs + 100);
    ui->render();
    EXPECT_EQ(lightPixelsOfTheLine(ui), 0);

    env.scriptFileSelectorAnswer({dir / "drums.aif"});
    clickExport(gui::kLButton | gui::kShift);
    env.pump();
    ui->render();
    EXPECT_GT(lightPixelsOfTheLine(ui), 100);
    ASSERT_TRUE(ui->writePng(std::string(RIMBREL_TEST_OUTPUT_DIR) + "/status-after-export.png"));
}

}  // namespace
}  // namespace rimbrel::test
