// The maps of an R2004-R2018 container, read once when it opens: the file
// header at 0x80, the page map (every page's number and size, in file
// order from 0x100) and the section map (every section's pages by number,
// with where each starts in the section). What the readers need of them is
// kept as a layout: for each section we serve, its pages with their file
// addresses. The maps themselves are given back as soon as this is built.
#ifndef TQ_R2004_PAGEDMAPS_H
#define TQ_R2004_PAGEDMAPS_H

#include <cstdint>

#include "r2004/container.h"

class ContainerFile;
class MemoryService;
struct DWGglobal;

// Nothing in a container is larger than this, whatever its header says:
// data pages never decompress past 0x7400 bytes, and the maps, which grow
// with the page count, stay within a megabyte for any file we can address.
inline constexpr uint32_t kMaxDataPage = 0x7400;
inline constexpr uint32_t kMaxSystemPage = 0x100000;
// A data page's header precedes its compressed bytes.
inline constexpr uint32_t kDataPageHeader = 0x20;
// Pages are laid end to end from here, in page map order.
inline constexpr uint32_t kFirstPageAddress = 0x100;

// One page of a section, as the section map and the page map place it.
struct PageRef {
    uint64_t start;           // offset in the section of its first byte
    uint64_t address;         // file address of its header
    uint32_t compressedSize;  // bytes after the header
    int32_t number;           // in the page map
    bool listed;              // the page map has its number
    bool placed;              // and puts it inside the file
    bool reported;            // a failure to read it has been reported
};

struct SectionLayout {
    uint64_t size;         // decompressed, as the section map gives it
    uint64_t readableEnd;  // where the page list stops making sense
    uint32_t pageLimit;    // decompressed size of each page
    bool compressed;
    int32_t pageCount;
    PageRef *pages;        // ascending starts, each pageLimit past the last
};

struct ContainerLayout {
    int32_t codePage;
    bool headerCopyRead;  // the header at 0x80 was damaged
    SectionLayout sections[static_cast<int32_t>(SectionName::Count)];
};

// Reads the header and both maps; a damaged page list only limits its
// section's readable end, reported once. Where one of them cannot be read
// (after one report): lost when the file holds no such part or its checks
// fail, refused when the host failed a read or a block.
enum class LayoutRead { Read, Lost, Refused };
LayoutRead readContainerLayout(DWGglobal *session, MemoryService *memory, ContainerFile *file,
                               ContainerLayout *layout);
void releaseContainerLayout(MemoryService *memory, ContainerLayout *layout);

#endif
