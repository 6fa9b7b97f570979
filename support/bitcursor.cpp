#include "support/bitcursor.h"

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

// Three units from each load, which holds at least 57 bits. Units read
// past the span are garbage, as any read there is, and the cursor tells.
void BitCursor::units(uint16_t *out, uint32_t count)
{
    uint32_t i = 0;
    for (; i + 3 <= count; i += 3) {
        const uint64_t word = p_peek();
        out[i] = p_byteSwap16(static_cast<uint32_t>(word >> 48));
        out[i + 1] = p_byteSwap16(static_cast<uint32_t>(word >> 32) & 0xFFFFu);
        out[i + 2] = p_byteSwap16(static_cast<uint32_t>(word >> 16) & 0xFFFFu);
        bit_ += 48;
    }
    for (; i < count; ++i) {
        out[i] = RS();
    }
}

uint64_t BitCursor::p_loadNearEnd(const uint8_t *bytes, uint64_t readable, uint64_t next)
{
    uint64_t word = 0;
    for (uint64_t i = 0; i < 8; ++i) {
        const uint64_t byte = next + i < readable ? bytes[next + i] : 0u;
        word |= byte << (56 - 8 * i);
    }
    return word;
}
