// Little-endian numbers and runs of bytes, read in turn from a block of
// bytes, as the sections and records of properties keep them. A value the
// bytes do not hold whole sets cut: it reads as zero (or as no bytes), and
// so does everything after it.
#ifndef TQ_SUPPORT_BYTEREADER_H
#define TQ_SUPPORT_BYTEREADER_H

#include <cstdint>

class ByteReader {
public:
    ByteReader(const uint8_t *bytes, uint32_t length) : bytes_(bytes), length_(bytes == nullptr ? 0 : length) {}

    uint32_t number(uint32_t size)
    {
        const uint8_t *at = take(size);
        uint32_t value = 0;
        for (uint32_t i = 0; at != nullptr && i < size; ++i) {
            value |= uint32_t{at[i]} << (8 * i);
        }
        return value;
    }

    // The next count bytes; null when the block does not hold them all.
    const uint8_t *take(uint32_t count)
    {
        cut_ = cut_ || count > length_ - at_;
        if (cut_) {
            return nullptr;
        }
        const uint8_t *at = bytes_ + at_;
        at_ += count;
        return at;
    }

    void skip(uint32_t count) { take(count); }
    bool cut() const { return cut_; }
    bool atEnd() const { return cut_ || at_ == length_; }

private:
    const uint8_t *bytes_;
    uint32_t length_;
    uint32_t at_ = 0;
    bool cut_ = false;
};

#endif
