// The header of an R2004-R2018 data page. Each page of a section opens with
// eight longs sealed by XOR with a mask taken from the page's file address:
// type, section id, compressed size, size in the file, start in the
// section (low and high half), a checksum of the header (its own field
// zeroed, seeded with the data's) and one of the compressed bytes. The
// header says all a reader needs to place the page without the maps, and
// both sums tell a page from bytes that only look like one.
#ifndef TQ_R2004_DATAPAGE_H
#define TQ_R2004_DATAPAGE_H

#include <cstdint>

#include "r2004/pagedmaps.h"

// Pages that do not compress come out a little larger than they went in.
inline constexpr uint32_t kMaxCompressedPage = 2 * kMaxDataPage;
// Pages start on this boundary of the file.
inline constexpr uint32_t kPageAlignment = 0x20;

struct DataPageHeader {
    uint32_t section;         // the section's id in the section map
    uint32_t compressedSize;  // bytes after the header
    uint64_t start;           // offset in the section of its first byte
    uint32_t headerSum;
    uint32_t dataSum;
    uint32_t words[8];        // as unsealed, for the header's own sum
};

// Unseals the kDataPageHeader bytes found at address. False when they are
// not a data page's: another type, a start past the largest section, or
// no compressed bytes or more than a page can have.
bool unsealDataPageHeader(const uint8_t *raw, uint64_t address, DataPageHeader *header);

// Both sums of a page over its compressed bytes.
bool dataPageIntact(const DataPageHeader &header, const uint8_t *compressed);

#endif
