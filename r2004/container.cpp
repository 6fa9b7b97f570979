#include "r2004/container.h"

#include <algorithm>

#include "core/dwgglobal.h"
#include "core/messages.h"
#include "r2004/datapage.h"
#include "r2004/lz77.h"
#include "r2004/opencontainer.h"
#include "r2004/pagecache.h"
#include "r2004/pagedmaps.h"
#include "r2004/pagefinder.h"
#include "support/component.h"
#include "support/filestrmio.h"
#include "support/publicstorage.h"

static const char kModule[] = "r2004container";

namespace {

enum class PageFault { None, Outside, Damaged, Undecompressible };

class PagedContainer final : public DrawingContainer {
public:
    PagedContainer(DWGglobal *session, MemoryService *memory, FileStream *file, int32_t cursor)
        : session_(session), memory_(memory), file_(file, cursor), cache_(session, memory, kMaxDataPage)
    {
    }

    // A drawing whose maps are lost, cut short or overwritten, still has
    // its pages: they are looked for by their headers. Maps the host failed
    // to deliver are not lost: the drawing is left unread.
    bool open()
    {
        const LayoutRead read = readContainerLayout(session_, memory_, &file_, &layout_);
        if (read != LayoutRead::Lost) {
            return read == LayoutRead::Read;
        }
        releaseContainerLayout(memory_, &layout_);
        pagesFound_ = findObjectPages(session_, memory_, &file_, &layout_);
        return pagesFound_;
    }

    uint64_t sectionSize(SectionName name) const override
    {
        const SectionLayout *section = p_section(name);
        return section == nullptr ? 0 : section->size;
    }
    int32_t readSection(SectionName name, uint64_t offset, void *buffer, int32_t count) override;
    // Pages follow one another every pageLimit bytes from the section's
    // start; the last ends with the section.
    PageSpan pageAt(SectionName name, uint64_t offset) const override
    {
        const SectionLayout *section = p_section(name);
        if (section == nullptr || section->pageLimit == 0 || offset >= section->size) {
            return {offset, 0};
        }
        const uint64_t start = offset - offset % section->pageLimit;
        return {start, static_cast<uint32_t>(std::min<uint64_t>(section->pageLimit, section->size - start))};
    }
    uint32_t largestPage(SectionName name) const override
    {
        const SectionLayout *section = p_section(name);
        return section == nullptr ? 0 : section->pageLimit;
    }
    bool pagesFound() const override { return pagesFound_; }
    bool repaired() const override { return pagesFound_ || layout_.headerCopyRead; }
    uint64_t heldFrom(SectionName name, uint64_t offset) const override;
    int32_t codePage() const override { return layout_.codePage; }
    void destroy() override;

private:
    const SectionLayout *p_section(SectionName name) const
    {
        const int32_t index = static_cast<int32_t>(name);
        return index >= 0 && index < static_cast<int32_t>(SectionName::Count) ? &layout_.sections[index] : nullptr;
    }
    bool p_copy(SectionName name, uint64_t position, uint64_t stop, uint8_t *out, uint32_t *copied);
    const uint8_t *p_pageBytes(SectionName name, PageRef *page);
    bool p_mayLoad(PageRef *page);
    bool p_load(SectionName name, PageRef *page, uint8_t *out);
    PageFault p_loadPage(const SectionLayout &section, const PageRef &page, uint8_t *out);
    PageFault p_readPageHeader(const PageRef &page, DataPageHeader *header);
    PageFault p_readCompressed(const PageRef &page, const DataPageHeader &header, const uint8_t **compressed);
    PageFault p_expand(const SectionLayout &section, const uint8_t *compressed, uint32_t size, uint8_t *out);
    void p_reportFault(SectionName name, const PageRef &page, PageFault fault);

    DWGglobal *session_;
    MemoryService *memory_;
    ContainerFile file_;
    PageCache cache_;
    ContainerLayout layout_ = {};
    uint8_t *compressed_ = nullptr;  // kMaxCompressedPage bytes, taken at first use
    bool pagesFound_ = false;
};

uint64_t PagedContainer::heldFrom(SectionName name, uint64_t offset) const
{
    const SectionLayout *section = p_section(name);
    if (section == nullptr || offset >= section->size) {
        return section == nullptr ? offset : section->size;
    }
    const PageRef *pages = section->pages;
    const PageRef *end = pages + section->pageCount;
    const PageRef *next = std::upper_bound(pages, end, offset,
                                           [](uint64_t wanted, const PageRef &page) { return wanted < page.start; });
    if (next != pages && offset < (next - 1)->start + section->pageLimit) {
        return offset;
    }
    return next == end ? section->size : next->start;
}

int32_t PagedContainer::readSection(SectionName name, uint64_t offset, void *buffer, int32_t count)
{
    const SectionLayout *section = p_section(name);
    if (section == nullptr || buffer == nullptr || count <= 0 || offset >= section->size) {
        return 0;
    }
    const uint64_t wanted = std::min<uint64_t>(static_cast<uint32_t>(count), section->size - offset);
    const uint64_t stop = offset + std::min<uint64_t>(wanted, section->readableEnd > offset ? section->readableEnd - offset : 0);
    uint8_t *out = static_cast<uint8_t *>(buffer);
    uint64_t position = offset;
    while (position < stop) {
        uint32_t copied = 0;
        if (!p_copy(name, position, stop, out + (position - offset), &copied)) {
            break;
        }
        position += copied;
    }
    return static_cast<int32_t>(position - offset);
}

// Copies what one page, or the gap of zeros before the next page, holds
// of [position, stop). A whole page is made straight into out, past the
// cache. False at a page that cannot be read.
bool PagedContainer::p_copy(SectionName name, uint64_t position, uint64_t stop, uint8_t *out, uint32_t *copied)
{
    SectionLayout &section = layout_.sections[static_cast<int32_t>(name)];
    PageRef *pages = section.pages;
    PageRef *end = pages + section.pageCount;
    PageRef *next = std::upper_bound(pages, end, position,
                                     [](uint64_t wanted, const PageRef &page) { return wanted < page.start; });
    PageRef *page = next == pages ? nullptr : next - 1;
    const uint64_t pageEnd = page == nullptr ? 0 : page->start + section.pageLimit;
    if (page == nullptr || position >= pageEnd) {
        const uint64_t gapEnd = next == end ? stop : std::min(stop, next->start);
        std::fill(out, out + (gapEnd - position), uint8_t{0});
        *copied = static_cast<uint32_t>(gapEnd - position);
        return true;
    }
    const uint64_t runEnd = std::min(stop, pageEnd);
    if (position == page->start && runEnd - position == section.pageLimit && cache_.held(page) == nullptr) {
        *copied = section.pageLimit;
        return p_mayLoad(page) && p_load(name, page, out);
    }
    const uint8_t *bytes = p_pageBytes(name, page);
    if (bytes == nullptr) {
        return false;
    }
    std::copy(bytes + (position - page->start), bytes + (runEnd - page->start), out);
    *copied = static_cast<uint32_t>(runEnd - position);
    return true;
}

// The decompressed bytes of a page, from the cache or read now. Null for a
// page that cannot be read, reported the first time only.
const uint8_t *PagedContainer::p_pageBytes(SectionName name, PageRef *page)
{
    if (const uint8_t *bytes = cache_.held(page)) {
        return bytes;
    }
    uint8_t *slot = p_mayLoad(page) ? cache_.claim() : nullptr;
    if (slot == nullptr) {
        page->reported = true;
        return nullptr;
    }
    return p_load(name, page, slot) ? cache_.keep(page) : nullptr;
}

// False for a page that failed before, and when the block for a page's
// compressed bytes, taken at the first page, cannot be had (reported, and
// the page fails from now on).
bool PagedContainer::p_mayLoad(PageRef *page)
{
    if (page->reported) {
        return false;
    }
    if (compressed_ == nullptr) {
        compressed_ = static_cast<uint8_t *>(memory_->allocate(kMaxCompressedPage));
        if (compressed_ == nullptr) {
            reportf(session_, msg::kAllocationFailed, HERE);
            page->reported = true;
        }
    }
    return compressed_ != nullptr;
}

// The page's bytes into out, pageLimit of them; a page that cannot be read
// is reported, once.
bool PagedContainer::p_load(SectionName name, PageRef *page, uint8_t *out)
{
    const PageFault fault = p_loadPage(layout_.sections[static_cast<int32_t>(name)], *page, out);
    if (fault != PageFault::None) {
        p_reportFault(name, *page, fault);
        page->reported = true;
        return false;
    }
    return true;
}

PageFault PagedContainer::p_loadPage(const SectionLayout &section, const PageRef &page, uint8_t *out)
{
    if (!page.listed) {
        return PageFault::Damaged;
    }
    if (!page.placed) {
        return PageFault::Outside;
    }
    DataPageHeader header;
    const uint8_t *compressed = nullptr;
    PageFault fault = p_readPageHeader(page, &header);
    if (fault == PageFault::None) {
        fault = p_readCompressed(page, header, &compressed);
    }
    return fault == PageFault::None ? p_expand(section, compressed, header.compressedSize, out) : fault;
}

// Unseals the page's header and checks it against what the section map
// said of the page.
PageFault PagedContainer::p_readPageHeader(const PageRef &page, DataPageHeader *header)
{
    uint8_t raw[kDataPageHeader];
    if (!file_.readAt(page.address, raw, kDataPageHeader)) {
        return PageFault::Outside;
    }
    const bool agrees = unsealDataPageHeader(raw, page.address, header) && header->start == page.start &&
                        header->compressedSize == page.compressedSize;
    return agrees ? PageFault::None : PageFault::Damaged;
}

// The compressed bytes after the header, where the file's stream holds
// them or copied into the scratch block, with both sums checked.
PageFault PagedContainer::p_readCompressed(const PageRef &page, const DataPageHeader &header,
                                           const uint8_t **compressed)
{
    *compressed = file_.bytesAt(page.address + kDataPageHeader, header.compressedSize, compressed_);
    if (*compressed == nullptr) {
        return PageFault::Outside;
    }
    return dataPageIntact(header, *compressed) ? PageFault::None : PageFault::Damaged;
}

// Fills a slot with the page's bytes; what the page does not cover of its
// decompressed size is zero.
PageFault PagedContainer::p_expand(const SectionLayout &section, const uint8_t *compressed, uint32_t size,
                                   uint8_t *out)
{
    uint32_t produced = 0;
    if (section.compressed) {
        const Lz77Result result = decompressLz77(compressed, size, out, section.pageLimit);
        if (result.status != Lz77Status::Ok) {
            return PageFault::Undecompressible;
        }
        produced = result.produced;
    } else {
        if (size > section.pageLimit) {
            return PageFault::Damaged;
        }
        std::copy(compressed, compressed + size, out);
        produced = size;
    }
    std::fill(out + produced, out + section.pageLimit, uint8_t{0});
    return PageFault::None;
}

void PagedContainer::p_reportFault(SectionName name, const PageRef &page, PageFault fault)
{
    const char *text = sectionNameText(name);
    switch (fault) {
    case PageFault::Outside:
        file_.notePastEnd();
        reportf(session_, msg::kR2004PageOutside, page.number, text, HERE);
        break;
    case PageFault::Damaged:
        reportf(session_, msg::kR2004PageDamaged, page.number, text, HERE);
        break;
    case PageFault::Undecompressible:
        reportf(session_, msg::kR2004PageDecompress, page.number, text, HERE);
        break;
    case PageFault::None:
        break;
    }
}

void PagedContainer::destroy()
{
    cache_.release();
    memory_->free(compressed_);
    releaseContainerLayout(memory_, &layout_);
    MemoryService *memory = memory_;
    deleteIn(memory, this);
}

}  // namespace

// The container reads through a cursor of its own, so that its page reads
// leave the other readers' positions alone; when the stream has none left
// it shares the default one.
DrawingContainer *newR2004Container(DWGglobal *session, MemoryService *memory, FileStream *file)
{
    if (session == nullptr || memory == nullptr || file == nullptr) {
        return nullptr;
    }
    return openContainer<PagedContainer>(session, memory, file, std::max(file->newCursor(), 0), HERE);
}
