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

void BitCursor::seekBit(uint64_t bit)
{
    overran_ = overran();
    word_ = 0;
    bitsLeft_ = 0;
    nextByte_ = bit >> 3;
    if ((bit & 7) != 0) {
        p_take(static_cast<uint32_t>(bit & 7));
    }
}

// On a byte boundary the bytes are copied as they stand; off one, each is
// assembled from two, eight at a time.
void BitCursor::bytes(uint8_t *out, uint32_t count)
{
    const uint64_t start = bitOffset();
    const uint64_t end = start + uint64_t{count} * 8;
    if (end <= endBit_) {
        const uint64_t byte = start >> 3;
        const uint32_t shift = static_cast<uint32_t>(start & 7);
        if (shift == 0) {
            memcpy(out, bytes_ + byte, count);
        } else {
            uint32_t i = 0;
            for (; i + 8 <= count; i += 8) {
                uint64_t word = 0;
                memcpy(&word, bytes_ + byte + i, sizeof word);
                word = p_fromBigEndian(word) << shift | bytes_[byte + i + 8] >> (8 - shift);
                word = p_fromBigEndian(word);
                memcpy(out + i, &word, sizeof word);
            }
            for (; i < count; ++i) {
                out[i] = static_cast<uint8_t>(bytes_[byte + i] << shift | bytes_[byte + i + 1] >> (8 - shift));
            }
        }
    }
    seekBit(end);
}

void BitCursor::units(uint16_t *out, uint32_t count)
{
    for (uint32_t i = 0; i < count && !overran(); ++i) {
        out[i] = RS();
    }
}

// Near the end of what may be loaded the bytes are added one by one, and
// those past it count as zero.
void BitCursor::p_refillNearEnd()
{
    while (bitsLeft_ <= 56) {
        const uint64_t byte = nextByte_ < readable_ ? bytes_[nextByte_] : 0u;
        word_ |= byte << (56 - bitsLeft_);
        bitsLeft_ += 8;
        ++nextByte_;
    }
}
