#include "byteswap.h"

#include <cstring>

#include "component.h"

[[gnu::used]] static const char kIdent[] = "@(#)byteswap: Version 1.00.00";

namespace {

// Each swap exchanges neighbouring groups of bits: the group width is the
// shift, the mask selects the lower group of every pair. Masking after the
// shift makes the kind of right shift irrelevant.
constexpr uint32_t kBitMask = 0x55555555u;
constexpr uint32_t k2BitsMask = 0x33333333u;
constexpr uint32_t kNibbleMask = 0x0F0F0F0Fu;
constexpr uint32_t kByteMask = 0x00FF00FFu;
constexpr uint32_t kHalfMask = 0x0000FFFFu;

constexpr uint32_t exchange(uint32_t v, int shift, uint32_t mask)
{
    return ((v << shift) & ~mask) | ((v >> shift) & mask);
}

}  // namespace

ByteSwap *newByteSwap(MemoryService *memory)
{
    return newIn<ByteSwap>(memory, memory);
}

void deleteByteSwap(ByteSwap *swap)
{
    if (swap != nullptr) {
        deleteIn(swap->memory(), swap);
    }
}

ByteSwap::ByteSwap(MemoryService *memory) : memory_(memory), littleEndianHost_(checkByteOrder()) {}

// Lays down 0xFE, 0xFF and reads them back as one 16-bit number: a
// big-endian host sees 0xFEFF, a little-endian one 0xFFFE.
int32_t ByteSwap::checkByteOrder()
{
    const unsigned char bytes[2] = {0xFE, 0xFF};
    uint16_t value = 0;
    memcpy(&value, bytes, sizeof value);
    return value != 0xFEFF ? 1 : 0;
}

uint32_t ByteSwap::leSwapBit(uint32_t v) const
{
    return littleEndianHost() ? v : exchange(v, 1, kBitMask);
}

uint32_t ByteSwap::leSwap2Bits(uint32_t v) const
{
    return littleEndianHost() ? v : exchange(v, 2, k2BitsMask);
}

uint32_t ByteSwap::leSwapNibble(uint32_t v) const
{
    return littleEndianHost() ? v : exchange(v, 4, kNibbleMask);
}

uint32_t ByteSwap::leSwap16(uint32_t v) const
{
    return littleEndianHost() ? v : exchange(v, 8, kByteMask);
}

uint32_t ByteSwap::leSwapHalf(uint32_t v) const
{
    return littleEndianHost() ? v : exchange(v, 16, kHalfMask);
}

uint32_t ByteSwap::leSwap32(uint32_t v) const
{
    return leSwapHalf(leSwap16(v));
}

uint32_t ByteSwap::beSwapBit(uint32_t v) const
{
    return littleEndianHost() ? exchange(v, 1, kBitMask) : v;
}

uint32_t ByteSwap::beSwap2Bits(uint32_t v) const
{
    return littleEndianHost() ? exchange(v, 2, k2BitsMask) : v;
}

uint32_t ByteSwap::beSwapNibble(uint32_t v) const
{
    return littleEndianHost() ? exchange(v, 4, kNibbleMask) : v;
}

uint32_t ByteSwap::beSwap16(uint32_t v) const
{
    return littleEndianHost() ? exchange(v, 8, kByteMask) : v;
}

uint32_t ByteSwap::beSwapHalf(uint32_t v) const
{
    return littleEndianHost() ? exchange(v, 16, kHalfMask) : v;
}

uint32_t ByteSwap::beSwap32(uint32_t v) const
{
    return beSwapHalf(beSwap16(v));
}
