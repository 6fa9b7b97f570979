#include "r2004/checksums.h"

#include <bit>
#include <cstring>

#include "support/crctable.h"

namespace {

constexpr CrcTable<uint32_t> kCrc32 = makeCrcTable<uint32_t>(0xEDB88320u);

// The sums are reduced at least this often, before the second can pass
// 32 bits.
constexpr uint32_t kSumModulus = 0xFFF1;
constexpr uint32_t kSumChunk = 0x15B0;

// Eight 16-bit lanes in one number of 128 bits, and the same bits as four
// 32-bit lanes: the vector extension of the compilers we build with, which
// becomes the host's vector additions where it has them and plain ones
// where it has none. A load is read as little-endian 16-bit lanes on
// either host.
using Lanes = uint16_t __attribute__((vector_size(16)));
using Wide = uint32_t __attribute__((vector_size(16)));

// Adds the 16-bit lanes 2i (even) or 2i + 1 (odd) of a number to the four
// 32-bit lanes i of another; a big-endian host holds lane 2i in the high
// half. Vectors pass by reference: a 32-bit x86 build without SSE would
// pass them by value in another way than one with it.
constexpr bool kBigEndian = std::endian::native == std::endian::big;
void addLanes(const Lanes &lanes, bool odd, Wide &into)
{
    const Wide wide = reinterpret_cast<Wide>(lanes);
    into += odd != kBigEndian ? wide >> 16 : wide & 0xFFFF;
}

// The column sums of groups of eight bytes, and for each column the sum of
// its sums before each group. Two groups are taken at a time, as one
// number of eight 16-bit lanes for the even bytes and one for the odd
// bytes: lane l holds byte 2l, or 2l + 1, of the pair's sixteen. Each lane
// keeps its running sum, and the sum of its running sums before each pair.
// Lanes that narrow can take a block of 23 pairs (the sums before reach
// 253 times 255); each block then goes into the same sums in 32-bit lanes,
// which a chunk keeps below 2^32: a whole block adds its lanes' sums before
// it 23 times, counted once each and multiplied at the end. Over the pairs,
// a first group has every pair before its own before it, a second group
// those and the first group of its own pair. An odd last group is taken
// alone.
void sumColumns(const uint8_t *bytes, uint32_t groups, uint32_t (&columns)[8], uint32_t (&before)[8])
{
    constexpr uint32_t kBlockPairs = 23;
    // Even bytes' even lanes and odd lanes, odd bytes' even lanes and odd lanes.
    Wide totals[4] = {};
    Wide totalsBefore[4] = {};
    Wide blocksBefore[4] = {};
    uint32_t start = 0;
    while (start + 2 <= groups) {
        const uint32_t pairs = (groups - start) / 2 < kBlockPairs ? (groups - start) / 2 : kBlockPairs;
        Lanes sums[2] = {};
        Lanes sumsBefore[2] = {};
        const uint8_t *const end = bytes + 8 * (start + 2 * pairs);
        for (const uint8_t *at = bytes + 8 * start; at != end; at += 16) {
            Lanes pair;
            memcpy(&pair, at, sizeof pair);
            if constexpr (kBigEndian) {
                pair = pair << 8 | pair >> 8;
            }
            sumsBefore[0] += sums[0];
            sumsBefore[1] += sums[1];
            sums[0] += pair & 0xFF;
            sums[1] += pair >> 8;
        }
        for (int k = 0; k < 4; ++k) {
            if (pairs == kBlockPairs) {
                blocksBefore[k] += totals[k];
            } else {
                totalsBefore[k] += totals[k] * pairs;
            }
            const bool odd = k % 2 != 0;
            addLanes(sumsBefore[k / 2], odd, totalsBefore[k]);
            addLanes(sums[k / 2], odd, totals[k]);
        }
        start += 2 * pairs;
    }
    for (uint32_t j = 0; j < 8; ++j) {
        columns[j] = 0;
        before[j] = 0;
    }
    for (int k = 0; k < 4; ++k) {
        for (int i = 0; i < 4; ++i) {
            const int place = 2 * (2 * i + k % 2) + k / 2;  // in the pair's sixteen bytes
            const uint32_t column = place % 8;
            columns[column] += totals[k][i];
            before[column] += 2 * (totalsBefore[k][i] + kBlockPairs * blocksBefore[k][i]) + (place < 8 ? totals[k][i] : 0);
        }
    }
    if (start < groups) {
        for (uint32_t j = 0; j < 8; ++j) {
            before[j] += columns[j];
            columns[j] += bytes[8 * start + j];
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
