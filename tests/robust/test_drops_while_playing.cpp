// Long runs on the UI thread while the host's audio thread plays: folders of
// 24 files dropped again and again, and a host automating parameters from a
// thread of its own. Run under ThreadSanitizer as well (label tsan), where
// the loops are shorter; RIMBREL_DROP_ROUNDS sets the number of drops.
#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>

#include "RobustSupport.h"
#include "tests/editor/EditorTestSupport.h"

namespace rimbrel::robust {
namespace {

namespace fs = std::filesystem;

// The host's audio thread: blocks of 256 frames, a note-on for another key
// and a note-off for an earlier one in every block, until told to stop.
class AudioThread {
public:
    explicit AudioThread(TambletEdit* effect) : thread_([this, effect] { run(effect); }) {}
    ~AudioThread() { stop(); }
    void stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    bool sane() const { return sane_; }
    long blocks() const { return blocks_; }
    float loudest() const { return loudest_; }

private:
    void run(TambletEdit* effect) {
        std::vector<float> in(256, 0.01f), out1(256), out2(256);
        float* inputs[2] = {in.data(), in.data()};
        float* outputs[2] = {out1.data(), out2.data()};
        effect->resume();
        for (int n = 0; !stop_.load(std::memory_order_acquire); ++n) {
            VstMidiEvent ev[2]{};
            for (int i = 0; i < 2; ++i) {
                ev[i].type = kVstMidiType;
                ev[i].byteSize = sizeof ev[i];
                ev[i].deltaFrames = (n * 37 + i * 100) % 256;
                ev[i].midiData[0] = char(i == 0 ? 0x90 : 0x80);
                ev[i].midiData[1] = char(kFirstKeyNote + (n * 7 + i * 11) % kNumKeys);
                ev[i].midiData[2] = i == 0 ? 100 : 0;
            }
            VstEvents events{};
            events.numEvents = 2;
            events.events[0] = reinterpret_cast<VstEvent*>(&ev[0]);
            events.events[1] = reinterpret_cast<VstEvent*>(&ev[1]);
            effect->processEvents(&events);
            effect->processReplacing(inputs, outputs, 256);
            for (int i = 0; i < 256; ++i) {
                const float a = std::fabs(out1[i]), b = std::fabs(out2[i]);
                // 24 keys at the highest volume (4.0) and the input at most.
                if (!std::isfinite(a) || !std::isfinite(b) || a > 97.f || b > 97.f) sane_ = false;
                loudest_ = std::max(loudest_, std::max(a, b));
            }
            ++blocks_;
        }
    }

    std::atomic<bool> stop_{false};
    std::atomic<bool> sane_{true};
    std::atomic<long> blocks_{0};
    float loudest_ = 0;  // read after stop()
    std::thread thread_;
};

class DropsWhilePlaying : public test::EditorTest {
protected:
    // A folder of 24 sounds; file k has 1000 + 37 k frames of value v(k).
    fs::path makeFolder(const std::string& name, float sign) {
        const fs::path folder = scratch.path() / name;
        fs::create_directory(folder);
        for (int k = 0; k < kNumKeys; ++k) {
            char file[32];
            std::snprintf(file, sizeof file, "%02d-%s.wav", k, name.c_str());
            test::writeWav((folder / file).string(), frames(k, sign), valueOf(k, sign));
        }
        return folder;
    }
    static int frames(int k, float sign) { return (sign > 0 ? 1000 : 1500) + 37 * k; }
    static float valueOf(int k, float sign) { return sign * (0.25f + 0.5f * float(k) / kNumKeys); }

    void dropFolder(const fs::path& folder, int onKey) {
        auto* drag = gui::CItemDragContainer::fromPaths({folder.string()});
        ui->dragEnter(drag, labelX(0.5), labelY(onKey));
        ui->drop(drag, labelX(0.5), labelY(onKey));
        drag->forget();
        env.advance(20);  // the window's timer and redraws run between drops
    }

    Scratch scratch{"drops-playing"};
};

TEST_F(DropsWhilePlaying, FoldersOfTwentyFourFilesDroppedAgainAndAgain) {
    const int rounds = loopCount("RIMBREL_DROP_ROUNDS", 200, 4);
    const fs::path up = makeFolder("up", 1.0f);
    const fs::path down = makeFolder("down", -1.0f);
    const int fdsBefore = openDescriptors();
    testing::internal::CaptureStderr();  // four thousand loads say a lot

    AudioThread audio(effect);
    dropFolder(up, 0);
    dropFolder(down, 3);
    // The undo history keeps replaced audio on purpose (up to its budget);
    // what is measured here is what stays once it lets go.
    editor->forgetUndoHistory();
    const std::size_t heapBefore = heapInUse();
    const long rssBefore = residentKiB();
    const auto start = std::chrono::steady_clock::now();
    {
        Watchdog watchdog("drops while playing", std::chrono::seconds(1200));
        for (int round = 0; round < rounds; ++round) dropFolder(round % 2 ? down : up, round % kNumKeys);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long blocksDuringDrops = audio.blocks();
    audio.stop();
    testing::internal::GetCapturedStderr();
    EXPECT_GT(editor->getUndoHistory().stepCount(), 0u);
    editor->forgetUndoHistory();
    const std::size_t heapAfter = heapInUse();
    const long rssAfter = residentKiB();

    std::printf(
        "%d drops of 24 files (%d loads) in %.1f s while %ld blocks played\n"
        "  heap %zu -> %zu bytes, RSS %ld -> %ld KiB, descriptors %d -> %d\n",
        rounds, rounds * kNumKeys, seconds, blocksDuringDrops, heapBefore, heapAfter, rssBefore, rssAfter,
        fdsBefore, openDescriptors());
    RecordProperty("drops", rounds);
    RecordProperty("blocks", std::to_string(blocksDuringDrops));

    EXPECT_TRUE(audio.sane());
    EXPECT_GT(audio.loudest(), 0.0f) << "the keys never sounded";
    EXPECT_EQ(openDescriptors(), fdsBefore);
    EXPECT_LT(static_cast<long long>(heapAfter) - static_cast<long long>(heapBefore), 64 * 1024);
    // The last drop decides every key, whole: its length and its audio.
    const bool lastDown = (rounds - 1) % 2 == 1;
    const float sign = lastDown ? -1.0f : 1.0f;
    for (int k = 0; k < kNumKeys; ++k) {
        EXPECT_EQ(kit().keyLength[k], frames(k, sign)) << k;
        const std::vector<float> mix = test::keyMix(kit(), k);
        EXPECT_NEAR(mix[100], valueOf(k, sign), 1e-3) << k;
        EXPECT_EQ(mix[std::size_t(frames(k, sign))], 0.0f) << k;
        EXPECT_NE(std::string(editor->keyNames[k]).find(lastDown ? "down.wav" : "up.wav"), std::string::npos);
    }
    char total[64];
    int64_t sum = 0;
    for (int k = 0; k < kNumKeys; ++k) sum += kit().keyLength[k];
    std::snprintf(total, sizeof total, "Total Duration (seconds):  %.2f", double(sum) / 44100.0);
    EXPECT_EQ(totalText(), total);
}

TEST_F(DropsWhilePlaying, ParametersSetFromAnotherThreadWhileProcessing) {
    // Some hosts automate from a thread that is neither the audio nor the
    // UI thread, while keys play and drops rewrite them. The host sees one
    // parameter (index 0), which may get any value; the per-key settings
    // get values in [0, 1], as the program's own callers give them, and
    // the audition index any key or garbage.
    const fs::path up = makeFolder("up", 1.0f);
    testing::internal::CaptureStderr();
    AudioThread audio(effect);
    std::atomic<bool> stop{false};
    std::atomic<long> changes{0};
    std::thread automation([&] {
        for (int n = 0; !stop.load(); ++n) {
            const int k = n % kNumKeys;
            const float v = float(n % 101) / 100.0f;
            effect->setParameter(kParamPitch + k, v);
            effect->setParameter(kParamPlayMode + k, 1.0f - v);
            effect->setParameter(kParamReverse + k, v > 0.5f ? 1.0f : 0.0f);
            effect->setParameter(kParamVolume + k, v);
            effect->setParameter(kParamAudition, float(k));
            const float garbage[] = {std::nanf(""), -INFINITY, INFINITY, -5.0f, 1e9f, 23.4f, 24.0f};
            effect->setParameter(kParamAudition, garbage[n % 7]);
            effect->setParameter(0, garbage[(n + 3) % 7]);
            effect->setParameter(-1, v);      // outside the table: ignored
            effect->setParameter(100000, v);  // outside the table: ignored
            (void)effect->getParameter(kParamPitch + (n * 5) % kNumKeys);
            (void)effect->getParameter(-7);
            ++changes;
            if (n % 64 == 0) std::this_thread::yield();
        }
    });
    const int rounds = loopCount("RIMBREL_DROP_ROUNDS", 200, 4) / 4 + 1;
    {
        Watchdog watchdog("parameters from another thread", std::chrono::seconds(600));
        for (int round = 0; round < rounds; ++round) dropFolder(up, 0);
    }
    stop = true;
    automation.join();
    audio.stop();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(audio.sane());
    EXPECT_GT(changes.load(), 0);
    for (int k = 0; k < kNumKeys; ++k) {
        const float v = effect->getParameter(kParamVolume + k);
        EXPECT_TRUE(std::isfinite(v) && v >= 0.0f && v <= 1.0f) << k << ": " << v;
    }
    EXPECT_EQ(effect->getParameter(0), 0.0f);
}

}  // namespace
}  // namespace rimbrel::robust
