#include "support/bitcursor.h"

double BitCursor::DD()
{
    switch (BB()) {
    case 0:
        return 0.0;
    case 1:
        return static_cast<double>(static_cast<int32_t>(RL()));
    case 2:
        skipBytes(6);
        return 0.0;
    default:
        return RD();
    }
}

void BitCursor::BE(double *x, double *y, double *z)
{
    if (B() != 0) {
        *x = 0.0;
        *y = 0.0;
        *z = 1.0;
        return;
    }
    *x = BD();
    *y = BD();
    *z = BD();
}

uint32_t BitCursor::MC()
{
    constexpr int32_t kLongest = 5;
    uint32_t value = 0;
    for (int32_t i = 0; i < kLongest; ++i) {
        const uint8_t byte = RC();
        value |= static_cast<uint32_t>(byte & 0x7F) << (7 * i);
        if ((byte & 0x80) == 0) {
            return value;
        }
    }
    overran_ = true;
    return value;
}

uint16_t BitCursor::OT()
{
    constexpr uint16_t kSecondRange = 0x1F0;
    const uint32_t code = BB();
    if (code >= 2) {
        return RS();
    }
    const uint8_t byte = RC();
    return static_cast<uint16_t>(code == 1 ? kSecondRange + byte : byte);
}

// On a byte boundary the bytes are copied as they stand; off one, each is
// assembled from two.
void BitCursor::bytes(uint8_t *out, uint32_t count)
{
    const uint64_t end = bit_ + uint64_t{count} * 8;
    if (end > endBit_) {
        bit_ = end;
        overran_ = true;
        return;
    }
    const uint64_t byte = bit_ >> 3;
    const uint32_t shift = static_cast<uint32_t>(bit_ & 7);
    if (shift == 0) {
        memcpy(out, bytes_ + byte, count);
    } else {
        for (uint32_t i = 0; i < count; ++i) {
            out[i] = static_cast<uint8_t>(bytes_[byte + i] << shift | bytes_[byte + i + 1] >> (8 - shift));
        }
    }
    bit_ = end;
}

void BitCursor::units(uint16_t *out, uint32_t count)
{
    for (uint32_t i = 0; i < count && !overran_; ++i) {
        out[i] = RS();
    }
}

// Near the span's end the bytes that are there are assembled one by one,
// and those past it count as zero.
uint64_t BitCursor::p_peek64NearEnd() const
{
    const uint64_t byte = bit_ >> 3;
    const uint32_t shift = static_cast<uint32_t>(bit_ & 7);
    uint64_t word = 0;
    for (uint64_t i = 0; i < 8; ++i) {
        word = word << 8 | (byte + i < length_ ? bytes_[byte + i] : 0u);
    }
    const uint32_t ninth = byte + 8 < length_ ? bytes_[byte + 8] : 0u;
    return shift == 0 ? word : word << shift | ninth >> (8 - shift);
}
