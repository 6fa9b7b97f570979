#include "r13/previewplace.h"

#include <cstring>

#include "support/bitcursor.h"
#include "support/filestrmio.h"

namespace {

constexpr int32_t kAddressOffset = 13;
constexpr uint8_t kStartSentinel[] = {0x1F, 0x25, 0x6D, 0x07, 0xD4, 0x36, 0x28, 0x28,
                                      0x9D, 0x57, 0xCA, 0x3F, 0x9D, 0x44, 0x10, 0x2B};
constexpr int32_t kSentinelLength = sizeof kStartSentinel;
constexpr int32_t kSizeLength = 4;
constexpr uint64_t kFraming = 2 * kSentinelLength + kSizeLength;
constexpr int32_t kEntrySize = 9;
// Drawings list a header and one image; a directory longer than this is
// not one.
constexpr int32_t kMostEntries = 8;

PreviewFormat formatOf(uint8_t code)
{
    switch (code) {
    case 2:
        return PreviewFormat::Bmp;
    case 3:
        return PreviewFormat::Wmf;
    case 6:
        return PreviewFormat::Png;
    default:
        return PreviewFormat::None;
    }
}

uint32_t readAddress(FileStream *file)
{
    const FileStream::Span span = file->span(kAddressOffset, 4);
    BitCursor in(span.bytes, span.length, span.readable);
    const uint32_t address = in.RL();
    return in.overran() ? 0 : address;
}

}  // namespace

PreviewPlace findPreview(FileStream *file)
{
    const uint32_t address = readAddress(file);
    const uint32_t fileSize = file->size();
    constexpr int32_t kDirectoryBytes = kSentinelLength + kSizeLength + 1 + kMostEntries * kEntrySize;
    if (address == 0 || address >= fileSize || fileSize - address < kSentinelLength + 5) {
        return {};
    }
    const FileStream::Span span = file->span(static_cast<int32_t>(address), kDirectoryBytes);
    if (span.length < kSentinelLength + 5 || memcmp(span.bytes, kStartSentinel, kSentinelLength) != 0) {
        return {};
    }
    BitCursor in(span.bytes, span.length, span.readable);
    in.seekBit((kSentinelLength + kSizeLength) * 8);
    const uint8_t entries = in.RC();
    for (uint8_t i = 0; i < entries && i < kMostEntries; ++i) {
        const PreviewFormat format = formatOf(in.RC());
        const uint32_t at = in.RL();
        const uint32_t size = in.RL();
        if (in.overran()) {
            break;
        }
        if (format != PreviewFormat::None) {
            return {at, size, format};
        }
    }
    return {};
}

uint64_t previewAreaEnd(FileStream *file)
{
    const uint32_t address = readAddress(file);
    if (address == 0) {
        return 0;
    }
    const uint64_t sizeAt = uint64_t{address} + kSentinelLength;
    uint32_t size = 0;
    if (sizeAt < file->size()) {
        const FileStream::Span span = file->span(static_cast<int64_t>(sizeAt), kSizeLength);
        BitCursor in(span.bytes, span.length, span.readable);
        size = in.RL();
        file->noteRanOut(span, in.overran());
        size = in.overran() ? 0 : size;
    }
    return address + kFraming + size;
}
