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

uint32_t runningSumsOf(const uint8_t *bytes, uint32_t count, uint32_t seed, const SumOrder &order)
{
    uint32_t first = seed & 0xFFFF;
    uint32_t second = seed >> 16;
    const uint8_t *whole = order[0];
    while (count != 0) {
        const uint32_t chunk = count < kSumChunk ? count : kSumChunk;
        uint32_t i = 0;
        // A whole group in one step: the second sum takes the first eight
        // times and each byte as often as the first holds it in the group.
        for (; i + 8 <= chunk; i += 8) {
            const uint8_t *b = bytes + i;
            second += 8 * first + 8u * b[whole[0]] + 7u * b[whole[1]] + 6u * b[whole[2]] + 5u * b[whole[3]] +
                      4u * b[whole[4]] + 3u * b[whole[5]] + 2u * b[whole[6]] + b[whole[7]];
            first += 0u + b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + b[7];
        }
        const uint8_t *tail = order[(chunk - i) & 7];
        for (uint32_t k = 0; i + k < chunk; ++k) {
            first += bytes[i + tail[k]];
            second += first;
        }
        bytes += chunk;
        count -= chunk;
        first %= kSumModulus;
        second %= kSumModulus;
    }
    return second << 16 | first;
}

uint32_t pageChecksumOf(const uint8_t *bytes, uint32_t count, uint32_t seed)
{
    static constexpr SumOrder kInOrder = {{0, 1, 2, 3, 4, 5, 6, 7}, {0},          {0, 1},
                                          {0, 1, 2},                {0, 1, 2, 3}, {0, 1, 2, 3, 4},
                                          {0, 1, 2, 3, 4, 5},       {0, 1, 2, 3, 4, 5, 6}};
    return runningSumsOf(bytes, count, seed, kInOrder);
}
