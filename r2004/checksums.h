// The two integrity checks of R2004 and later containers: the CRC-32 that
// closes the encrypted file header, and the running sums that every page
// header holds for itself and for its compressed bytes.
#ifndef TQ_R2004_CHECKSUMS_H
#define TQ_R2004_CHECKSUMS_H

#include <cstdint>

// The common reflected CRC-32 (polynomial 0xEDB88320), continued from seed.
uint32_t crc32Of(const uint8_t *bytes, uint32_t count, uint32_t seed);

// The order in which the sums take the bytes of a group of eight, and of
// the shorter group that may end the bytes (indexed by its length; a whole
// group at index 0).
using SumOrder = uint8_t[8][8];

// Two 16-bit sums modulo 65521, the second summing the first, continued
// from seed (first sum in its low half, second in its high half). R2004
// takes the bytes in order; R2007 each group of eight in an order of its
// own.
uint32_t runningSumsOf(const uint8_t *bytes, uint32_t count, uint32_t seed, const SumOrder &order);

// The linear congruential generator the containers draw on: it makes the
// sequence that seals the R2004 file header, and seeds the R2007 page
// checksum from a page's length.
constexpr uint32_t nextRandom(uint32_t state) { return state * 0x343FDu + 0x269EC3u; }
uint32_t pageChecksumOf(const uint8_t *bytes, uint32_t count, uint32_t seed);

#endif
