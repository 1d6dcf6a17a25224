// The bit-level pieces of a FLAC stream: a reader over untrusted bytes that
// never reads past them, a writer that appends to a byte vector, and the two
// checksums of a frame (CRC-8 of its header, CRC-16 of the whole frame).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rimbrel::platform::ownaudio {

// Reads big-endian bit fields. A read past the end fails (failed() turns
// true, the value is 0) and leaves the position at the end, so a damaged
// stream runs out instead of running away.
class BitReader {
public:
    BitReader(const uint8_t* bytes, std::size_t size) : bytes_(bytes), sizeBits_(uint64_t(size) * 8) {}

    bool failed() const { return failed_; }
    bool atByteBoundary() const { return (position_ & 7) == 0; }
    std::size_t bytePosition() const { return std::size_t(position_ >> 3); }
    std::size_t bytesLeft() const { return std::size_t((sizeBits_ - position_) >> 3); }

    // n is 0..32.
    uint32_t read(int n);
    // A two's complement field of n bits (1..32).
    int32_t readSigned(int n);
    // Counts 0 bits up to the next 1 bit and skips both; fails beyond limit
    // zeros or past the end.
    uint32_t readUnary(uint32_t limit);
    // One Rice-coded residual with parameter k (0..30), folded back to a
    // signed value; fails when the folded value needs more than 32 bits.
    int64_t readRice(int k);
    void skipToByte() { position_ = (position_ + 7) & ~uint64_t(7); }
    void skipBytes(std::size_t n);

private:
    // The next 64 bits from the position, the first one in the top bit;
    // at least the top 57 are the stream's, bits past its end read as 0.
    uint64_t peek() const;
    bool advance(uint64_t bits);

    const uint8_t* bytes_;
    uint64_t sizeBits_;
    uint64_t position_ = 0;
    bool failed_ = false;
};

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}

    // n is 0..32; value's bits above n are ignored.
    void write(uint32_t value, int n);
    void writeSigned(int64_t value, int n) { write(uint32_t(uint64_t(value)), n); }
    void writeUnary(uint32_t zeros);
    // Pads with 0 bits to the next byte.
    void flushToByte();

private:
    std::vector<uint8_t>& out_;
    uint64_t pending_ = 0;
    int pendingBits_ = 0;
};

uint8_t flacCrc8(const uint8_t* bytes, std::size_t size);
uint16_t flacCrc16(const uint8_t* bytes, std::size_t size);

// Folds a signed residual into an unsigned one for Rice coding (0, -1, 1,
// -2... become 0, 1, 2, 3...), and back.
inline uint64_t foldResidual(int64_t v) { return v >= 0 ? uint64_t(v) << 1 : (uint64_t(-(v + 1)) << 1) | 1; }
inline int64_t unfoldResidual(uint64_t u) { return (u & 1) ? -int64_t(u >> 1) - 1 : int64_t(u >> 1); }

}  // namespace rimbrel::platform::ownaudio
