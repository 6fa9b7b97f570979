// The paged container of R2004-R2018 drawings, composed from the bytes of
// its sections: the plain header fields and the sealed header at 0x80, the
// data pages of each section (each compressed on its own, its 32-byte
// header sealed with its address), then the section map and the page map
// as compressed system pages. Every sum and CRC a reader checks is right
// unless a test's hook changes what it covers afterwards.
//
// File order: header, pages of the objects, object map, classes and header
// variables sections, the section map, the page map, a copy of the sealed
// header. Data pages are numbered from 1 in that order; the section map
// and the page map take the next numbers but one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bitwriter.h"

namespace dwgw {

enum class ContainerSection { Header, Classes, Handles, Objects, SummaryInfo, AppInfo };

// The document properties' sections (documentinfo.h) are written only when
// they hold bytes, after the others.
struct ContainerSections {
    Bytes header, classes, handles, objects;
    Bytes summaryInfo, appInfo;
    std::uint16_t codePage = 30;
};

// One data page as it is about to be written. A hook may change the
// number the section map gives it (the page map keeps the real one) and
// the compressed bytes, whose sums are then taken from what it left.
struct PageDraft {
    ContainerSection section;
    std::size_t index;          // among the section's pages, from 0
    std::uint32_t number;       // as the section map names it
    std::uint64_t start;        // offset in the section
    Bytes compressed;
};

// Where a page was written, for tests that damage the file afterwards.
struct PagePlace {
    ContainerSection section;
    std::size_t index;
    std::size_t address;         // its header
    std::size_t compressedSize;  // bytes after the 32-byte header
};

// A page map entry: pages lie end to end from 0x100 in this order. A
// negative number is a gap of that size (written with its four tree longs).
struct PageMapEntry {
    std::int32_t number;
    std::uint64_t size;
};

struct ContainerPlaces {
    std::vector<PagePlace> pages;
    std::size_t sectionMap = 0;  // the section map's page header
    std::size_t pageMap = 0;
};

struct ContainerOptions {
    std::size_t pageSize = 0x7400;  // decompressed bytes per data page
    // Pages of zeros only are left out, as CAD programs do: the section map
    // then gives the next page a start past the gap.
    bool omitZeroPages = false;
    // Where the objects' bytes begin in their section (a multiple of
    // pageSize): the section map lists no page before them, which reads as
    // zeros, so objects lie past 4 GiB without the bytes before them.
    std::uint64_t objectsAt = 0;
    std::function<void(PageDraft&)> adjustPage;
    // Sees the page map's entries (data pages, section map, page map) and
    // may add, drop or resize them; the page map's own size is kept.
    std::function<void(std::vector<PageMapEntry>&)> adjustPageMap;
    ContainerPlaces* places = nullptr;  // filled when given
};

// version: "AC1018", "AC1024", "AC1027" or "AC1032" (any 6 bytes are
// written as given).
Bytes composePagedContainer(const std::string& version, const ContainerSections& sections,
                            const ContainerOptions& options = {});

// The page compression, emitting one literal run only: a valid stream any
// reader must take, for fuzz seeds and hand-made pages.
Bytes compressLiterals(const Bytes& data);

// The sums a page header holds, and the CRC of the sealed header.
std::uint32_t pageChecksum(const std::uint8_t* bytes, std::size_t count, std::uint32_t seed);
std::uint32_t crc32(const std::uint8_t* bytes, std::size_t count);

}  // namespace dwgw
