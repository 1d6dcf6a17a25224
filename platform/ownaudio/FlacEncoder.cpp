#include "platform/ownaudio/FlacEncoder.h"

#include "platform/ownaudio/FlacBits.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace rimbrel::platform::ownaudio {

namespace {

constexpr int kMaxPartitionOrder = 8;
constexpr int kSubframeHeaderBits = 8;   // a 0 bit, the type, the wasted-bits flag
constexpr int kResidualHeaderBits = 6;   // the coding method and the partition order
constexpr int kMaxNarrowParameter = 14;  // 4-bit parameters; 15 is the escape code
constexpr int kMaxWideParameter = 30;

template <int Order>
int64_t fixedPrediction(const int32_t* s, int i) {
    if constexpr (Order == 0) return 0;
    if constexpr (Order == 1) return s[i - 1];
    if constexpr (Order == 2) return 2 * int64_t(s[i - 1]) - s[i - 2];
    if constexpr (Order == 3) return 3 * int64_t(s[i - 1]) - 3 * int64_t(s[i - 2]) + s[i - 3];
    if constexpr (Order == 4) return 4 * int64_t(s[i - 1]) - 6 * int64_t(s[i - 2]) + 4 * int64_t(s[i - 3]) - s[i - 4];
}

template <int Order>
void foldFixedResiduals(const int32_t* s, int frames, uint32_t* folded) {
    for (int i = Order; i < frames; ++i) folded[i] = uint32_t(foldResidual(int64_t(s[i]) - fixedPrediction<Order>(s, i)));
}

// The folded residuals of the fixed predictor of order (0..4), from sample
// order on.
void foldResiduals(const int32_t* s, int frames, int order, uint32_t* folded) {
    switch (order) {
        case 0: foldFixedResiduals<0>(s, frames, folded); break;
        case 1: foldFixedResiduals<1>(s, frames, folded); break;
        case 2: foldFixedResiduals<2>(s, frames, folded); break;
        case 3: foldFixedResiduals<3>(s, frames, folded); break;
        default: foldFixedResiduals<4>(s, frames, folded); break;
    }
}

// About the bits a signal codes in, from the mean size of its second-order
// residuals: enough to choose between stereo pairings before coding any.
double roughBits(const int32_t* s, int frames) {
    uint64_t sum = 0;
    for (int i = 2; i < frames; ++i) sum += foldResidual(int64_t(s[i]) - fixedPrediction<2>(s, i));
    return double(frames) * std::log2(1.0 + double(sum) / double(frames));
}

// The Rice parameter that codes count residuals folded to sum in the fewest
// bits, and those bits (estimated: the quotients' bits are taken from the
// sum rather than counted one by one).
struct RiceChoice {
    int parameter;
    uint64_t bits;
};

RiceChoice bestParameter(uint64_t sum, int count) {
    if (count == 0) return {0, 0};
    const uint64_t mean = sum / uint64_t(count);
    const int guess = mean == 0 ? 0 : int(std::bit_width(mean)) - 1;
    RiceChoice best{0, UINT64_MAX};
    for (int k = std::max(0, guess - 1); k <= std::min(kMaxWideParameter, guess + 1); ++k) {
        const uint64_t bits = uint64_t(count) * uint64_t(k + 1) + (sum >> k);
        if (bits < best.bits) best = {k, bits};
    }
    return best;
}

int sampleRateCode(int rate) {
    if (rate == 44100) return 9;
    if (rate == 48000) return 10;
    return 0;  // as STREAMINFO says
}

int sampleSizeCode(int bits) {
    switch (bits) {
        case 8: return 1;
        case 12: return 2;
        case 16: return 4;
        case 20: return 5;
        case 24: return 6;
        default: return 0;  // as STREAMINFO says
    }
}

// The frame number as FLAC codes it: UTF-8's pattern, up to 31 bits.
void writeCodedNumber(BitWriter& w, uint32_t n) {
    if (n < 0x80) {
        w.write(n, 8);
        return;
    }
    int more = n < 0x800 ? 1 : n < 0x10000 ? 2
                           : n < 0x200000  ? 3
                           : n < 0x4000000 ? 4
                                           : 5;
    const uint32_t lead = (0xFF00u >> (more + 1)) & 0xFF;  // more + 1 one bits, then a 0
    w.write(lead | (n >> (6 * more)), 8);
    while (more-- > 0) w.write(0x80 | ((n >> (6 * more)) & 0x3F), 8);
}

}  // namespace

struct FlacEncoder::Plan {
    enum class Kind { Constant,
                      Verbatim,
                      Fixed };
    Kind kind = Kind::Verbatim;
    int wasted = 0;  // low bits zero in every sample, left out
    int order = 0;
    int partitionOrder = 0;
    bool wideParameters = false;  // 5-bit Rice parameters
    uint8_t parameters[1 << kMaxPartitionOrder] = {};
    uint64_t bits = UINT64_MAX;
};

FlacEncoder::FlacEncoder(std::vector<uint8_t>& out, int channels, int bitsPerSample, int sampleRate, int64_t totalFrames)
    : out_(out), streamStart_(out.size()), channels_(channels), bitsPerSample_(bitsPerSample), sampleRate_(sampleRate) {
    mid_.resize(kBlockFrames);
    side_.resize(kBlockFrames);
    shifted_.resize(kBlockFrames);
    folded_.resize(kBlockFrames);
    const uint8_t marker[4] = {'f', 'L', 'a', 'C'};
    out_.insert(out_.end(), marker, marker + 4);
    BitWriter w(out_);
    w.write(1, 1);  // the last metadata block
    w.write(0, 7);  // STREAMINFO
    w.write(34, 24);
    w.write(kBlockFrames, 16);
    w.write(kBlockFrames, 16);
    w.write(0, 24);  // the frame sizes, known at the end
    w.write(0, 24);
    w.write(uint32_t(sampleRate), 20);
    w.write(uint32_t(channels - 1), 3);
    w.write(uint32_t(bitsPerSample - 1), 5);
    w.write(uint32_t(uint64_t(totalFrames) >> 32), 4);
    w.write(uint32_t(uint64_t(totalFrames)), 32);
    out_.insert(out_.end(), 16, 0);  // MD5 not computed
}

void FlacEncoder::finish() {
    uint8_t* sizes = out_.data() + streamStart_ + 12;
    for (int i = 0; i < 3; ++i) {
        sizes[i] = uint8_t(smallestFrame_ >> (16 - 8 * i));
        sizes[3 + i] = uint8_t(largestFrame_ >> (16 - 8 * i));
    }
}

void FlacEncoder::writeBlock(const int32_t* const* channels, int frames) {
    const std::size_t start = out_.size();
    BitWriter w(out_);
    if (channels_ == 2) {
        const int32_t* left = channels[0];
        const int32_t* right = channels[1];
        for (int i = 0; i < frames; ++i) {
            side_[std::size_t(i)] = left[i] - right[i];
            mid_[std::size_t(i)] = int32_t((int64_t(left[i]) + right[i]) >> 1);
        }
        // Each pairing: its assignment code and the signals it codes.
        struct Pairing {
            int assignment, first, second;
        };
        constexpr Pairing kPairings[4] = {{1, 0, 1}, {8, 0, 2}, {9, 2, 1}, {10, 3, 2}};
        const int32_t* signals[4] = {left, right, side_.data(), mid_.data()};
        const int bits[4] = {bitsPerSample_, bitsPerSample_, bitsPerSample_ + 1, bitsPerSample_};
        double rough[4];
        for (int i = 0; i < 4; ++i) rough[i] = roughBits(signals[i], frames);
        const Pairing* best = &kPairings[0];
        for (const Pairing& p : kPairings)
            if (rough[p.first] + rough[p.second] < rough[best->first] + rough[best->second]) best = &p;
        Plan first, second;
        planSubframe(signals[best->first], frames, bits[best->first], first);
        planSubframe(signals[best->second], frames, bits[best->second], second);
        writeFrameHeader(w, frames, best->assignment);
        writeSubframe(w, signals[best->first], frames, bits[best->first], first);
        writeSubframe(w, signals[best->second], frames, bits[best->second], second);
    } else {
        writeFrameHeader(w, frames, channels_ - 1);
        for (int c = 0; c < channels_; ++c) {
            Plan plan;
            planSubframe(channels[c], frames, bitsPerSample_, plan);
            writeSubframe(w, channels[c], frames, bitsPerSample_, plan);
        }
    }
    w.flushToByte();
    w.write(flacCrc16(out_.data() + start, out_.size() - start), 16);
    const uint32_t size = uint32_t(out_.size() - start);
    smallestFrame_ = frameNumber_ == 0 ? size : std::min(smallestFrame_, size);
    largestFrame_ = std::max(largestFrame_, size);
    ++frameNumber_;
}

void FlacEncoder::writeFrameHeader(BitWriter& w, int frames, int assignment) {
    const std::size_t start = out_.size();
    w.write(0xFFF8, 16);  // sync code, a reserved 0, fixed block sizes
    const int sizeCode = frames == kBlockFrames ? 12 : frames <= 256 ? 6
                                                                     : 7;
    w.write(uint32_t(sizeCode), 4);
    w.write(uint32_t(sampleRateCode(sampleRate_)), 4);
    w.write(uint32_t(assignment), 4);
    w.write(uint32_t(sampleSizeCode(bitsPerSample_)), 3);
    w.write(0, 1);
    writeCodedNumber(w, uint32_t(frameNumber_));
    if (sizeCode == 6) w.write(uint32_t(frames - 1), 8);
    if (sizeCode == 7) w.write(uint32_t(frames - 1), 16);
    w.write(flacCrc8(out_.data() + start, out_.size() - start), 8);
}

void FlacEncoder::planSubframe(const int32_t* samples, int frames, int bits, Plan& plan) {
    if (std::all_of(samples, samples + frames, [&](int32_t v) { return v == samples[0]; })) {
        plan.kind = Plan::Kind::Constant;
        plan.bits = kSubframeHeaderBits + uint64_t(bits);
        return;
    }
    // Samples from a 16-bit file keep their 8 low bits 0 on the 24-bit
    // grid: those are coded once, as wasted bits.
    uint32_t allBits = 0;
    for (int i = 0; i < frames; ++i) allBits |= uint32_t(samples[i]);
    plan.wasted = std::min(std::countr_zero(allBits), bits - 1);
    const int32_t* coded = withoutWastedBits(samples, frames, plan.wasted);
    bits -= plan.wasted;
    const uint64_t headerBits = kSubframeHeaderBits + uint64_t(plan.wasted);

    plan.kind = Plan::Kind::Verbatim;
    plan.bits = headerBits + uint64_t(frames) * uint64_t(bits);

    for (int order = 0; order <= 4 && order < frames; ++order) {
        foldResiduals(coded, frames, order, folded_.data());
        // The finest partitioning the block allows, then coarser ones by
        // adding neighbouring partitions' sums.
        int finest = 0;
        while (finest < kMaxPartitionOrder && frames % (2 << finest) == 0 && (frames >> (finest + 1)) >= order) ++finest;
        uint64_t sums[1 << kMaxPartitionOrder];
        const int finestSize = frames >> finest;
        for (int p = 0; p < (1 << finest); ++p) {
            uint64_t sum = 0;
            for (int i = std::max(p * finestSize, order); i < (p + 1) * finestSize; ++i) sum += folded_[std::size_t(i)];
            sums[p] = sum;
        }
        for (int partitionOrder = finest; partitionOrder >= 0; --partitionOrder) {
            const int partitions = 1 << partitionOrder;
            const int size = frames >> partitionOrder;
            if (partitionOrder < finest)
                for (int p = 0; p < partitions; ++p) sums[p] = sums[2 * p] + sums[2 * p + 1];
            uint64_t cost = headerBits + uint64_t(order) * uint64_t(bits) + kResidualHeaderBits;
            int widest = 0;
            uint8_t parameters[1 << kMaxPartitionOrder];
            for (int p = 0; p < partitions; ++p) {
                const RiceChoice choice = bestParameter(sums[p], p == 0 ? size - order : size);
                cost += choice.bits;
                parameters[p] = uint8_t(choice.parameter);
                widest = std::max(widest, choice.parameter);
            }
            const bool wide = widest > kMaxNarrowParameter;
            cost += uint64_t(partitions) * (wide ? 5 : 4);
            if (cost < plan.bits) {
                plan.kind = Plan::Kind::Fixed;
                plan.bits = cost;
                plan.order = order;
                plan.partitionOrder = partitionOrder;
                plan.wideParameters = wide;
                std::memcpy(plan.parameters, parameters, std::size_t(partitions));
            }
        }
    }
}

const int32_t* FlacEncoder::withoutWastedBits(const int32_t* samples, int frames, int wasted) {
    if (wasted == 0) return samples;
    for (int i = 0; i < frames; ++i) shifted_[std::size_t(i)] = samples[i] >> wasted;
    return shifted_.data();
}

void FlacEncoder::writeSubframe(BitWriter& w, const int32_t* samples, int frames, int bits, const Plan& plan) {
    const uint32_t wastedFlag = plan.wasted > 0 ? 1 : 0;
    samples = withoutWastedBits(samples, frames, plan.wasted);
    bits -= plan.wasted;
    const auto writeHeader = [&](uint32_t type) {
        w.write(type << 1 | wastedFlag, kSubframeHeaderBits);
        if (plan.wasted > 0) w.writeUnary(uint32_t(plan.wasted - 1));
    };
    switch (plan.kind) {
        case Plan::Kind::Constant:
            w.write(0, kSubframeHeaderBits);
            w.writeSigned(samples[0], bits);
            return;
        case Plan::Kind::Verbatim:
            writeHeader(1);
            for (int i = 0; i < frames; ++i) w.writeSigned(samples[i], bits);
            return;
        case Plan::Kind::Fixed: break;
    }
    writeHeader(uint32_t(8 + plan.order));
    foldResiduals(samples, frames, plan.order, folded_.data());
    for (int i = 0; i < plan.order; ++i) w.writeSigned(samples[i], bits);
    w.write(plan.wideParameters ? 1 : 0, 2);
    w.write(uint32_t(plan.partitionOrder), 4);
    const int size = frames >> plan.partitionOrder;
    for (int p = 0; p < (1 << plan.partitionOrder); ++p) {
        const int k = plan.parameters[p];
        w.write(uint32_t(k), plan.wideParameters ? 5 : 4);
        for (int i = std::max(p * size, plan.order); i < (p + 1) * size; ++i) {
            const uint32_t folded = folded_[std::size_t(i)];
            const uint32_t quotient = folded >> k;
            if (quotient + 1 + uint32_t(k) <= 32) {  // the usual case: one write
                w.write((uint32_t(1) << k) | (folded & ((uint32_t(1) << k) - 1)), int(quotient) + 1 + k);
            } else {
                w.writeUnary(quotient);
                w.write(folded, k);
            }
        }
    }
}

}  // namespace rimbrel::platform::ownaudio
