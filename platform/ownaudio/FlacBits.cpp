#include "platform/ownaudio/FlacBits.h"

#include <array>
#include <bit>
#include <cstring>

namespace rimbrel::platform::ownaudio {

namespace {

constexpr std::array<uint8_t, 256> makeCrc8Table() {
    std::array<uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        unsigned crc = unsigned(i);
        for (int b = 0; b < 8; ++b) crc = (crc & 0x80) ? ((crc << 1) ^ 0x07) & 0xFF : (crc << 1) & 0xFF;
        table[std::size_t(i)] = uint8_t(crc);
    }
    return table;
}

constexpr std::array<uint16_t, 256> makeCrc16Table() {
    std::array<uint16_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        unsigned crc = unsigned(i) << 8;
        for (int b = 0; b < 8; ++b) crc = (crc & 0x8000) ? ((crc << 1) ^ 0x8005) & 0xFFFF : (crc << 1) & 0xFFFF;
        table[std::size_t(i)] = uint16_t(crc);
    }
    return table;
}

constexpr std::array<uint8_t, 256> kCrc8 = makeCrc8Table();
constexpr std::array<uint16_t, 256> kCrc16 = makeCrc16Table();

}  // namespace

uint64_t BitReader::peek() const {
    const uint64_t byte = position_ >> 3;
    const uint64_t sizeBytes = sizeBits_ >> 3;
    uint64_t word = 0;
    if (byte + 8 <= sizeBytes) {
        std::memcpy(&word, bytes_ + byte, 8);
        if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
    } else {
        for (uint64_t i = 0; i < 8; ++i) word = (word << 8) | (byte + i < sizeBytes ? bytes_[byte + i] : 0);
    }
    return word << (position_ & 7);
}

bool BitReader::advance(uint64_t bits) {
    if (failed_ || bits > sizeBits_ - position_) {
        failed_ = true;
        position_ = sizeBits_;
        return false;
    }
    position_ += bits;
    return true;
}

uint32_t BitReader::read(int n) {
    if (n <= 0) return 0;
    const uint32_t value = uint32_t(peek() >> (64 - n));
    return advance(uint64_t(n)) ? value : 0;
}

int32_t BitReader::readSigned(int n) {
    const uint32_t value = read(n);
    if (n >= 32) return int32_t(value);
    return int32_t(value << (32 - n)) >> (32 - n);
}

uint32_t BitReader::readUnary(uint32_t limit) {
    uint64_t zeros = 0;
    while (!failed_) {
        const uint64_t word = peek();
        const int leading = std::countl_zero(word);
        if (leading < 57) {
            zeros += uint64_t(leading);
            if (zeros > limit || !advance(uint64_t(leading) + 1)) break;
            return uint32_t(zeros);
        }
        zeros += 57;
        if (zeros > limit || !advance(57)) break;
    }
    failed_ = true;
    position_ = sizeBits_;
    return 0;
}

int64_t BitReader::readRice(int k) {
    // Most residuals fit in one look: the quotient's zeros, its 1 and k bits.
    const uint64_t word = peek();
    const int leading = std::countl_zero(word);
    uint64_t folded;
    if (leading + 1 + k <= 57) {
        const uint64_t low = k == 0 ? 0 : (word << (leading + 1)) >> (64 - k);
        folded = (uint64_t(leading) << k) | low;
        if (!advance(uint64_t(leading + 1 + k))) return 0;
    } else {
        const uint32_t quotient = readUnary(uint32_t(0xFFFFFFFFu >> k));
        folded = (uint64_t(quotient) << k) | read(k);
    }
    if (failed_ || folded > 0xFFFFFFFFu) {
        failed_ = true;
        return 0;
    }
    return unfoldResidual(folded);
}

void BitReader::skipBytes(std::size_t n) {
    skipToByte();
    advance(uint64_t(n) * 8);
}

void BitWriter::write(uint32_t value, int n) {
    if (n <= 0) return;
    const uint64_t bits = n >= 32 ? value : value & ((uint32_t(1) << n) - 1);
    pending_ = (pending_ << n) | bits;
    pendingBits_ += n;
    while (pendingBits_ >= 8) {
        pendingBits_ -= 8;
        out_.push_back(uint8_t(pending_ >> pendingBits_));
    }
}

void BitWriter::writeUnary(uint32_t zeros) {
    for (; zeros >= 24; zeros -= 24) write(0, 24);
    write(1, int(zeros) + 1);
}

void BitWriter::flushToByte() {
    if (pendingBits_ > 0) write(0, 8 - pendingBits_);
}

uint8_t flacCrc8(const uint8_t* bytes, std::size_t size) {
    uint8_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) crc = kCrc8[crc ^ bytes[i]];
    return crc;
}

uint16_t flacCrc16(const uint8_t* bytes, std::size_t size) {
    uint16_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) crc = uint16_t((crc << 8) ^ kCrc16[(crc >> 8) ^ bytes[i]]);
    return crc;
}

}  // namespace rimbrel::platform::ownaudio
