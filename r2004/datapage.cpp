#include "r2004/datapage.h"

#include "r2004/checksums.h"
#include "support/byteswap.h"

namespace {

constexpr uint32_t kDataPageType = 0x4163043B;
constexpr uint32_t kDataPageMask = 0x4164536B;
constexpr int32_t kHeaderWords = 8;
constexpr int32_t kSectionWord = 1;
constexpr int32_t kSizeWord = 2;
constexpr int32_t kStartWord = 4;
constexpr int32_t kStartHighWord = 5;
constexpr int32_t kHeaderSumWord = 6;
constexpr int32_t kDataSumWord = 7;

}  // namespace

bool unsealDataPageHeader(const uint8_t *raw, uint64_t address, DataPageHeader *header)
{
    const uint32_t mask = kDataPageMask ^ static_cast<uint32_t>(address);
    for (int32_t i = 0; i < kHeaderWords; ++i) {
        header->words[i] = littleEndian32(raw + 4 * i) ^ mask;
    }
    header->section = header->words[kSectionWord];
    header->compressedSize = header->words[kSizeWord];
    header->start = uint64_t{header->words[kStartHighWord]} << 32 | header->words[kStartWord];
    header->headerSum = header->words[kHeaderSumWord];
    header->dataSum = header->words[kDataSumWord];
    return header->words[0] == kDataPageType && header->start < kLargestSection && header->compressedSize != 0 &&
           header->compressedSize <= kMaxCompressedPage;
}

bool dataPageIntact(const DataPageHeader &header, const uint8_t *compressed)
{
    const uint32_t dataSum = pageChecksumOf(compressed, header.compressedSize, 0);
    uint8_t zeroed[kDataPageHeader];
    for (int32_t i = 0; i < kHeaderWords; ++i) {
        const uint32_t word = i == kHeaderSumWord ? 0 : header.words[i];
        for (int32_t b = 0; b < 4; ++b) {
            zeroed[4 * i + b] = static_cast<uint8_t>(word >> (8 * b));
        }
    }
    return dataSum == header.dataSum && pageChecksumOf(zeroed, kDataPageHeader, dataSum) == header.headerSum;
}
