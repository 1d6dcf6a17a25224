// The loader check: the acceptance test and the loader on one file, on a kit
// placed between inaccessible guard pages; nothing of the kit but the target
// key's buffers and length may change.
#include "tests/fuzz/FuzzChecks.h"

#include "kit/SoundFileProbe.h"
#include "kit/Kit.h"
#include "tests/KeyAudioSupport.h"
#include "kit/KitObservers.h"
#include "kit/Loader.h"
#include "kit/RateConverter.h"

#include <sndfile.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define RIMBREL_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RIMBREL_LEAK_CHECKED 1
#endif
#endif
#if RIMBREL_LEAK_CHECKED
#include <sanitizer/lsan_interface.h>
#endif

namespace rimbrel::fuzz {

namespace {

std::size_t pageSize() {
    static const std::size_t size = std::size_t(::sysconf(_SC_PAGESIZE));
    return size;
}
uintptr_t pageDown(uintptr_t a) { return a & ~(uintptr_t(pageSize()) - 1); }
uintptr_t pageUp(uintptr_t a) { return pageDown(a + pageSize() - 1); }

// One kit in its own mapping: a guard page, the kit (from a page boundary),
// a guard page. The kit lives for the whole process, as it always has.
class GuardedKit {
public:
    GuardedKit() {
        kitBytes_ = pageUp(sizeof(Kit));
        total_ = kitBytes_ + 2 * pageSize();
        void* m = ::mmap(nullptr, total_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED) std::abort();
        base_ = static_cast<uint8_t*>(m);
        ::mprotect(base_, pageSize(), PROT_NONE);
        ::mprotect(base_ + pageSize() + kitBytes_, pageSize(), PROT_NONE);
        kit_ = ::new (base_ + pageSize()) Kit();
#if RIMBREL_LEAK_CHECKED
        // The key buffers are reachable only through this mapping, which the
        // leak checker does not scan unless told to.
        __lsan_register_root_region(kit_, kitBytes_);
#endif
    }
    Kit& kit() { return *kit_; }
    uintptr_t begin() const { return reinterpret_cast<uintptr_t>(kit_); }
    uintptr_t end() const { return begin() + kitBytes_; }

private:
    uint8_t* base_ = nullptr;
    std::size_t kitBytes_ = 0, total_ = 0;
    Kit* kit_ = nullptr;
};

struct Observer : LoadObserver {
    int closes = 0, opens = 0, loads = 0, loadedKey = -1;
    bool open = true;
    void loadStarted() override {
        ++closes;
        open = false;
    }
    void loadEnded() override {
        ++opens;
        open = true;
    }
    void keyLoaded(int k) override {
        ++loads;
        loadedKey = k;
    }
};

std::string writeInput(const uint8_t* data, std::size_t size) {
    const std::string path = scratchFolder() + "/dropped";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    return path;
}

// What libsndfile alone says of the file: channels and frames, or 0 channels.
struct Header {
    int channels = 0;
    int64_t frames = 0;
    int format = 0;
    int rate = 0;
};
Header readHeader(const std::string& path) {
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (!sf) return {};
    Header h{info.channels, info.frames, info.format, info.samplerate};
    sf_close(sf);
    return h;
}

// libsndfile is not instrumented, so the fuzzer cannot see which of its
// formats and encodings an input reached. These counters, which libFuzzer
// takes as extra coverage, tell it: the container, the encoding, the
// channel count, the size class and the load's outcome of each input.
#if defined(__clang__) && defined(__linux__)
__attribute__((section("__libfuzzer_extra_counters")))
#endif
uint8_t gFormatCounters[1024];

int log2Class(int64_t frames) {
    int c = 0;
    while (frames > 1 && c < 31) {
        frames >>= 1;
        ++c;
    }
    return c;
}

void countFormat(const Header& h, bool accepted, int loads) {
    const int major = (h.format >> 16) & 0x3F;
    const int subtype = h.format & 0xFFFF;
    const int outcome = (accepted ? 1 : 0) + (loads > 0 ? 2 : 0);
    ++gFormatCounters[major * 4 + outcome];
    ++gFormatCounters[256 + ((subtype & 0xFF) ^ ((subtype >> 8) * 37 & 0xFF))];
    ++gFormatCounters[512 + std::clamp(h.channels, 0, 15) * 32 + log2Class(h.frames)];
}

std::string describe(const char* what, long long a, long long b = 0) {
    char line[200];
    std::snprintf(line, sizeof line, what, a, b);
    return line;
}

}  // namespace

std::string checkLoaderInput(const uint8_t* data, std::size_t size) {
    static GuardedKit* guarded = new GuardedKit();
    // The target key: an edge key or one in the middle, picked by the input.
    static constexpr int kTargets[] = {0, 11, 23};
    const int k = kTargets[size % 3];
    Kit& kit = guarded->kit();

    // The kit's own bytes but the target key's buffers, length and generation.
    auto kitBytes = [&] {
        std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(&kit),
                                   reinterpret_cast<const uint8_t*>(&kit) + sizeof(Kit));
        auto blank = [&](const void* field, std::size_t n) {
            std::memset(bytes.data() + (reinterpret_cast<const uint8_t*>(field) - reinterpret_cast<const uint8_t*>(&kit)),
                        0, n);
        };
        blank(&kit.keySamples[k], sizeof kit.keySamples[k]);
        blank(&kit.keyRight[k], sizeof kit.keyRight[k]);
        blank(&kit.keyLength[k], sizeof kit.keyLength[k]);
        blank(&kit.keyGeneration[k], sizeof kit.keyGeneration[k]);
        return bytes;
    };
    const std::vector<uint8_t> kitBefore = kitBytes();
    const std::vector<float> keyBefore = test::keyMix(kit, k);
    const int32_t lengthBefore = kit.keyLength[k];

    const std::string path = writeInput(data, size);
    const bool accepted = isLoadableFile(path.c_str());
    const Header header = readHeader(path);
    const bool signature = size >= 50 && std::memcmp(data + 46, "op-1", 4) == 0;
    Observer observer;
    const bool loaded = loadKeyFile(kit, path.c_str(), k, &observer).loaded;
    countFormat(header, accepted, observer.loads);
    // The drop names a key by this answer: it must match what was written.
    if (loaded != (observer.loads == 1))
        return describe("the loader answered %lld after %lld loads", loaded, observer.loads);

    // Acceptance: the kit signature, or a header libsndfile takes (RAW
    // needs a format given, so sf_open of a path never yields it).
    if (accepted != (signature || header.channels > 0))
        return describe("accepted %lld, but signature %lld / libsndfile header", accepted, signature) +
               std::to_string(header.channels);

    // The observer: closed then opened once, at most one load of key k.
    if (observer.closes != 1 || observer.opens != 1 || !observer.open)
        return describe("editorOpen went false %lld and true %lld times", observer.closes, observer.opens);
    if (observer.loads > 1 || (observer.loads == 1 && observer.loadedKey != k))
        return describe("%lld loads reported, last for key %lld", observer.loads, observer.loadedKey);

    // Nothing outside the key and its length changed.
    if (kitBytes() != kitBefore) return describe("the kit changed outside key %lld", k);
    const std::vector<float> key = test::keyMix(kit, k);

    const int32_t length = kit.keyLength[k];
    if (observer.loads == 0) {
        if (length != lengthBefore) return describe("failed load changed the length from %lld to %lld", lengthBefore, length);
        if (key != keyBefore) return "failed load changed the key's audio";
        // A file libsndfile reads with one or two channels and some frames
        // loads, unless its decoding fails (reported on stderr).
        return "";
    }

    // Loaded: the length follows the header (its frames at 44100 Hz when
    // the rate is one the loader converts; cut to 529199 past 529200, at
    // least 1), the layout holds, every sample is finite and in -1..+1.
    if (header.channels < 1 || header.channels > 2)
        return describe("a file of %lld channels loaded", header.channels);
    double trueFrames = double(header.frames);
    if (header.rate != 44100 && header.rate >= kMinConvertedRate && header.rate <= kMaxConvertedRate)
        trueFrames = std::nearbyint(trueFrames * 44100.0 / double(header.rate));
    const int64_t expected = trueFrames > kMaxKeyFrames ? kMaxKeyFrames - 1 : std::max<int64_t>(int64_t(trueFrames), 1);
    if (length != expected) return describe("length %lld, the header gives %lld", length, expected);
    if (key[0] != 0.0f || key[1] != 0.0f) return "lead frames not silent";
    const int64_t filled = std::max<int64_t>(length - 3, 0);
    for (int64_t i = 0; i < kMaxKeyFrames; ++i) {
        const float v = key[i];
        if (!std::isfinite(v) || v < -1.0f || v > 1.0f) return describe("sample %lld is out of range", i);
        if (i >= filled && v != 0.0f) return describe("sample %lld past the audio (length %lld) not silent", i, length);
    }
    return "";
}

}  // namespace rimbrel::fuzz
