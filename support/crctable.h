// The lookup table of a reflected CRC: entry i is what the byte i does to
// the value, so that each byte of a message costs one look-up. The drawing
// format uses two, a CRC-16 that closes each object and the CRC-32 of the
// R2004 file header.
#ifndef TQ_SUPPORT_CRCTABLE_H
#define TQ_SUPPORT_CRCTABLE_H

#include <cstdint>

template <class Value>
struct CrcTable {
    Value entries[256];
};

// polynomial is given reflected, as the table applies it.
template <class Value>
constexpr CrcTable<Value> makeCrcTable(Value polynomial)
{
    CrcTable<Value> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        Value value = static_cast<Value>(i);
        for (int bit = 0; bit < 8; ++bit) {
            value = static_cast<Value>((value & 1) != 0 ? (value >> 1) ^ polynomial : value >> 1);
        }
        table.entries[i] = value;
    }
    return table;
}

#endif
