#include "r2004/pagedmaps.h"

#include <algorithm>

#include "core/dwgglobal.h"
#include "core/messages.h"
#include "r2004/checksums.h"
#include "r2004/lz77.h"
#include "r2004/pagecache.h"
#include "support/byteswap.h"
#include "support/publicstorage.h"

static const char kModule[] = "pagedmaps";

namespace {

constexpr int32_t kSectionCount = static_cast<int32_t>(SectionName::Count);
constexpr const char *kSectionNames[kSectionCount] = {"AcDb:Header",      "AcDb:Classes",     "AcDb:Handles",
                                                      "AcDb:AcDbObjects", "AcDb:SummaryInfo", "AcDb:AppInfo"};

// The file header: the code page among the plain fields, then at 0x80 a
// block sealed by XOR with a fixed pseudo-random sequence, opening with an
// identifier and closed by a CRC-32 taken with its own field zeroed. It
// gives the page map's address (less 0x100) and the section map's page
// number.
constexpr uint32_t kPlainHeaderLength = 0x80;
constexpr uint32_t kSealedLength = 0x6C;
constexpr uint8_t kFileId[12] = {'A', 'c', 'F', 's', 's', 'F', 'c', 'A', 'J', 'M', 'B', 0};
constexpr uint32_t kSealedCrcAt = 0x68;
constexpr uint32_t kPageMapAddressAt = 0x54;
// The header's copy at the end of the file: a file shorter than its end
// was cut short, whether or not the part we read is gone.
constexpr uint32_t kHeaderCopyAddressAt = 0x34;
constexpr uint32_t kSectionMapNumberAt = 0x5C;

struct SealingSequence {
    uint8_t bytes[kSealedLength];
};

// The generator from seed 1, one byte of each state.
constexpr SealingSequence makeSealingSequence()
{
    SealingSequence sequence{};
    uint32_t state = 1;
    for (uint32_t i = 0; i < kSealedLength; ++i) {
        state = nextRandom(state);
        sequence.bytes[i] = static_cast<uint8_t>(state >> 16);
    }
    return sequence;
}

constexpr SealingSequence kSealing = makeSealingSequence();

// A map page: a 0x14-byte header (type, decompressed size, compressed
// size, compression code 2, checksum), then the compressed bytes. The
// checksum runs over the header with its own field zeroed, then on over
// the compressed bytes.
constexpr uint32_t kPageMapType = 0x41630E3B;
constexpr uint32_t kSectionMapType = 0x4163003B;
constexpr uint32_t kSystemHeaderLength = 0x14;
constexpr uint32_t kSystemChecksumAt = 0x10;
constexpr uint32_t kCompressedCode = 2;
constexpr uint32_t kStoredCode = 1;

// The page map: a number and a size per page; a negative number is a gap,
// followed by four more longs of a tree we do not need.
constexpr uint32_t kPageMapEntry = 8;
constexpr uint32_t kGapExtra = 16;

// The section map: a 20-byte head whose first long counts the sections;
// per section a 96-byte description (64-bit size, page count, page size,
// unknown, compression code, id, encryption, 64-byte name), then 16 bytes
// per page (number, compressed size, 64-bit start in the section).
constexpr uint32_t kSectionMapHead = 20;
constexpr uint32_t kDescriptionLength = 96;
constexpr uint32_t kPageCountAt = 8;
constexpr uint32_t kPageSizeAt = 12;
constexpr uint32_t kCompressionAt = 20;
constexpr uint32_t kNameAt = 32;
constexpr uint32_t kSectionPageEntry = 16;

// A block as a span of bytes.
struct Span {
    uint8_t *bytes = nullptr;
    uint32_t length = 0;
};

// A page of the page map, by number: 16 bytes, as a hostile map may list
// as many pages as its bytes allow.
struct MapPage {
    uint64_t address;
    int32_t number;
    uint32_t size;
};

bool sectionNameIs(const uint8_t *field, const char *name)
{
    uint32_t i = 0;
    for (; name[i] != '\0'; ++i) {
        if (field[i] != static_cast<uint8_t>(name[i])) {
            return false;
        }
    }
    return field[i] == 0;
}

int32_t sectionIndexOf(const uint8_t *nameField)
{
    for (int32_t i = 0; i < kSectionCount; ++i) {
        if (sectionNameIs(nameField, kSectionNames[i])) {
            return i;
        }
    }
    return -1;
}

class MapReader {
public:
    MapReader(DWGglobal *session, MemoryService *memory, ContainerFile *file, ContainerLayout *layout)
        : session_(session), memory_(memory), file_(file), layout_(layout)
    {
    }
    ~MapReader()
    {
        memory_->free(pageMap_.bytes);
        memory_->free(sectionMap_.bytes);
        memory_->free(mapPages_);
    }

    bool read();
    bool blockRefused() const { return blockRefused_; }

private:
    bool readFileHeader(uint64_t *pageMapAddress, int32_t *sectionMapNumber);
    static bool unsealHeader(uint8_t *sealed);
    bool readSystemPage(uint64_t address, uint32_t type, Span *page);
    bool decodeSystemPage(uint64_t address, const uint8_t *header, Span *page);
    bool indexPageMap();
    const MapPage *findPage(int32_t number) const;
    void takeSections();
    void takeSection(int32_t index, const uint8_t *description, const uint8_t *entries);
    void placePages(SectionLayout *section, int32_t index, uint32_t count, const uint8_t *entries);
    void limitSection(SectionLayout *section, int32_t index, uint64_t readableEnd);

    DWGglobal *session_;
    MemoryService *memory_;
    ContainerFile *file_;
    ContainerLayout *layout_;
    Span pageMap_;
    Span sectionMap_;
    MapPage *mapPages_ = nullptr;
    uint32_t mapPageCount_ = 0;
    bool blockRefused_ = false;
};

// The sealed header at 0x80, or where it fails its checks, its copy, which
// ends the file.
bool MapReader::readFileHeader(uint64_t *pageMapAddress, int32_t *sectionMapNumber)
{
    uint8_t plain[kPlainHeaderLength + kSealedLength];
    if (!file_->readAt(0, plain, sizeof plain)) {
        return false;
    }
    layout_->codePage = littleEndian16(plain + kCodePageAt);
    uint8_t *sealed = plain + kPlainHeaderLength;
    if (!unsealHeader(sealed)) {
        const uint64_t size = file_->size();
        if (size < sizeof plain + kSealedLength || !file_->readAt(size - kSealedLength, sealed, kSealedLength) ||
            !unsealHeader(sealed)) {
            return false;
        }
        reportf(session_, msg::kR2004HeaderCopy, HERE);
        layout_->headerCopyRead = true;
    }
    if (littleEndian64(sealed + kHeaderCopyAddressAt) + kSealedLength > file_->size()) {
        file_->notePastEnd();
    }
    *pageMapAddress = littleEndian64(sealed + kPageMapAddressAt) + kFirstPageAddress;
    *sectionMapNumber = static_cast<int32_t>(littleEndian32(sealed + kSectionMapNumberAt));
    return true;
}

// Unseals a copy of the sealed header in place; false when it does not open
// with the identifier or fails its CRC.
bool MapReader::unsealHeader(uint8_t *sealed)
{
    for (uint32_t i = 0; i < kSealedLength; ++i) {
        sealed[i] ^= kSealing.bytes[i];
    }
    const uint32_t crc = littleEndian32(sealed + kSealedCrcAt);
    for (uint32_t i = 0; i < 4; ++i) {
        sealed[kSealedCrcAt + i] = 0;
    }
    for (uint32_t i = 0; i < sizeof kFileId; ++i) {
        if (sealed[i] != kFileId[i]) {
            return false;
        }
    }
    return crc32Of(sealed, kSealedLength, 0) == crc;
}

bool MapReader::readSystemPage(uint64_t address, uint32_t type, Span *page)
{
    uint8_t header[kSystemHeaderLength];
    if (file_->readAt(address, header, sizeof header) && littleEndian32(header) == type &&
        decodeSystemPage(address, header, page)) {
        return true;
    }
    reportf(session_, msg::kR2004SystemPage, static_cast<uint32_t>(address), HERE);
    return false;
}

// Checks and decompresses the bytes after a map page's header. The page
// must come out at exactly the size its header gives.
bool MapReader::decodeSystemPage(uint64_t address, const uint8_t *header, Span *page)
{
    const uint32_t size = littleEndian32(header + 4);
    const uint32_t compressedSize = littleEndian32(header + 8);
    const uint32_t checksum = littleEndian32(header + kSystemChecksumAt);
    if (size == 0 || size > kMaxSystemPage || compressedSize == 0 || compressedSize > 2 * kMaxSystemPage ||
        littleEndian32(header + 12) != kCompressedCode) {
        return false;
    }
    uint8_t *compressed = static_cast<uint8_t *>(memory_->allocate(compressedSize));
    page->bytes = static_cast<uint8_t *>(memory_->allocate(size));
    page->length = size;
    blockRefused_ = blockRefused_ || compressed == nullptr || page->bytes == nullptr;
    bool good = compressed != nullptr && page->bytes != nullptr &&
                file_->readAt(address + kSystemHeaderLength, compressed, compressedSize);
    if (good) {
        uint8_t zeroed[kSystemHeaderLength] = {};
        for (uint32_t i = 0; i < kSystemChecksumAt; ++i) {
            zeroed[i] = header[i];
        }
        const uint32_t seed = pageChecksumOf(zeroed, kSystemHeaderLength, 0);
        const Lz77Result result = decompressLz77(compressed, compressedSize, page->bytes, size);
        good = pageChecksumOf(compressed, compressedSize, seed) == checksum && result.status == Lz77Status::Ok &&
               result.produced == size;
    }
    memory_->free(compressed);
    if (!good) {
        memory_->free(page->bytes);
        *page = Span{};
    }
    return good;
}

// Gives every page of the page map its address, and sorts them by number
// for the look-ups of the section map.
bool MapReader::indexPageMap()
{
    // One entry more than the map can hold keeps the block from being empty.
    const uint32_t most = pageMap_.length / kPageMapEntry + 1;
    mapPages_ = static_cast<MapPage *>(memory_->allocate(most * static_cast<uint32_t>(sizeof(MapPage))));
    if (mapPages_ == nullptr) {
        reportf(session_, msg::kAllocationFailed, HERE);
        blockRefused_ = true;
        return false;
    }
    uint64_t address = kFirstPageAddress;
    for (uint32_t at = 0; pageMap_.length - at >= kPageMapEntry;) {
        const int32_t number = static_cast<int32_t>(littleEndian32(pageMap_.bytes + at));
        const uint32_t size = littleEndian32(pageMap_.bytes + at + 4);
        at += kPageMapEntry;
        if (number < 0) {
            at = pageMap_.length - at >= kGapExtra ? at + kGapExtra : pageMap_.length;
        } else {
            mapPages_[mapPageCount_++] = MapPage{address, number, size};
        }
        address += size;
    }
    std::sort(mapPages_, mapPages_ + mapPageCount_,
              [](const MapPage &a, const MapPage &b) { return a.number < b.number; });
    return true;
}

const MapPage *MapReader::findPage(int32_t number) const
{
    const MapPage *begin = mapPages_;
    const MapPage *end = begin + mapPageCount_;
    const MapPage *found = std::lower_bound(begin, end, number,
                                            [](const MapPage &page, int32_t wanted) { return page.number < wanted; });
    return found != end && found->number == number ? found : nullptr;
}

// Walks the section descriptions and keeps those we serve. A map cut short
// keeps the sections read before the cut.
void MapReader::takeSections()
{
    const uint32_t length = sectionMap_.length;
    const uint8_t *bytes = sectionMap_.bytes;
    const uint32_t count = length >= kSectionMapHead ? littleEndian32(bytes) : 0;
    uint32_t at = kSectionMapHead;
    for (uint32_t i = 0; i < count; ++i) {
        if (length < at || length - at < kDescriptionLength) {
            reportf(session_, msg::kR2004SectionMap, HERE);
            return;
        }
        const uint8_t *description = bytes + at;
        const uint32_t pages = littleEndian32(description + kPageCountAt);
        at += kDescriptionLength;
        if (pages > (length - at) / kSectionPageEntry) {
            reportf(session_, msg::kR2004SectionMap, HERE);
            return;
        }
        const int32_t index = sectionIndexOf(description + kNameAt);
        if (index >= 0 && layout_->sections[index].pages == nullptr && layout_->sections[index].size == 0) {
            takeSection(index, description, bytes + at);
        }
        at += pages * kSectionPageEntry;
    }
}

void MapReader::takeSection(int32_t index, const uint8_t *description, const uint8_t *entries)
{
    SectionLayout *section = &layout_->sections[index];
    const uint64_t size = littleEndian64(description);
    const uint32_t pages = littleEndian32(description + kPageCountAt);
    const uint32_t pageLimit = littleEndian32(description + kPageSizeAt);
    const uint32_t code = littleEndian32(description + kCompressionAt);
    section->size = std::min(size, kLargestSection);
    if (size > kLargestSection || pageLimit == 0 || pageLimit > kMaxDataPage ||
        (code != kCompressedCode && code != kStoredCode)) {
        limitSection(section, index, 0);
        return;
    }
    section->pageLimit = pageLimit;
    section->compressed = code == kCompressedCode;
    section->readableEnd = section->size;
    if (pages == 0) {
        return;
    }
    section->pages = static_cast<PageRef *>(memory_->allocate(pages * static_cast<uint32_t>(sizeof(PageRef))));
    if (section->pages == nullptr) {
        reportf(session_, msg::kAllocationFailed, HERE);
        section->readableEnd = 0;
        return;
    }
    placePages(section, index, pages, entries);
}

// Pages must follow one another without overlapping, inside the section;
// the bytes between two of them, and after the last, are zeros the writer
// left out. The first page out of order ends what can be read.
void MapReader::placePages(SectionLayout *section, int32_t index, uint32_t count, const uint8_t *entries)
{
    const uint64_t fileSize = file_->size();
    uint64_t nextFree = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t *entry = entries + i * kSectionPageEntry;
        const uint64_t start = littleEndian64(entry + 8);
        if (start < nextFree || start >= section->size) {
            limitSection(section, index, nextFree);
            return;
        }
        PageRef &page = section->pages[section->pageCount++];
        page.number = static_cast<int32_t>(littleEndian32(entry));
        page.compressedSize = littleEndian32(entry + 4);
        page.start = start;
        const MapPage *mapped = findPage(page.number);
        page.listed = mapped != nullptr;
        page.placed = page.listed && mapped->address <= fileSize && fileSize - mapped->address >= kDataPageHeader;
        page.address = mapped != nullptr ? mapped->address : 0;
        nextFree = start + section->pageLimit;
    }
}

void MapReader::limitSection(SectionLayout *section, int32_t index, uint64_t readableEnd)
{
    section->readableEnd = std::min(readableEnd, section->size);
    reportf(session_, msg::kR2004PageList, kSectionNames[index], HERE);
}

bool MapReader::read()
{
    uint64_t pageMapAddress = 0;
    int32_t sectionMapNumber = 0;
    if (!readFileHeader(&pageMapAddress, &sectionMapNumber)) {
        reportf(session_, msg::kR2004FileHeader, HERE);
        return false;
    }
    if (!readSystemPage(pageMapAddress, kPageMapType, &pageMap_) || !indexPageMap()) {
        return false;
    }
    const MapPage *sectionMap = findPage(sectionMapNumber);
    if (sectionMap == nullptr) {
        reportf(session_, msg::kR2004SectionMap, HERE);
        return false;
    }
    if (!readSystemPage(sectionMap->address, kSectionMapType, &sectionMap_)) {
        return false;
    }
    takeSections();
    return true;
}

}  // namespace

LayoutRead readContainerLayout(DWGglobal *session, MemoryService *memory, ContainerFile *file,
                               ContainerLayout *layout)
{
    MapReader reader(session, memory, file, layout);
    if (reader.read()) {
        return LayoutRead::Read;
    }
    return reader.blockRefused() || file->hostFailed() ? LayoutRead::Refused : LayoutRead::Lost;
}

void releaseContainerLayout(MemoryService *memory, ContainerLayout *layout)
{
    for (SectionLayout &section : layout->sections) {
        memory->free(section.pages);
        section = SectionLayout{};
    }
}

const char *sectionNameText(SectionName name)
{
    const int32_t index = static_cast<int32_t>(name);
    return index >= 0 && index < kSectionCount ? kSectionNames[index] : "";
}
