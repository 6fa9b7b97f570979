// How long a drawing says it is, to tell a drawing cut short (a failed
// download, a partial copy) from a whole one.
#ifndef DWGTEXT_EXTENT_H
#define DWGTEXT_EXTENT_H

#include <cstdint>
#include <span>

#include "host_lean.h"

namespace dwgtext {

// The number of bytes the file must have for everything its header records
// to be there; 0 for a file that is no drawing of a release the library
// reads.
//
// R10 to R12: the header up to the entity section, the end of that
// section and the entries of every table (start + entry size x count).
// R13 to R2000: the five section locators the library needs, the section
// each locator records (seeker + size), and every object the object map
// lists (its size field, its data and its 2-byte check value).
//
// Only what is in the file is read: a cut that takes away part of the
// header, the map or an object still gives a length past the cut.
uint64_t recordedExtent(tqhost::ByteSource &bytes);
uint64_t recordedExtent(std::span<const uint8_t> bytes);

}  // namespace dwgtext

#endif
