#include "platform/ownaudio/FlacDecoder.h"

#include <cstring>
#include <new>

namespace rimbrel::platform::ownaudio {

namespace {

constexpr int kMaxBitsPerSample = 24;
constexpr int kStreamInfoType = 0;
constexpr int kStreamInfoLength = 34;
constexpr int kInvalidBlockType = 127;

// The fixed predictors as prediction coefficients (newest sample first).
constexpr int32_t kFixedCoefficients[5][4] = {{0, 0, 0, 0}, {1, 0, 0, 0}, {2, -1, 0, 0}, {3, -3, 1, 0}, {4, -6, 4, -1}};

// Reads the frame (or sample) number coded as UTF-8 is, up to 7 bytes;
// false for a malformed one.
bool readCodedNumber(BitReader& reader) {
    const uint32_t first = reader.read(8);
    int more = 0;
    if (first < 0x80) more = 0;
    else if ((first & 0xE0) == 0xC0) more = 1;
    else if ((first & 0xF0) == 0xE0) more = 2;
    else if ((first & 0xF8) == 0xF0) more = 3;
    else if ((first & 0xFC) == 0xF8) more = 4;
    else if ((first & 0xFE) == 0xFC) more = 5;
    else if (first == 0xFE) more = 6;
    else return false;
    for (int i = 0; i < more; ++i)
        if ((reader.read(8) & 0xC0) != 0x80) return false;
    return !reader.failed();
}

bool fits(int64_t v, int bits) {
    const int64_t limit = int64_t(1) << (bits - 1);
    return v >= -limit && v < limit;
}

// Adds to each residual from sample order on its prediction: coefficients[j]
// times the sample j + 1 back, summed and shifted. Order is Order, or order
// when Order is 0 (the common orders get loops of their own).
template <int Order>
bool predict(int32_t* samples, int blockSize, int bitsPerSample, const int32_t* coefficients, int shift, int order = Order) {
    const int n = Order > 0 ? Order : order;
    for (int i = n; i < blockSize; ++i) {
        int64_t prediction = 0;
        for (int j = 0; j < n; ++j) prediction += int64_t(coefficients[j]) * samples[i - 1 - j];
        const int64_t value = int64_t(samples[i]) + (prediction >> shift);
        if (!fits(value, bitsPerSample)) return false;
        samples[i] = int32_t(value);
    }
    return true;
}

}  // namespace

bool FlacDecoder::readHeader() {
    if (size_ < 4 || std::memcmp(bytes_, "fLaC", 4) != 0) return false;
    reader_.skipBytes(4);
    bool sawStreamInfo = false;
    for (bool last = false; !last;) {
        last = reader_.read(1) != 0;
        const int type = int(reader_.read(7));
        const uint32_t length = reader_.read(24);
        if (reader_.failed() || type == kInvalidBlockType || length > reader_.bytesLeft()) return false;
        if (!sawStreamInfo) {
            if (type != kStreamInfoType || length != kStreamInfoLength) return false;
            reader_.read(16);  // the smallest and largest block sizes and frame sizes: not needed
            reader_.read(16);
            reader_.read(24);
            reader_.read(24);
            info_.sampleRate = int(reader_.read(20));
            info_.channels = int(reader_.read(3)) + 1;
            info_.bitsPerSample = int(reader_.read(5)) + 1;
            info_.totalFrames = int64_t(reader_.read(4)) << 32;
            info_.totalFrames |= reader_.read(32);
            reader_.skipBytes(16);  // MD5: the frames' CRCs are checked instead
            sawStreamInfo = true;
        } else {
            if (type == kStreamInfoType) return false;
            reader_.skipBytes(length);
        }
    }
    if (reader_.failed() || info_.bitsPerSample < 4 || info_.bitsPerSample > kMaxBitsPerSample) return false;
    try {
        block_.resize(std::size_t(info_.channels));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool FlacDecoder::readFrameHeader(FrameHeader& header) {
    const std::size_t start = reader_.bytePosition();
    if (reader_.read(15) != 0x7FFC) return false;  // sync code and a reserved 0
    reader_.read(1);                               // blocking strategy: either is read alike
    const uint32_t sizeCode = reader_.read(4);
    const uint32_t rateCode = reader_.read(4);
    header.assignment = int(reader_.read(4));
    const uint32_t bitsCode = reader_.read(3);
    if (reader_.read(1) != 0 || !readCodedNumber(reader_)) return false;

    if (sizeCode == 0) return false;
    if (sizeCode == 1) header.blockSize = 192;
    else if (sizeCode <= 5) header.blockSize = 144 << sizeCode;
    else if (sizeCode == 6) header.blockSize = int(reader_.read(8)) + 1;
    else if (sizeCode == 7) header.blockSize = int(reader_.read(16)) + 1;
    else header.blockSize = 1 << sizeCode;

    if (rateCode == 12) reader_.read(8);
    else if (rateCode == 13 || rateCode == 14) reader_.read(16);
    else if (rateCode == 15) return false;

    static constexpr int kBits[8] = {0, 8, 12, -1, 16, 20, 24, 32};
    header.bitsPerSample = bitsCode == 0 ? info_.bitsPerSample : kBits[bitsCode];
    if (header.bitsPerSample != info_.bitsPerSample) return false;

    const int channels = header.assignment < 8 ? header.assignment + 1 : 2;
    if (header.assignment > 10 || channels != info_.channels) return false;

    const std::size_t end = reader_.bytePosition();
    const uint8_t crc = uint8_t(reader_.read(8));
    return !reader_.failed() && flacCrc8(bytes_ + start, end - start) == crc;
}

int FlacDecoder::nextFrame() {
    if (reader_.failed()) return -1;
    if (info_.totalFrames > 0 && decoded_ == info_.totalFrames) return 0;
    if (reader_.bytesLeft() == 0) return info_.totalFrames == 0 ? 0 : -1;

    const std::size_t start = reader_.bytePosition();
    FrameHeader header;
    if (!readFrameHeader(header)) return -1;
    if (info_.totalFrames > 0 && header.blockSize > info_.totalFrames - decoded_) return -1;
    try {
        for (std::vector<int32_t>& samples : block_)
            if (samples.size() < std::size_t(header.blockSize)) samples.resize(std::size_t(header.blockSize));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    for (int c = 0; c < info_.channels; ++c) {
        // The side channel of a stereo pair carries one bit more.
        const bool side = (header.assignment == 8 && c == 1) || (header.assignment == 9 && c == 0) ||
                          (header.assignment == 10 && c == 1);
        if (!readSubframe(block_[std::size_t(c)].data(), header.blockSize, header.bitsPerSample + (side ? 1 : 0)))
            return -1;
    }
    reader_.skipToByte();
    const std::size_t end = reader_.bytePosition();
    const uint16_t crc = uint16_t(reader_.read(16));
    if (reader_.failed() || flacCrc16(bytes_ + start, end - start) != crc) return -1;
    if (header.assignment >= 8 && !undoStereo(header.assignment, header.blockSize)) return -1;
    decoded_ += header.blockSize;
    return header.blockSize;
}

bool FlacDecoder::readSubframe(int32_t* samples, int blockSize, int bitsPerSample) {
    if (reader_.read(1) != 0) return false;
    const int type = int(reader_.read(6));
    int wasted = 0;
    if (reader_.read(1) != 0) wasted = int(reader_.readUnary(32)) + 1;
    if (reader_.failed() || wasted >= bitsPerSample) return false;
    const int bits = bitsPerSample - wasted;

    if (type == 0) {  // CONSTANT
        const int32_t value = reader_.readSigned(bits);
        for (int i = 0; i < blockSize; ++i) samples[i] = value;
    } else if (type == 1) {  // VERBATIM
        for (int i = 0; i < blockSize; ++i) samples[i] = reader_.readSigned(bits);
    } else if (type >= 8 && type <= 12) {  // FIXED, orders 0..4
        const int order = type - 8;
        if (order > blockSize) return false;
        for (int i = 0; i < order; ++i) samples[i] = reader_.readSigned(bits);
        if (!readResidual(samples, blockSize, order, bits, kFixedCoefficients[order], 0)) return false;
    } else if (type >= 32) {  // LPC, orders 1..32
        const int order = type - 31;
        if (order > blockSize) return false;
        for (int i = 0; i < order; ++i) samples[i] = reader_.readSigned(bits);
        const int precision = int(reader_.read(4)) + 1;
        const int32_t shift = reader_.readSigned(5);
        if (precision == 16 || shift < 0) return false;
        int32_t coefficients[32];
        for (int i = 0; i < order; ++i) coefficients[i] = reader_.readSigned(precision);
        if (!readResidual(samples, blockSize, order, bits, coefficients, shift)) return false;
    } else {
        return false;
    }
    if (reader_.failed()) return false;
    if (wasted > 0)
        for (int i = 0; i < blockSize; ++i) samples[i] = int32_t(int64_t(samples[i]) * (int64_t(1) << wasted));
    return true;
}

// Reads the Rice-coded residuals after the warm-up samples and adds each to
// its prediction.
bool FlacDecoder::readResidual(int32_t* samples, int blockSize, int order, int bitsPerSample,
                               const int32_t* coefficients, int shift) {
    const uint32_t method = reader_.read(2);
    if (method > 1) return false;
    const int parameterBits = method == 0 ? 4 : 5;
    const uint32_t escape = (1u << parameterBits) - 1;
    const int partitionOrder = int(reader_.read(4));
    const int partitionSize = blockSize >> partitionOrder;
    if ((partitionSize << partitionOrder) != blockSize || partitionSize < order) return false;

    int i = order;
    for (int p = 0; p < (1 << partitionOrder); ++p) {
        const int end = (p + 1) * partitionSize;
        const uint32_t parameter = reader_.read(parameterBits);
        if (parameter == escape) {
            const int raw = int(reader_.read(5));
            for (; i < end; ++i) samples[i] = raw == 0 ? 0 : reader_.readSigned(raw);
        } else {
            for (; i < end; ++i) samples[i] = int32_t(reader_.readRice(int(parameter)));
        }
        if (reader_.failed()) return false;
    }
    switch (order) {
        case 0: return true;
        case 1: return predict<1>(samples, blockSize, bitsPerSample, coefficients, shift);
        case 2: return predict<2>(samples, blockSize, bitsPerSample, coefficients, shift);
        case 3: return predict<3>(samples, blockSize, bitsPerSample, coefficients, shift);
        case 4: return predict<4>(samples, blockSize, bitsPerSample, coefficients, shift);
        case 8: return predict<8>(samples, blockSize, bitsPerSample, coefficients, shift);
        default: return predict<0>(samples, blockSize, bitsPerSample, coefficients, shift, order);
    }
}

bool FlacDecoder::undoStereo(int assignment, int blockSize) {
    int32_t* a = block_[0].data();
    int32_t* b = block_[1].data();
    for (int i = 0; i < blockSize; ++i) {
        int64_t left, right;
        if (assignment == 8) {  // left, side
            left = a[i];
            right = int64_t(a[i]) - b[i];
        } else if (assignment == 9) {  // side, right
            right = b[i];
            left = int64_t(a[i]) + b[i];
        } else {  // mid, side
            const int64_t mid = int64_t(a[i]) * 2 + (b[i] & 1);
            left = (mid + b[i]) >> 1;
            right = (mid - b[i]) >> 1;
        }
        if (!fits(left, info_.bitsPerSample) || !fits(right, info_.bitsPerSample)) return false;
        a[i] = int32_t(left);
        b[i] = int32_t(right);
    }
    return true;
}

}  // namespace rimbrel::platform::ownaudio
