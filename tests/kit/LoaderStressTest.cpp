// Loads racing an audio thread: a key is never read half-written.
#include "kit/Loader.h"

#include "SoundFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

namespace rimbrel {
namespace {

using namespace rimbrel::test;

TEST(LoaderStress, AudioThreadSeesEitherTheOldOrTheNewKeyWhole) {
    TempDir dir;
    // Two files of constant value and different lengths.
    const std::string a = dir.file("a.wav"), b = dir.file("b.wav");
    writeSound(a, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, std::vector<float>(20000, 0.25f));
    writeSound(b, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, std::vector<float>(50000, -0.5f));
    auto kit = makeKit();
    testing::internal::CaptureStderr();
    loadKeyFile(*kit, a.c_str(), 0, nullptr);

    std::atomic<bool> done{false};
    std::atomic<int> blocks{0}, torn{0};
    std::thread audio([&] {
        while (!done.load()) {
            const Kit::BlockStart start = kit->audioBlockBegin();
            if (!(start.busy & keyBit(0))) {
                const int32_t length = kit->keyLength[0];
                const float want = length == 20000 ? 0.25f : -0.5f;
                const float* s = kit->keySamples[0];
                bool ok = (length == 20000 || length == 50000) && s[1] == 0.0f && s[2] == want &&
                          s[length - 4] == want && s[length - 3] == 0.0f;
                for (int i = 2; ok && i <= length - 4; i += 97) ok = s[i] == want;
                if (!ok) torn.fetch_add(1);
            }
            kit->audioBlockEnd();
            blocks.fetch_add(1);
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 200; ++i) loadKeyFile(*kit, (i % 2 ? a : b).c_str(), 0, nullptr);
    done.store(true);
    audio.join();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_GT(blocks.load(), 0);
}

}  // namespace
}  // namespace rimbrel
