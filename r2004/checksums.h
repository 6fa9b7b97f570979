// The two integrity checks of R2004 and later containers: the CRC-32 that
// closes the encrypted file header, and the running sums that every page
// header holds for itself and for its compressed bytes.
#ifndef TQ_R2004_CHECKSUMS_H
#define TQ_R2004_CHECKSUMS_H

#include <cstdint>

// The common reflected CRC-32 (polynomial 0xEDB88320), continued from seed.
uint32_t crc32Of(const uint8_t *bytes, uint32_t count, uint32_t seed);

// Two 16-bit sums modulo 65521, the second summing the first, continued
// from seed (first sum in its low half, second in its high half).
uint32_t pageChecksumOf(const uint8_t *bytes, uint32_t count, uint32_t seed);

#endif
