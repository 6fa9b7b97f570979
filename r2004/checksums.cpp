#include "r2004/checksums.h"

#include "support/byteswap.h"

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

// The column sums of groups of eight bytes, and for each column the sum of
// its sums before each group. Two columns share a 64-bit number, byte j
// and byte j + 4 of a group in its two halves, so that one addition serves
// both: a chunk's sums stay below 2^32 (694 groups of bytes up to 255, and
// 694 such sums).
void sumColumns(const uint8_t *bytes, uint32_t groups, uint32_t (&columns)[8], uint32_t (&before)[8])
{
    constexpr uint64_t kLowBytes = 0x0000'00FF'0000'00FFu;
    uint64_t pairs[4] = {};
    uint64_t pairsBefore[4] = {};
    for (uint32_t g = 0; g < groups; ++g) {
        const uint64_t group = littleEndian64(bytes + 8 * g);
        for (uint32_t j = 0; j < 4; ++j) {
            pairsBefore[j] += pairs[j];
            pairs[j] += group >> (8 * j) & kLowBytes;
        }
    }
    for (uint32_t j = 0; j < 4; ++j) {
        columns[j] = static_cast<uint32_t>(pairs[j]);
        columns[j + 4] = static_cast<uint32_t>(pairs[j] >> 32);
        before[j] = static_cast<uint32_t>(pairsBefore[j]);
        before[j + 4] = static_cast<uint32_t>(pairsBefore[j] >> 32);
    }
}

}  // namespace

uint32_t crc32Of(const uint8_t *bytes, uint32_t count, uint32_t seed)
{
    uint32_t crc = ~seed;
    for (uint32_t i = 0; i < count; ++i) {
        crc = (crc >> 8) ^ kCrc32.entries[(crc ^ bytes[i]) & 0xFF];
    }
    return ~crc;
}

// Over the whole groups of a chunk the sums are taken by column: each of
// the eight byte places keeps the sum of its bytes, and the sum of those
// sums before each group. The first sum gains all the bytes; the second
// takes the first eight times a group, so every group's bytes eight times
// for each group after it, and each byte of a group once for each place
// from its own on in the group's order. The columns leave out the
// dependence from group to group.
uint32_t runningSumsOf(const uint8_t *bytes, uint32_t count, uint32_t seed, const SumOrder &order)
{
    uint32_t weights[8];
    for (uint32_t k = 0; k < 8; ++k) {
        weights[order[0][k]] = 8 - k;
    }
    uint64_t first = seed & 0xFFFF;
    uint64_t second = seed >> 16;
    while (count != 0) {
        const uint32_t chunk = count < kSumChunk ? count : kSumChunk;
        const uint32_t groups = chunk / 8;
        uint32_t columns[8];
        uint32_t before[8];
        sumColumns(bytes, groups, columns, before);
        uint64_t sum = 0;
        uint64_t earlier = 0;
        uint64_t weighted = 0;
        for (uint32_t j = 0; j < 8; ++j) {
            sum += columns[j];
            earlier += before[j];
            weighted += uint64_t{weights[j]} * columns[j];
        }
        second += 8 * groups * first + 8 * earlier + weighted;
        first += sum;
        const uint8_t *tail = order[chunk & 7];
        for (uint32_t k = 0; 8 * groups + k < chunk; ++k) {
            first += bytes[8 * groups + tail[k]];
            second += first;
        }
        bytes += chunk;
        count -= chunk;
        first %= kSumModulus;
        second %= kSumModulus;
    }
    return static_cast<uint32_t>(second << 16 | first);
}

uint32_t pageChecksumOf(const uint8_t *bytes, uint32_t count, uint32_t seed)
{
    static constexpr SumOrder kInOrder = {{0, 1, 2, 3, 4, 5, 6, 7}, {0},          {0, 1},
                                          {0, 1, 2},                {0, 1, 2, 3}, {0, 1, 2, 3, 4},
                                          {0, 1, 2, 3, 4, 5},       {0, 1, 2, 3, 4, 5, 6}};
    return runningSumsOf(bytes, count, seed, kInOrder);
}
