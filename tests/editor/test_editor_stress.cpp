// The window's commands on the UI thread while the host's audio thread plays
// keys: drops load keys, clicks audition and erase them, Alt-drags exchange
// them. Run under ThreadSanitizer this checks that no key is read while it
// is rewritten; in any build it checks that the kit stays consistent.
#include <atomic>
#include <cmath>
#include <thread>

#include "EditorTestSupport.h"

namespace rimbrel::test {
namespace {

// The host's audio thread: a note-on for another key every block, blocks
// of 256 frames, until told to stop.
void playBlocks(TambletEdit* effect, std::atomic<bool>& stop, std::atomic<int>& blocks, std::atomic<bool>& sane) {
    std::vector<float> in1(256, 0.f), in2(256, 0.f), out1(256), out2(256);
    float* inputs[2] = {in1.data(), in2.data()};
    float* outputs[2] = {out1.data(), out2.data()};
    int note = 0;
    while (!stop.load(std::memory_order_acquire)) {
        VstMidiEvent on{};
        on.type = kVstMidiType;
        on.byteSize = sizeof on;
        on.deltaFrames = note % 200;
        on.midiData[0] = char(0x90);
        on.midiData[1] = char(53 + note % 24);
        on.midiData[2] = 100;
        VstEvents events{};
        events.numEvents = 1;
        events.events[0] = reinterpret_cast<VstEvent*>(&on);
        effect->processEvents(&events);
        effect->processReplacing(inputs, outputs, 256);
        for (int i = 0; i < 256; ++i)
            if (!std::isfinite(out1[i]) || std::fabs(out1[i]) > 8.f) sane = false;
        ++note;
        blocks.fetch_add(1, std::memory_order_release);
    }
}

TEST_F(EditorTest, CommandsWhileTheAudioThreadPlaysKeys) {
    TempDir dir;
    writeWav(dir / "a.wav", 20000, 0.5f);
    writeWav(dir / "b.wav", 7000, -0.5f);
    std::atomic<bool> stop{false};
    std::atomic<bool> sane{true};
    std::atomic<int> blocks{0};
    std::thread audio(playBlocks, effect, std::ref(stop), std::ref(blocks), std::ref(sane));

    for (int round = 0; round < 12; ++round) {
        auto* drag = gui::CItemDragContainer::fromPaths({dir / "a.wav", dir / "b.wav", dir / "a.wav"});
        ui->dragEnter(drag, labelX(0.5), labelY(round % 20));
        ui->drop(drag, labelX(0.5), labelY(round % 20));
        drag->forget();
        for (int k = 0; k < kNumKeys; k += 3) ui->click(300, labelY(k));  // key buttons
        clickLabel((round + 1) % 20);                                     // audition
        ui->mouseDown(labelX(0.5), labelY(round % 20), gui::kLButton | gui::kAlt);
        ui->mouseMove(labelX(0.5), labelY(23 - round % 20), gui::kLButton | gui::kAlt);
        ui->mouseUp(labelX(0.5), labelY(23 - round % 20), gui::kLButton | gui::kAlt);
        clickLabel((round + 2) % 20, gui::kLButton | gui::kControl);  // erase one
        if (round % 5 == 4) clickLabel(0, gui::kLButton | gui::kControl | gui::kShift);
        env.advance(60);
    }
    const int before = blocks.load();
    while (blocks.load() < before + 4) std::this_thread::yield();
    stop = true;
    audio.join();

    EXPECT_TRUE(sane.load());
    int64_t total = 0;
    for (int k = 0; k < kNumKeys; ++k) {
        EXPECT_TRUE(kit().keyLength[k] == 0 || kit().keyLength[k] == 20000 || kit().keyLength[k] == 7000) << k;
        EXPECT_EQ(kit().keyLength[k] > 0, editor->keyNames[k][0] != 0) << k;
        total += kit().keyLength[k];
    }
    char expected[64];
    std::snprintf(expected, sizeof expected, "Total Duration (seconds):  %.2f", double(total) / 44100.0);
    EXPECT_EQ(totalText(), expected);
}

}  // namespace
}  // namespace rimbrel::test
