// Composes the container of an R2007 ("AC1021") drawing around the bytes of
// its sections, for the tests of the R2007 container reader.
//
// The file holds the 0x80-byte opening record, the file header (three
// interleaved system code words), then from 0x480 the page map, the data
// pages and the section map. The properties' sections are stored plainly,
// as CAD programs store them; the other pages as code words. Every code
// word carries real Reed-Solomon parity, so a reader that checks it finds
// nothing wrong unless a test asks for damage. Pages are compressed with a literal-only LZ77 stream (one
// literal run), which the reader must decompress, or stored as they are.
// Each data page's checksum is written, since the reader checks it; the
// CRCs are left zero.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "bitwriter.h"

namespace dwgw {

struct R2007Sections {
    Bytes header, classes, handles, objects;
    Bytes summaryInfo, appInfo;  // written when they hold bytes, after the others
    std::uint16_t codePage = 30;
};

// Data pages are numbered from 1 in file order: the header's pages, then
// those of the classes, the handles and the objects. A page left out for
// holding only zeros takes no number. The numbers are the pages' ids.
struct R2007Options {
    // Most decompressed bytes in one data page.
    std::uint32_t pageSize = 0x7400;
    // Literal-only LZ77 streams; false stores every page as it is (its
    // compressed size then equals its size) and the file header's fields
    // with a negative stored size.
    bool compress = true;
    // Leave out the pages that hold only zeros, as CAD programs do.
    bool omitZeroPages = true;
    // Where the objects' bytes begin in their section: no page covers what
    // lies before them, which reads as zeros, so objects lie past 4 GiB
    // without the bytes before them.
    std::uint64_t objectsAt = 0;
    // For each page id, the places (0 to 254) in every one of its code
    // words whose byte is damaged.
    std::map<int, std::vector<int>> damagedBytes;
    // Pages whose stored bytes are overwritten with garbage.
    std::set<int> destroyedPages;
    // Changes the page map's (size in the file, id) entries, in file order,
    // before it is written; a negative id is a gap.
    std::function<void(std::vector<std::pair<std::size_t, int>>&)> adjustPageMap;
    // Changes the 0x110 bytes of file header fields before they are coded.
    std::function<void(Bytes&)> adjustHeaderFields;
};

Bytes composeR2007Container(const R2007Sections& sections, const R2007Options& options = {});

// The literal-only stream the R2007 pages are compressed with: a reader
// decompresses it to `data`. Exposed for the decoder's tests.
Bytes r2007LiteralStream(const Bytes& data);

// Encodes and interleaves `data` as code words of k = 239 (system) or 251
// (data) bytes, padding the last with zeros.
Bytes r2007CodeWords(const Bytes& data, int dataBytesPerWord);

}  // namespace dwgw
