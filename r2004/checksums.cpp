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
// its sums before each group. A 64-bit number holds four columns in 16-bit
// lanes, the even bytes of a group in one and the odd bytes in another, so
// that one addition serves four columns. Lanes that narrow can sum a block
// of 16 groups (the sums before reach 120 times 255); each block then goes
// into 32-bit sums, which a chunk keeps below 2^32.
void sumColumns(const uint8_t *bytes, uint32_t groups, uint32_t (&columns)[8], uint32_t (&before)[8])
{
    constexpr uint64_t kEvenBytes = 0x00FF'00FF'00FF'00FFu;
    constexpr uint32_t kBlock = 16;
    for (uint32_t j = 0; j < 8; ++j) {
        columns[j] = 0;
        before[j] = 0;
    }
    for (uint32_t start = 0; start < groups; start += kBlock) {
        const uint32_t count = groups - start < kBlock ? groups - start : kBlock;
        uint64_t lanes[2] = {};
        uint64_t lanesBefore[2] = {};
        for (uint32_t g = 0; g < count; ++g) {
            const uint64_t group = littleEndian64(bytes + 8 * (start + g));
            lanesBefore[0] += lanes[0];
            lanesBefore[1] += lanes[1];
            lanes[0] += group & kEvenBytes;
            lanes[1] += group >> 8 & kEvenBytes;
        }
        for (uint32_t j = 0; j < 8; ++j) {
            const uint32_t shift = 16 * (j / 2);
            before[j] += columns[j] * count + static_cast<uint32_t>(lanesBefore[j % 2] >> shift & 0xFFFFu);
            columns[j] += static_cast<uint32_t>(lanes[j % 2] >> shift & 0xFFFFu);
        }
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
