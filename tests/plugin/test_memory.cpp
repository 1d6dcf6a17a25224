// What an empty instance costs: its keys hold no memory until they load.
#include <gtest/gtest.h>
#include <malloc.h>

#include "PluginTestSupport.h"

namespace rimbrel::test {
namespace {

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
std::size_t heapBytes() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;  // small blocks and mapped ones
}

TEST(Memory, AnEmptyInstanceTakesLessThanFourMegabytes) {
    const std::size_t before = heapBytes();
    EffectHandle handle;
    handle.dispatch(effOpen);
    const std::size_t empty = heapBytes() - before;
    std::printf("empty instance: %zu heap bytes\n", empty);
    EXPECT_LT(empty, std::size_t(4) * 1024 * 1024);
    // A key costs its frames, and gives them back when erased.
    setKeyAudio(handle.kit(), 0, kMaxKeyFrames, 0.25f, 2);
    EXPECT_LE(heapBytes() - before, empty + std::size_t(2) * kMaxKeyFrames * sizeof(float) + 64 * 1024);
    eraseKeyAudio(handle.kit(), 0);
    EXPECT_LE(heapBytes() - before, empty + 64 * 1024);
}
#endif

}  // namespace
}  // namespace rimbrel::test
