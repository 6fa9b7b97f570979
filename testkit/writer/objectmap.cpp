#include "objectmap.h"

#include <stdexcept>

namespace dwgw {

namespace {

void putBigEndian16(BitWriter& w, std::uint16_t value) {
    w.RC(static_cast<std::uint8_t>(value >> 8)).RC(static_cast<std::uint8_t>(value));
}

// At least `width` bytes: full 7-bit groups while the rest does not fit the
// 6 value bits of a last byte, or while the width is not reached.
Bytes stretchedMC(std::int64_t value, std::size_t width) {
    const bool negative = value < 0;
    std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    Bytes out;
    while (magnitude >= 0x40 || out.size() + 1 < width) {
        out.push_back(static_cast<std::uint8_t>(0x80 | (magnitude & 0x7F)));
        magnitude >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(magnitude | (negative ? 0x40 : 0)));
    return out;
}

}  // namespace

Bytes encodeMC(std::int64_t value) {
    return stretchedMC(value, 1);
}

Bytes encodeMC(std::int64_t value, std::size_t width) {
    Bytes out = stretchedMC(value, width);
    if (out.size() != width) throw std::invalid_argument("MC width below the shortest form");
    return out;
}

ObjectMapWriter& ObjectMapWriter::section(const std::vector<MapEntry>& entries) {
    BitWriter pairs;
    MapEntry previous;
    for (const MapEntry& entry : entries) {
        pairs.raw(encodeMC(static_cast<std::int32_t>(entry.handle - previous.handle)));
        pairs.raw(encodeMC(entry.offset - previous.offset));
        previous = entry;
    }
    return rawSection(pairs.bytes());
}

ObjectMapWriter& ObjectMapWriter::rawSection(const Bytes& entryBytes) {
    if (entryBytes.size() > 0xFFFF - 2) throw std::length_error("map section larger than its size field");
    return rawSection(entryBytes, static_cast<std::uint16_t>(entryBytes.size() + 2));
}

ObjectMapWriter& ObjectMapWriter::rawSection(const Bytes& entryBytes, std::uint16_t sizeField) {
    putBigEndian16(sections_, sizeField);
    sections_.raw(entryBytes);
    putBigEndian16(sections_, kMapCheckValue);
    return *this;
}

Bytes ObjectMapWriter::bytes() const {
    BitWriter map = sections_;
    putBigEndian16(map, 2);
    putBigEndian16(map, kMapCheckValue);
    return map.bytes();
}

}  // namespace dwgw
