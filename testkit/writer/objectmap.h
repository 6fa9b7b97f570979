// Object map writer for composing R13-R2000 test drawings.
//
// The object map lists every object's handle and absolute file offset as
// runs of signed deltas. It is a chain of sections:
//
//   2 bytes   section size, BIG-endian, counted from the first byte of this
//             field to the end of the section's entries
//   entries   pairs of MC values: handle delta, offset delta
//   2 bytes   check value (not verified by the reader)
//
// Within a section both running values start at 0, so the first entry's
// deltas are its absolute handle and offset. The map ends with a closing
// section of size 2 (no entries) and its check value.
//
// MC ("modular char"): 7 value bits per byte, least significant group first,
// 0x80 = another byte follows; in the last byte 0x40 is the sign and only 6
// value bits remain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bitwriter.h"

namespace dwgw {

// Written (big-endian) as the check value of every map section.
inline constexpr std::uint16_t kMapCheckValue = 0xA55A;

// The shortest MC form of `value`.
Bytes encodeMC(std::int64_t value);
// `value` stretched to exactly `width` bytes with empty continuation groups,
// a form the reader must accept as well. Throws when `width` is below the
// shortest form.
Bytes encodeMC(std::int64_t value, std::size_t width);

struct MapEntry {
    std::uint32_t handle = 0;
    std::int64_t offset = 0;  // absolute file offset of the object
};

class ObjectMapWriter {
public:
    // One section holding `entries` (absolute values; the deltas are
    // computed). An empty list gives a section of size 2 in mid-map.
    ObjectMapWriter& section(const std::vector<MapEntry>& entries);
    // One section whose entry bytes are given as they are; the size field is
    // computed from them, or taken from `sizeField` when one is given.
    ObjectMapWriter& rawSection(const Bytes& entryBytes);
    ObjectMapWriter& rawSection(const Bytes& entryBytes, std::uint16_t sizeField);

    // The sections written so far followed by the closing section.
    Bytes bytes() const;

private:
    BitWriter sections_;
};

}  // namespace dwgw
