// The R2007 ("AC1021") container. After the 0x80 bytes of the file's
// opening record comes the file header: 0x400 bytes, of which the first
// 3 * 255 are three interleaved system code words. Their data holds the
// compressed 0x110 bytes of header fields: where the page map lies and how
// it is stored, and the id of the section map's page. Page offsets count
// from 0x480, just past the file header.
//
// The page map is a list of (size, id) pairs, the pages lying one after
// the other in file order; a negative id marks a gap. The section map
// lists each section with its name in UTF-16, its size, how its pages are
// stored and the pages: for each page, where it starts in the section, its
// sizes and its id. The pages of most sections are stored as interleaved
// data code words holding their (usually compressed) bytes; those of the
// small sections (the document properties among them) hold those bytes
// plainly. Pages that hold only zeros are not stored at all, and a
// section's bytes not covered by a page read as zeros.
//
// We read the maps once, then decompress a page at a time into a small
// cache, so that memory does not grow with the drawing. What a hostile
// header or map can make us hold is bounded by the caps below, whatever
// the size of the file.
#include <algorithm>
#include <cstring>

#include "core/dwgglobal.h"
#include "core/messages.h"
#include "r2004/checksums.h"
#include "r2004/container.h"
#include "r2004/opencontainer.h"
#include "r2004/pagecache.h"
#include "r2004/r2007lz77.h"
#include "r2004/reedsolomon.h"
#include "support/byteswap.h"
#include "support/component.h"
#include "support/filestrmio.h"
#include "support/publicstorage.h"

static const char kModule[] = "r2007container";

namespace {

constexpr int32_t kFileHeaderOffset = 0x80;
constexpr int32_t kPagesBase = 0x480;
constexpr int32_t kFileHeaderWords = 3;
constexpr int32_t kHeaderFieldsSize = 0x110;
constexpr int32_t kFileSizeField = 0x08;  // among the header fields
constexpr int32_t kHeaderBlockPrefix = 32;  // check values, the stored size, before the fields

// Caps on what the maps may claim: no real page comes near them. A map
// page's cap lets the section map list the pages of the largest file we
// can address.
constexpr uint64_t kMaxR2007DataPage = 0x100000;
constexpr uint64_t kMaxR2007SystemPage = 0x400000;
constexpr uint64_t kMaxNameBytes = 256;
// Map pages are read and checked this many code words at a time at least.
constexpr uint64_t kSystemWordsAtOnce = 256;

constexpr int32_t kPageMapEntrySize = 16;
constexpr int32_t kSectionRecordSize = 64;
constexpr int32_t kPageRecordSize = 56;

// How the section map says a section's pages are stored.
constexpr uint64_t kStoredPlain = 1;
constexpr uint64_t kStoredInterleaved = 4;

uint64_t alignTo8(uint64_t size) { return (size + 7) & ~uint64_t{7}; }

uint64_t wordsFor(uint64_t bytes, int32_t perWord) { return (bytes + perWord - 1) / perWord; }

// The checksum the section map gives for each page's decompressed bytes:
// two running sums modulo 65521, seeded from the length, taking each 8
// bytes in a fixed order. Four parity bytes per data word correct two bad
// bytes but cannot tell three from two: a word with more damage is often
// "corrected" into another valid word, and this sum catches it.
constexpr SumOrder kChecksumOrder = {
    {6, 7, 4, 5, 2, 3, 0, 1}, {0}, {0, 1}, {0, 1, 2}, {2, 3, 0, 1}, {2, 3, 0, 1, 4}, {2, 3, 0, 1, 4, 5}, {2, 3, 0, 1, 4, 5, 6},
};

uint32_t pageChecksum(const uint8_t *bytes, uint32_t length)
{
    return runningSumsOf(bytes, length, nextRandom(length), kChecksumOrder);
}

// A map page as the file header describes it.
struct SystemPage {
    const char *what;      // for reports
    uint64_t position;     // in the file
    uint64_t compressed;
    uint64_t uncompressed;
    uint64_t repeats;      // copies of the compressed bytes before encoding
};

// Where the page map puts each page id, in the file or past its end: 16
// bytes, as a hostile map may list as many ids as its bytes allow. A size
// past 32 bits is past the end of any file.
struct PageExtent {
    uint64_t position;
    uint32_t size;
    bool listed;
};

struct PageRecord {
    uint64_t start;       // in the section
    uint32_t size;        // decompressed
    uint32_t compressed;
    uint32_t checksum;
    int32_t id;
    uint64_t position;    // in the file; past its end when the page map puts it partly there
    int32_t words;        // data code words stored; 0 when the bytes are stored plainly
    bool listed;          // the page map lists it, with room for what it stores
    bool failed;          // reported once; not read again
    bool correctionReported;
};

enum class PageFault { None, Damaged, Undecompressible };

struct Section {
    uint64_t size;
    int32_t pageCount;
    PageRecord *pages;
};

class R2007Container final : public DrawingContainer {
public:
    R2007Container(DWGglobal *session, MemoryService *memory, FileStream *file, int32_t cursor)
        : session_(session), memory_(memory), file_(file, cursor), cache_(session, memory, 0)
    {
    }

    bool open();

    uint64_t sectionSize(SectionName name) const override
    {
        return isSection(name) ? sections_[static_cast<int32_t>(name)].size : 0;
    }
    int32_t readSection(SectionName name, uint64_t offset, void *buffer, int32_t count) override;
    PageSpan pageAt(SectionName name, uint64_t offset) const override
    {
        const PageRecord *page = isSection(name) ? findPage(sections_[static_cast<int32_t>(name)], offset) : nullptr;
        return page != nullptr && offset - page->start < page->size ? PageSpan{page->start, page->size}
                                                                    : PageSpan{offset, 0};
    }
    uint32_t largestPage(SectionName name) const override;
    uint64_t heldFrom(SectionName name, uint64_t offset) const override;
    // Its pages carry no headers: without the maps nothing places them.
    bool pagesFound() const override { return false; }
    bool repaired() const override { return false; }
    int32_t codePage() const override { return codePage_; }
    void destroy() override;

private:
    static bool isSection(SectionName name) { return name >= SectionName::Header && name < SectionName::Count; }

    void *allocate(uint64_t size);
    void release(uint8_t **block);
    bool reportOutcome(rs::Outcome outcome, const char *what, int line);

    bool readFileHeader(SystemPage *pageMap, SystemPage *sectionMap, uint64_t *sectionMapId);
    bool unpackHeaderFields(const uint8_t *block, uint8_t *fields);
    uint8_t *loadSystemPage(const SystemPage &page, uint64_t room);
    bool checkSystemWords(const SystemPage &page, uint64_t words, uint64_t group, uint8_t *stored, uint8_t *decoded,
                          rs::Outcome *worst);
    bool buildPageTable(const uint8_t *map, uint64_t size);
    bool readSectionMap(const uint8_t *map, uint64_t size);
    int32_t matchSectionName(const uint8_t *name, uint64_t bytes) const;
    bool recordSection(Section *section, const char *name, const uint8_t *record, const uint8_t *pages);
    bool recordPage(PageRecord *page, const uint8_t *bytes, uint64_t sectionSize, uint64_t previousEnd, bool coded);
    bool takeBuffers();
    // The whole of what the page map gives a page lies in the file; when
    // it does not, the file was cut short.
    bool inFile(const PageExtent &extent) const
    {
        return extent.listed && extent.position <= fileSize_ && extent.size <= fileSize_ - extent.position;
    }

    static PageRecord *findPage(const Section &section, uint64_t offset);
    bool loadWholePage(PageRecord *page, uint8_t *out);
    const uint8_t *pageBytes(PageRecord *page);
    bool loadPage(PageRecord *page, uint8_t *out);
    PageFault correctPage(const PageRecord &page, const uint8_t *stored, uint8_t *out, PageFault fault);
    PageFault expandPage(const PageRecord &page, const uint8_t *data, uint8_t *out);

    DWGglobal *session_;
    MemoryService *memory_;
    ContainerFile file_;
    PageCache cache_;
    uint64_t fileSize_ = 0;
    int32_t codePage_ = 0;
    PageExtent *extents_ = nullptr;
    uint64_t extentCount_ = 0;
    Section sections_[static_cast<int32_t>(SectionName::Count)] = {};
    uint8_t *stored_ = nullptr;   // a page's code words, where the file's stream does not hold them whole
    uint8_t *decoded_ = nullptr;  // their data bytes, or a plain page's bytes not held whole
};

void *R2007Container::allocate(uint64_t size)
{
    void *block = size < 0x80000000u ? memory_->allocate(static_cast<uint32_t>(size == 0 ? 1 : size)) : nullptr;
    if (block == nullptr) {
        reportf(session_, msg::kAllocationFailed, HERE);
    }
    return block;
}

void R2007Container::release(uint8_t **block)
{
    if (*block != nullptr) {
        memory_->free(*block);
        *block = nullptr;
    }
}

// Reports what checking a map's code words found; false when damaged.
bool R2007Container::reportOutcome(rs::Outcome outcome, const char *what, int line)
{
    if (outcome == rs::Outcome::Damaged) {
        reportf(session_, msg::kR2007Damaged, what, kModule, line);
        return false;
    }
    if (outcome == rs::Outcome::Corrected) {
        reportf(session_, msg::kR2007Corrected, what, kModule, line);
    }
    return true;
}

bool R2007Container::open()
{
    fileSize_ = file_.size();
    SystemPage pageMap{};
    SystemPage sectionMap{};
    uint64_t sectionMapId = 0;
    if (!readFileHeader(&pageMap, &sectionMap, &sectionMapId)) {
        return false;
    }
    const uint64_t room = pageMap.position <= fileSize_ ? fileSize_ - pageMap.position : 0;
    uint8_t *map = loadSystemPage(pageMap, room);
    const bool placed = map != nullptr && buildPageTable(map, pageMap.uncompressed);
    release(&map);
    if (!placed) {
        return false;
    }
    if (sectionMapId == 0 || sectionMapId >= extentCount_ || !inFile(extents_[sectionMapId])) {
        reportf(session_, msg::kR2007Unreadable, sectionMap.what, HERE);
        return false;
    }
    sectionMap.position = extents_[sectionMapId].position;
    map = loadSystemPage(sectionMap, extents_[sectionMapId].size);
    const bool listed = map != nullptr && readSectionMap(map, sectionMap.uncompressed);
    release(&map);
    return listed && takeBuffers();
}

bool R2007Container::readFileHeader(SystemPage *pageMap, SystemPage *sectionMap, uint64_t *sectionMapId)
{
    static const char kWhat[] = "file header";
    uint8_t opening[kPagesBase];
    if (!file_.readAt(0, opening, sizeof opening)) {
        reportf(session_, msg::kR2007Unreadable, kWhat, HERE);
        return false;
    }
    codePage_ = littleEndian16(opening + kCodePageAt);
    uint8_t block[kFileHeaderWords * rs::dataBytes(rs::Code::System)];
    const rs::Outcome outcome =
        rs::decodeInterleaved(rs::Code::System, opening + kFileHeaderOffset, kFileHeaderWords, block);
    if (!reportOutcome(outcome, kWhat, __LINE__)) {
        return false;
    }
    uint8_t fields[kHeaderFieldsSize];
    if (!unpackHeaderFields(block, fields)) {
        reportf(session_, msg::kR2007Unreadable, kWhat, HERE);
        return false;
    }
    // A file shorter than its header says was cut short, whether or not
    // the part we need is gone.
    if (littleEndian64(fields + kFileSizeField) > fileSize_) {
        file_.notePastEnd();
    }
    // Map offsets count from the end of the file header.
    *pageMap = SystemPage{"page map", littleEndian64(fields + 0x38) + kPagesBase, littleEndian64(fields + 0x50),
                          littleEndian64(fields + 0x58), littleEndian64(fields + 0x18)};
    *sectionMap = SystemPage{"section map", 0, littleEndian64(fields + 0xB0), littleEndian64(fields + 0xC8),
                             littleEndian64(fields + 0xD8)};
    *sectionMapId = littleEndian64(fields + 0xC0);
    return true;
}

// The header fields follow 32 bytes of check values and sizes: their
// stored size at 24, negative when they are stored as they are.
bool R2007Container::unpackHeaderFields(const uint8_t *block, uint8_t *fields)
{
    const int32_t room = kFileHeaderWords * rs::dataBytes(rs::Code::System) - kHeaderBlockPrefix;
    const int32_t stored = static_cast<int32_t>(littleEndian32(block + 24));
    const uint8_t *data = block + kHeaderBlockPrefix;
    if (stored < 0) {
        if (stored < -room || -stored < kHeaderFieldsSize) {
            return false;
        }
        std::memcpy(fields, data, kHeaderFieldsSize);
        return true;
    }
    if (stored == 0 || stored > room) {
        return false;
    }
    const Lz77Result result = decompressR2007Lz77(data, static_cast<uint32_t>(stored), fields, kHeaderFieldsSize);
    return result.status == Lz77Status::Ok && result.produced == kHeaderFieldsSize;
}

// A map page: its compressed bytes, padded to a multiple of 8, repeated
// to fill the page and stored as interleaved system code words, which
// must fit in room, a part of the file. Every word is checked, but only
// the first group of them, which holds the first copy, is kept, so that
// what we hold does not grow with what the header claims. Returns the
// decompressed map, or null after a report.
uint8_t *R2007Container::loadSystemPage(const SystemPage &page, uint64_t room)
{
    if (page.compressed == 0 || page.compressed > kMaxR2007SystemPage || page.uncompressed == 0 ||
        page.uncompressed > kMaxR2007SystemPage || page.repeats == 0 || page.repeats > fileSize_) {
        reportf(session_, msg::kR2007Unreadable, page.what, HERE);
        return nullptr;
    }
    const uint64_t words = wordsFor(alignTo8(page.compressed) * page.repeats, rs::dataBytes(rs::Code::System));
    if (words * rs::kCodewordSize > room) {
        reportf(session_, msg::kR2007Unreadable, page.what, HERE);
        return nullptr;
    }
    const uint64_t used = wordsFor(page.compressed, rs::dataBytes(rs::Code::System));
    const uint64_t atLeast = used > kSystemWordsAtOnce ? used : kSystemWordsAtOnce;
    const uint64_t group = words < atLeast ? words : atLeast;
    uint8_t *stored = static_cast<uint8_t *>(allocate(group * rs::kCodewordSize));
    uint8_t *decoded = static_cast<uint8_t *>(allocate(group * rs::dataBytes(rs::Code::System)));
    uint8_t *map = static_cast<uint8_t *>(allocate(page.uncompressed));
    bool good = stored != nullptr && decoded != nullptr && map != nullptr;
    rs::Outcome outcome = rs::Outcome::Clean;
    if (good && !checkSystemWords(page, words, group, stored, decoded, &outcome)) {
        reportf(session_, msg::kR2007Unreadable, page.what, HERE);
        good = false;
    }
    good = good && reportOutcome(outcome, page.what, __LINE__);
    if (good && page.compressed == page.uncompressed) {
        std::memcpy(map, decoded, page.uncompressed);
    } else if (good) {
        const Lz77Result result = decompressR2007Lz77(decoded, static_cast<uint32_t>(page.compressed), map,
                                                      static_cast<uint32_t>(page.uncompressed));
        if (result.status != Lz77Status::Ok || result.produced != page.uncompressed) {
            reportf(session_, msg::kR2007Unreadable, page.what, HERE);
            good = false;
        }
    }
    release(&stored);
    release(&decoded);
    if (!good) {
        release(&map);
    }
    return map;
}

// The page's words, group at a time: byte i of every word lies in row i
// of the page. The data of the first group goes to decoded; *worst is what
// checking them found, up to the first word beyond correction. False when
// the file cannot be read.
bool R2007Container::checkSystemWords(const SystemPage &page, uint64_t words, uint64_t group, uint8_t *stored,
                                      uint8_t *decoded, rs::Outcome *worst)
{
    for (uint64_t first = 0; first < words && *worst != rs::Outcome::Damaged; first += group) {
        const uint64_t count = words - first < group ? words - first : group;
        for (uint64_t row = 0; row < rs::kCodewordSize; ++row) {
            if (!file_.readAt(page.position + row * words + first, stored + row * count, count)) {
                return false;
            }
        }
        const rs::Outcome outcome = rs::decodeInterleaved(rs::Code::System, stored, static_cast<int32_t>(count),
                                                          first == 0 ? decoded : nullptr);
        *worst = outcome > *worst ? outcome : *worst;
    }
    return true;
}

// Pages follow one another from 0x480 in the order of the map. Ids are
// small numbers, given out one after another: the table is indexed by id.
// A page that ends past the end of the file is still listed: the file was
// cut short.
bool R2007Container::buildPageTable(const uint8_t *map, uint64_t size)
{
    const uint64_t entries = size / kPageMapEntrySize;
    uint64_t highest = 0;
    for (uint64_t i = 0; i < entries; ++i) {
        const uint64_t id = littleEndian64(map + i * kPageMapEntrySize + 8);
        highest = static_cast<int64_t>(id) > 0 && id > highest ? id : highest;
    }
    if (highest == 0 || highest > 2 * entries + 256) {
        reportf(session_, msg::kR2007Unreadable, "page map", HERE);
        return false;
    }
    extentCount_ = highest + 1;
    extents_ = static_cast<PageExtent *>(allocate(extentCount_ * sizeof(PageExtent)));
    if (extents_ == nullptr) {
        return false;
    }
    for (uint64_t id = 0; id < extentCount_; ++id) {
        extents_[id] = PageExtent{0, 0, false};
    }
    uint64_t position = kPagesBase;
    for (uint64_t i = 0; i < entries; ++i) {
        const uint64_t pageSize = littleEndian64(map + i * kPageMapEntrySize);
        const int64_t id = static_cast<int64_t>(littleEndian64(map + i * kPageMapEntrySize + 8));
        if (position > fileSize_ || pageSize > fileSize_ - position) {
            file_.notePastEnd();
        }
        if (id > 0) {
            extents_[id] = PageExtent{position, static_cast<uint32_t>(std::min<uint64_t>(pageSize, UINT32_MAX)), true};
        }
        position = pageSize > UINT64_MAX - position ? UINT64_MAX : position + pageSize;
    }
    return true;
}

bool R2007Container::readSectionMap(const uint8_t *map, uint64_t size)
{
    uint64_t at = 0;
    while (size - at >= kSectionRecordSize) {
        const uint8_t *record = map + at;
        const uint64_t nameBytes = littleEndian64(record + 0x20);
        const uint64_t pageCount = littleEndian64(record + 0x38);
        const uint64_t left = size - at - kSectionRecordSize;
        if (nameBytes > kMaxNameBytes || nameBytes > left || pageCount > (left - nameBytes) / kPageRecordSize) {
            reportf(session_, msg::kR2007Unreadable, "section map", HERE);
            return false;
        }
        const uint8_t *name = record + kSectionRecordSize;
        const int32_t index = matchSectionName(name, nameBytes);
        if (index >= 0 && sections_[index].pages == nullptr &&
            !recordSection(&sections_[index], sectionNameText(static_cast<SectionName>(index)), record,
                           name + nameBytes)) {
            return false;
        }
        at += kSectionRecordSize + nameBytes + pageCount * kPageRecordSize;
    }
    return true;
}

// Which of our sections a UTF-16 name stands for; -1 for others.
int32_t R2007Container::matchSectionName(const uint8_t *name, uint64_t bytes) const
{
    for (int32_t index = 0; index < static_cast<int32_t>(SectionName::Count); ++index) {
        const char *wanted = sectionNameText(static_cast<SectionName>(index));
        const uint64_t length = std::strlen(wanted);
        bool same = bytes >= 2 * length;
        for (uint64_t i = 0; same && i < bytes / 2; ++i) {
            const uint16_t unit = littleEndian16(name + 2 * i);
            same = unit == (i < length ? static_cast<uint8_t>(wanted[i]) : 0);
        }
        if (same) {
            return index;
        }
    }
    return -1;
}

// A section we read. One that is encrypted, stored in a way we do not
// know or whose pages do not fit it is reported and stays absent; the
// others still read. The document properties' sections stay absent
// without a report, which would tell the host's protocol of sections it
// never reads.
bool R2007Container::recordSection(Section *section, const char *name, const uint8_t *record, const uint8_t *pages)
{
    const uint64_t size = littleEndian64(record);
    const uint64_t encryption = littleEndian64(record + 0x10);
    const uint64_t encoding = littleEndian64(record + 0x30);
    const uint64_t pageCount = littleEndian64(record + 0x38);
    if (encryption != 0 || (encoding != kStoredPlain && encoding != kStoredInterleaved)) {
        if (!holdsProperties(static_cast<SectionName>(section - sections_))) {
            reportf(session_, msg::kR2007SectionStorage, name, HERE);
        }
        return true;
    }
    if (size > kLargestSection) {
        reportf(session_, msg::kR2007Unreadable, "section map", HERE);
        return true;
    }
    PageRecord *records = static_cast<PageRecord *>(allocate(pageCount * sizeof(PageRecord)));
    if (records == nullptr) {
        return false;
    }
    uint64_t end = 0;
    for (uint64_t i = 0; i < pageCount; ++i) {
        if (!recordPage(&records[i], pages + i * kPageRecordSize, size, end, encoding == kStoredInterleaved)) {
            reportf(session_, msg::kR2007Unreadable, "section map", HERE);
            memory_->free(records);
            return true;
        }
        end = records[i].start + records[i].size;
    }
    *section = Section{size, static_cast<int32_t>(pageCount), records};
    return true;
}

// A page entry: start in the section, page size, id, decompressed size,
// compressed size, the checksum of its bytes and a CRC (which the
// checksum makes redundant for us).
// False when it does not fit the section; a page the page map does not
// list, or lists too small for what it stores, is kept and reported when
// read.
bool R2007Container::recordPage(PageRecord *page, const uint8_t *bytes, uint64_t sectionSize, uint64_t previousEnd,
                                bool coded)
{
    const uint64_t start = littleEndian64(bytes);
    const uint64_t id = littleEndian64(bytes + 0x10);
    const uint64_t size = littleEndian64(bytes + 0x18);
    const uint64_t compressed = littleEndian64(bytes + 0x20);
    const uint64_t checksum = littleEndian64(bytes + 0x28);
    if (start < previousEnd || start > sectionSize || size == 0 || size > kMaxR2007DataPage ||
        size > sectionSize - start || compressed == 0 || compressed > 2 * kMaxR2007DataPage) {
        return false;
    }
    const uint64_t words = coded ? wordsFor(alignTo8(compressed), rs::dataBytes(rs::Code::Data)) : 0;
    const uint64_t stored = coded ? words * rs::kCodewordSize : compressed;
    const PageExtent *extent = id > 0 && id < extentCount_ && extents_[id].listed ? &extents_[id] : nullptr;
    const bool listed = extent != nullptr && stored <= extent->size;
    const uint64_t position = listed && inFile(*extent) ? extent->position : UINT64_MAX;
    *page = PageRecord{start, static_cast<uint32_t>(size), static_cast<uint32_t>(compressed),
                       static_cast<uint32_t>(checksum), static_cast<int32_t>(id > 0x7FFFFFFF ? 0x7FFFFFFF : id),
                       position, static_cast<int32_t>(words), listed, false, false};
    return true;
}

// The cache and the buffers for one page's code words and the bytes they
// or a plain page hold, sized for the largest page of our sections; the
// cache takes its slots at first use.
bool R2007Container::takeBuffers()
{
    uint64_t largest = 0;
    uint64_t mostWords = 0;
    uint64_t mostData = 0;
    for (const Section &section : sections_) {
        for (int32_t i = 0; i < section.pageCount; ++i) {
            const PageRecord &page = section.pages[i];
            const uint64_t words = static_cast<uint64_t>(page.words);
            const uint64_t data = words != 0 ? words * rs::dataBytes(rs::Code::Data) : page.compressed;
            largest = std::max<uint64_t>(largest, page.size);
            mostWords = std::max(mostWords, words);
            mostData = std::max(mostData, data);
        }
    }
    if (largest == 0) {
        return true;
    }
    cache_ = PageCache(session_, memory_, static_cast<uint32_t>(largest));
    stored_ = static_cast<uint8_t *>(allocate(mostWords * rs::kCodewordSize));
    decoded_ = static_cast<uint8_t *>(allocate(mostData));
    return stored_ != nullptr && decoded_ != nullptr;
}

// The last page starting at or before offset, or null.
PageRecord *R2007Container::findPage(const Section &section, uint64_t offset)
{
    int32_t low = 0;
    int32_t high = section.pageCount;
    while (low < high) {
        const int32_t middle = low + (high - low) / 2;
        if (section.pages[middle].start <= offset) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low == 0 ? nullptr : &section.pages[low - 1];
}

const uint8_t *R2007Container::pageBytes(PageRecord *page)
{
    if (const uint8_t *bytes = cache_.held(page)) {
        return bytes;
    }
    if (page->failed) {
        return nullptr;
    }
    uint8_t *slot = cache_.claim();
    if (slot == nullptr || !loadPage(page, slot)) {
        page->failed = true;
        return nullptr;
    }
    return cache_.keep(page);
}

// A page read whole goes straight where it is wanted, past the cache.
bool R2007Container::loadWholePage(PageRecord *page, uint8_t *out)
{
    if (page->failed || !loadPage(page, out)) {
        page->failed = true;
        return false;
    }
    return true;
}

uint64_t R2007Container::heldFrom(SectionName name, uint64_t offset) const
{
    if (!isSection(name)) {
        return offset;
    }
    const Section &section = sections_[static_cast<int32_t>(name)];
    const PageRecord *page = findPage(section, offset);
    if (page != nullptr && offset - page->start < page->size) {
        return offset;
    }
    const PageRecord *next = page == nullptr ? section.pages : page + 1;
    return next < section.pages + section.pageCount ? next->start : std::max(offset, section.size);
}

uint32_t R2007Container::largestPage(SectionName name) const
{
    if (!isSection(name)) {
        return 0;
    }
    const Section &section = sections_[static_cast<int32_t>(name)];
    uint32_t largest = 0;
    for (int32_t i = 0; i < section.pageCount; ++i) {
        largest = section.pages[i].size > largest ? section.pages[i].size : largest;
    }
    return largest;
}

// A page is read the cheap way first: its data bytes taken out of the code
// words as they are (or as the file holds them, for a plain page), in the
// window of the file's stream when it holds them whole, decompressed and
// checked against the page's checksum. Only a coded page that fails has its
// code words checked, and corrected where the code allows, and is tried again.
bool R2007Container::loadPage(PageRecord *page, uint8_t *out)
{
    if (!page->listed) {
        reportf(session_, msg::kR2007PageDamaged, page->id, HERE);
        return false;
    }
    const bool coded = page->words != 0;
    const uint64_t storedSize = coded ? static_cast<uint64_t>(page->words) * rs::kCodewordSize : page->compressed;
    const uint8_t *stored = file_.bytesAt(page->position, static_cast<uint32_t>(storedSize), coded ? stored_ : decoded_);
    if (stored == nullptr) {
        file_.notePastEnd();
        reportf(session_, msg::kR2007PageMissing, page->id, HERE);
        return false;
    }
    if (coded) {
        rs::takeData(rs::Code::Data, stored, page->words, decoded_);
    }
    PageFault fault = expandPage(*page, coded ? decoded_ : stored, out);
    if (fault == PageFault::None) {
        return true;
    }
    if (coded) {
        fault = correctPage(*page, stored, out, fault);
    }
    if (fault != PageFault::None) {
        reportf(session_, fault == PageFault::Damaged ? msg::kR2007PageDamaged : msg::kR2007PageDecompress, page->id,
                HERE);
        return false;
    }
    if (!page->correctionReported) {
        page->correctionReported = true;
        reportf(session_, msg::kR2007PageCorrected, page->id, HERE);
    }
    return true;
}

// A coded page's words corrected where the code allows, and its bytes
// taken again; the fault found first when the words hold no error.
PageFault R2007Container::correctPage(const PageRecord &page, const uint8_t *stored, uint8_t *out, PageFault fault)
{
    const rs::Outcome outcome = rs::decodeInterleaved(rs::Code::Data, stored, page.words, decoded_);
    if (outcome == rs::Outcome::Damaged) {
        return PageFault::Damaged;
    }
    return outcome == rs::Outcome::Corrected ? expandPage(page, decoded_, out) : fault;
}

// The page's bytes out of its data bytes, and whether they hold their
// checksum.
PageFault R2007Container::expandPage(const PageRecord &page, const uint8_t *data, uint8_t *out)
{
    if (page.compressed == page.size) {
        std::memcpy(out, data, page.size);
    } else {
        const Lz77Result result = decompressR2007Lz77(data, page.compressed, out, page.size);
        if (result.status != Lz77Status::Ok || result.produced != page.size) {
            return PageFault::Undecompressible;
        }
    }
    return pageChecksum(out, page.size) == page.checksum ? PageFault::None : PageFault::Damaged;
}

int32_t R2007Container::readSection(SectionName name, uint64_t offset, void *buffer, int32_t count)
{
    if (!isSection(name) || count <= 0 || offset >= sectionSize(name)) {
        return 0;
    }
    const Section &section = sections_[static_cast<int32_t>(name)];
    const uint32_t wanted = static_cast<uint64_t>(count) < section.size - offset ? static_cast<uint32_t>(count)
                                                                                   : static_cast<uint32_t>(section.size - offset);
    uint8_t *to = static_cast<uint8_t *>(buffer);
    uint32_t copied = 0;
    while (copied < wanted) {
        const uint64_t at = offset + copied;
        PageRecord *page = findPage(section, at);
        const bool inPage = page != nullptr && at - page->start < page->size;
        // Bytes up to the end of this page, or of the zeros before the next.
        const PageRecord *next = inPage ? nullptr : (page == nullptr ? section.pages : page + 1);
        const bool hasNext = next != nullptr && next < section.pages + section.pageCount;
        const uint64_t end = inPage ? page->start + page->size : (hasNext ? next->start : section.size);
        const uint32_t length = end - at < wanted - copied ? static_cast<uint32_t>(end - at) : wanted - copied;
        if (inPage && at == page->start && length == page->size && cache_.held(page) == nullptr) {
            if (!loadWholePage(page, to + copied)) {
                break;
            }
        } else if (inPage) {
            const uint8_t *bytes = pageBytes(page);
            if (bytes == nullptr) {
                break;
            }
            std::memcpy(to + copied, bytes + (at - page->start), length);
        } else {
            std::memset(to + copied, 0, length);
        }
        copied += length;
    }
    return static_cast<int32_t>(copied);
}

void R2007Container::destroy()
{
    cache_.release();
    for (Section &section : sections_) {
        if (section.pages != nullptr) {
            memory_->free(section.pages);
        }
    }
    if (extents_ != nullptr) {
        memory_->free(extents_);
    }
    release(&stored_);
    release(&decoded_);
    deleteIn(memory_, this);
}

}  // namespace

DrawingContainer *newR2007Container(DWGglobal *session, MemoryService *memory, FileStream *file)
{
    if (session == nullptr || memory == nullptr || file == nullptr) {
        return nullptr;
    }
    // A cursor of our own: the pages we load do not move the readers' ones.
    const int32_t cursor = file->newCursor();
    if (cursor < 0) {
        reportf(session, msg::kR2007Unreadable, "file header", HERE);
        return nullptr;
    }
    return openContainer<R2007Container>(session, memory, file, cursor, HERE);
}
