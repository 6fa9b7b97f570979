// A drawing stores its numbers in a fixed byte order: the raw numbers of the
// bit stream and the section locators little-endian, the section sizes of
// the object map big-endian. Assembling a number from its bytes, or
// storing one as bytes in a given order, works the same on a host of
// either order, with nothing to probe at run time.
#ifndef TQ_SUPPORT_BYTESWAP_H
#define TQ_SUPPORT_BYTESWAP_H

#include <bit>
#include <cstdint>
#include <cstring>

constexpr uint16_t littleEndian16(const uint8_t *bytes)
{
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

constexpr uint32_t littleEndian32(const uint8_t *bytes)
{
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

constexpr uint64_t littleEndian64(const uint8_t *bytes)
{
    return uint64_t{littleEndian32(bytes)} | uint64_t{littleEndian32(bytes + 4)} << 32;
}

// Stores the four bytes of value, the lowest first, with one write.
inline void putLittleEndian32(uint8_t *bytes, uint32_t value)
{
    if constexpr (std::endian::native == std::endian::big) {
        value = __builtin_bswap32(value);
    }
    std::memcpy(bytes, &value, sizeof value);
}

constexpr uint16_t bigEndian16(const uint8_t *bytes)
{
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

constexpr uint32_t bigEndian32(const uint8_t *bytes)
{
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

#endif
