#include "r2004/pagefinder.h"

#include <algorithm>
#include <numeric>

#include "core/dwgglobal.h"
#include "core/messages.h"
#include "r2004/datapage.h"
#include "r2004/lz77.h"
#include "r2004/pagecache.h"
#include "support/byteswap.h"
#include "support/publicstorage.h"

static const char kModule[] = "pagefinder";

namespace {

constexpr uint32_t kObjectsMark = 0x0DCA;
// The classes section opens with its sentinel.
constexpr uint8_t kClassesSentinel[16] = {0x8D, 0xA1, 0xC4, 0xB8, 0xC4, 0xA9, 0xF8, 0xC5,
                                          0xC0, 0xDC, 0xF4, 0x5F, 0xE7, 0xCF, 0xB6, 0x8A};
// No more pages than a section map can list for a section: the finder's
// memory stays within what the maps would have taken.
constexpr uint32_t kMostPages = kMaxSystemPage / 16;
constexpr uint32_t kFirstCapacity = 64;

uint32_t pageExtent(uint32_t compressedSize)
{
    const uint32_t length = kDataPageHeader + compressedSize;
    return (length + kPageAlignment - 1) / kPageAlignment * kPageAlignment;
}

// A page the file holds whole, as its header places it.
struct FoundPage {
    uint32_t section;
    uint64_t start;
    uint64_t address;
    uint32_t compressedSize;
    int32_t number;  // in file order from 1, for reports
};

class PageFinder {
public:
    PageFinder(DWGglobal *session, MemoryService *memory, ContainerFile *file)
        : session_(session), memory_(memory), file_(file)
    {
    }
    ~PageFinder()
    {
        memory_->free(found_);
        memory_->free(compressed_);
        memory_->free(expanded_);
    }

    bool find(ContainerLayout *layout);

private:
    // A section the finder tells by the first bytes of its first page.
    struct Told {
        uint32_t id;
        bool known;
    };
    bool p_scan();
    uint32_t p_pageAt(uint64_t address, bool *failed);
    void p_tellSection(const DataPageHeader &header, uint64_t dataAt);
    bool p_keep(const FoundPage &page);
    bool p_layOut(uint32_t id, SectionLayout *section);

    DWGglobal *session_;
    MemoryService *memory_;
    ContainerFile *file_;
    uint8_t *compressed_ = nullptr;  // kMaxCompressedPage bytes
    uint8_t *expanded_ = nullptr;    // kMaxDataPage bytes
    // Every page found, of whatever section.
    FoundPage *found_ = nullptr;
    uint32_t foundCount_ = 0;
    uint32_t capacity_ = 0;
    Told objects_ = {};
    Told classes_ = {};
    int32_t pagesSeen_ = 0;
};

// The objects, and the classes that number the multileaders among them
// when their pages are found too.
bool PageFinder::find(ContainerLayout *layout)
{
    compressed_ = static_cast<uint8_t *>(memory_->allocate(kMaxCompressedPage));
    expanded_ = static_cast<uint8_t *>(memory_->allocate(kMaxDataPage));
    if (compressed_ == nullptr || expanded_ == nullptr || !p_scan()) {
        reportf(session_, msg::kAllocationFailed, HERE);
        return false;
    }
    if (!objects_.known) {
        reportf(session_, msg::kR2004NoObjectPages, HERE);
        return false;
    }
    SectionLayout *objects = &layout->sections[static_cast<int32_t>(SectionName::Objects)];
    SectionLayout *classes = &layout->sections[static_cast<int32_t>(SectionName::Classes)];
    if (!p_layOut(objects_.id, objects) || (classes_.known && !p_layOut(classes_.id, classes))) {
        reportf(session_, msg::kAllocationFailed, HERE);
        return false;
    }
    reportf(session_, msg::kR2004PagesFound, objects->pageCount, HERE);
    return true;
}

// From the first page to the last header the file holds whole, or to a
// read the host fails. False when a block cannot be had.
bool PageFinder::p_scan()
{
    const uint64_t size = file_->size();
    for (uint64_t address = kFirstPageAddress; address + kDataPageHeader <= size && !file_->hostFailed();) {
        bool failed = false;
        const uint32_t extent = p_pageAt(address, &failed);
        if (failed) {
            return false;
        }
        address += extent != 0 ? extent : kPageAlignment;
    }
    return true;
}

// The bytes the data page at address takes in the file, 0 when there is
// none there; the page is kept. Only a section's first page is read here,
// and checked, to tell the objects and the classes. A page whose bytes run
// past the end of the file shows the drawing was cut there. failed: a
// block could not be had.
uint32_t PageFinder::p_pageAt(uint64_t address, bool *failed)
{
    uint8_t raw[kDataPageHeader];
    DataPageHeader header;
    if (!file_->readAt(address, raw, kDataPageHeader) || !unsealDataPageHeader(raw, address, &header)) {
        return 0;
    }
    const uint64_t dataAt = address + kDataPageHeader;
    if (dataAt + header.compressedSize > file_->size()) {
        file_->notePastEnd();
        return 0;
    }
    ++pagesSeen_;
    if (header.start == 0 && !(objects_.known && classes_.known)) {
        p_tellSection(header, dataAt);
    }
    *failed = !p_keep(FoundPage{header.section, header.start, address, header.compressedSize, pagesSeen_});
    return pageExtent(header.compressedSize);
}

// A first page whose sums hold tells its section by its first bytes.
void PageFinder::p_tellSection(const DataPageHeader &header, uint64_t dataAt)
{
    const uint8_t *compressed = file_->bytesAt(dataAt, header.compressedSize, compressed_);
    if (compressed == nullptr || !dataPageIntact(header, compressed)) {
        return;
    }
    const Lz77Result result = decompressLz77(compressed, header.compressedSize, expanded_, kMaxDataPage);
    if (result.status != Lz77Status::Ok) {
        return;
    }
    if (!objects_.known && result.produced >= 4 && littleEndian32(expanded_) == kObjectsMark) {
        objects_ = {header.section, true};
    } else if (!classes_.known && result.produced >= sizeof kClassesSentinel &&
               std::equal(kClassesSentinel, kClassesSentinel + sizeof kClassesSentinel, expanded_)) {
        classes_ = {header.section, true};
    }
}

// Pages past the most a section map could list are let go; false only
// when a block cannot be had.
bool PageFinder::p_keep(const FoundPage &page)
{
    if (foundCount_ == capacity_) {
        if (capacity_ == kMostPages) {
            return true;
        }
        const uint32_t capacity = capacity_ == 0 ? kFirstCapacity : std::min(2 * capacity_, kMostPages);
        auto *grown = static_cast<FoundPage *>(memory_->allocate(capacity * static_cast<uint32_t>(sizeof(FoundPage))));
        if (grown == nullptr) {
            return false;
        }
        std::copy(found_, found_ + foundCount_, grown);
        memory_->free(found_);
        found_ = grown;
        capacity_ = capacity;
    }
    found_[foundCount_++] = page;
    return true;
}

// In section order, one page per start. Where two pages hold one start, a
// save that did not write the whole file anew left the older behind: such
// a save writes what it changes after what the file holds, so the page
// later in the file is the last save's, and kept. Pages start at
// multiples of the section's page size, which the map would have given:
// the largest size no larger than a page can be that divides every start
// is taken, so that pages found never overlap.
bool PageFinder::p_layOut(uint32_t id, SectionLayout *section)
{
    std::sort(found_, found_ + foundCount_, [id](const FoundPage &a, const FoundPage &b) {
        if ((a.section == id) != (b.section == id)) {
            return a.section == id;
        }
        return a.start != b.start ? a.start < b.start : a.address > b.address;
    });
    FoundPage *ours =
        std::partition_point(found_, found_ + foundCount_, [id](const FoundPage &page) { return page.section == id; });
    const FoundPage *end = std::unique(found_, ours,
                                       [](const FoundPage &a, const FoundPage &b) { return a.start == b.start; });
    const uint32_t count = static_cast<uint32_t>(end - found_);
    uint64_t common = 0;
    for (uint32_t i = 0; i < count; ++i) {
        common = std::gcd(common, found_[i].start);
    }
    uint64_t pageLimit = common == 0 ? kMaxDataPage : std::min<uint64_t>(common, kMaxDataPage);
    while (common % pageLimit != 0) {
        --pageLimit;
    }
    section->pages = static_cast<PageRef *>(memory_->allocate(count * static_cast<uint32_t>(sizeof(PageRef))));
    if (section->pages == nullptr) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const FoundPage &page = found_[i];
        section->pages[i] = PageRef{page.start, page.address, page.compressedSize, page.number, true, true, false};
    }
    section->size = found_[count - 1].start + pageLimit;
    section->readableEnd = section->size;
    section->pageLimit = static_cast<uint32_t>(pageLimit);
    section->compressed = true;
    section->pageCount = static_cast<int32_t>(count);
    return true;
}

}  // namespace

bool findObjectPages(DWGglobal *session, MemoryService *memory, ContainerFile *file, ContainerLayout *layout)
{
    PageFinder finder(session, memory, file);
    return finder.find(layout);
}
