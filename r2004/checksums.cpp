#include "r2004/checksums.h"

namespace {

struct Crc32Table {
    uint32_t entries[256];
};

constexpr Crc32Table makeCrc32Table()
{
    Crc32Table table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1) != 0 ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        }
        table.entries[i] = value;
    }
    return table;
}

constexpr Crc32Table kCrc32 = makeCrc32Table();

// The sums are reduced at least this often, before the second can pass
// 32 bits.
constexpr uint32_t kSumModulus = 0xFFF1;
constexpr uint32_t kSumChunk = 0x15B0;

}  // namespace

uint32_t crc32Of(const uint8_t *bytes, uint32_t count, uint32_t seed)
{
    uint32_t crc = ~seed;
    for (uint32_t i = 0; i < count; ++i) {
        crc = (crc >> 8) ^ kCrc32.entries[(crc ^ bytes[i]) & 0xFF];
    }
    return ~crc;
}

uint32_t pageChecksumOf(const uint8_t *bytes, uint32_t count, uint32_t seed)
{
    uint32_t first = seed & 0xFFFF;
    uint32_t second = seed >> 16;
    while (count != 0) {
        const uint32_t chunk = count < kSumChunk ? count : kSumChunk;
        uint32_t i = 0;
        // Eight bytes at a time: the second sum takes the first eight times
        // and each byte as often as the first sum holds it in those steps.
        for (; i + 8 <= chunk; i += 8) {
            const uint8_t *b = bytes + i;
            second += 8 * first + 8u * b[0] + 7u * b[1] + 6u * b[2] + 5u * b[3] + 4u * b[4] + 3u * b[5] +
                      2u * b[6] + b[7];
            first += 0u + b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + b[7];
        }
        for (; i < chunk; ++i) {
            first += bytes[i];
            second += first;
        }
        bytes += chunk;
        count -= chunk;
        first %= kSumModulus;
        second %= kSumModulus;
    }
    return second << 16 | first;
}
