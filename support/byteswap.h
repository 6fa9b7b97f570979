// Converts 32-bit values between a drawing's byte order and the host's.
// Raw numbers of the bit stream and the section locators are little-endian;
// the section sizes of the object map are big-endian. The host's order is
// probed once when the record is made; a conversion either returns its
// argument or swaps groups of bits or bytes.
#ifndef TQ_SUPPORT_BYTESWAP_H
#define TQ_SUPPORT_BYTESWAP_H

#include <cstdint>

class MemoryService;

class ByteSwap {
public:
    explicit ByteSwap(MemoryService *memory);

    uint32_t leSwapBit(uint32_t v) const;
    uint32_t leSwap2Bits(uint32_t v) const;
    uint32_t leSwapNibble(uint32_t v) const;
    uint32_t leSwap16(uint32_t v) const;
    uint32_t leSwapHalf(uint32_t v) const;
    uint32_t leSwap32(uint32_t v) const;
    uint32_t beSwapBit(uint32_t v) const;
    uint32_t beSwap2Bits(uint32_t v) const;
    uint32_t beSwapNibble(uint32_t v) const;
    uint32_t beSwap16(uint32_t v) const;
    uint32_t beSwapHalf(uint32_t v) const;
    uint32_t beSwap32(uint32_t v) const;

    bool littleEndianHost() const { return littleEndianHost_ != 0; }
    MemoryService *memory() const { return memory_; }

private:
    static int32_t checkByteOrder();

    MemoryService *memory_;
    int32_t littleEndianHost_;
};

ByteSwap *newByteSwap(MemoryService *memory);
void deleteByteSwap(ByteSwap *swap);

#endif
