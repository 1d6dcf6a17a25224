// The kit-state check: the reader on arbitrary bytes, then what it read
// written and read again.
#include "tests/fuzz/FuzzChecks.h"

#include "kit/KitState.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace rimbrel::fuzz {

namespace {

// Writing a state costs far more than reading one; past this many frames in
// all the round trip is left to the unit tests.
constexpr int64_t kMaxRoundTripFrames = 200000;

std::string checkKey(const KitStateKey& k, KeyMask& seen) {
    if (!isKeyIndex(k.key)) return "a key index outside 0..23";
    if (seen & keyBit(k.key)) return "a key read twice";
    seen |= keyBit(k.key);
    if (k.name.size() > kMaxStateNameBytes || k.name.find('\0') != std::string::npos) return "a name the window cannot hold";
    const KeySettings& s = k.settings;
    if (s.pitch < -48 || s.pitch > 48 || s.playMode < 0 || s.playMode > 2 || !(s.volume >= 0.0f && s.volume <= 4.0f) ||
        !(s.pan >= -1.0f && s.pan <= 1.0f))
        return "settings out of range";
    if (k.length < 0 || k.length > kMaxStateKeyFrames) return "a length beyond 20 s";
    if (k.length == 0 ? k.channels != 0 : (k.channels != 1 && k.channels != 2)) return "channels that do not fit the length";
    if (k.left.size() != std::size_t(k.channels >= 1 ? k.length : 0) ||
        k.right.size() != std::size_t(k.channels == 2 ? k.length : 0))
        return "channels of another length than the key's";
    for (const std::vector<float>* channel : {&k.left, &k.right})
        for (float v : *channel)
            if (!std::isfinite(v) || v < -1.0f || v >= 1.0f) return "a frame outside -1..+1";
    return "";
}

}  // namespace

std::string checkKitStateInput(const uint8_t* data, std::size_t size) {
    // An exact copy on the heap: a read past its end is an ASan report.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size > 0 ? size : 1]);
    if (size > 0) std::memcpy(copy.get(), data, size);

    KitStateData state;
    std::string why;
    if (!decodeKitState(copy.get(), size, state, why)) {
        if (!(state == KitStateData())) return "a refused state left keys behind";
        if (why.rfind("kit state refused: ", 0) != 0 || why.find('\n') != std::string::npos)
            return "a refusal without its one line: " + why;
        return "";
    }
    if (!why.empty()) return "a state read with a refusal: " + why;
    if (state.target != KitTarget::Op1 && state.target != KitTarget::Op1Field) return "an unknown target";
    KeyMask seen = 0;
    int64_t frames = 0;
    for (const KitStateKey& k : state.keys) {
        const std::string problem = checkKey(k, seen);
        if (!problem.empty()) return problem;
        frames += k.length;
    }

    // What was read is what a state holds: it writes, and reads back the same.
    if (frames > kMaxRoundTripFrames) return "";
    const std::vector<uint8_t> again = encodeKitState(state);
    if (again.empty()) return "a state read cannot be written again";
    KitStateData back;
    if (!decodeKitState(again.data(), again.size(), back, why)) return "a state written again is refused: " + why;
    if (!(back == state)) return "a state written again reads differently";
    return "";
}

}  // namespace rimbrel::fuzz
