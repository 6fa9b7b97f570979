#include <gtest/gtest.h>

#include <cstring>
#include <cstdint>

#include "support/byteswap.h"
#include "support/publicstorage.h"
#include "tqhost.h"

namespace {

class ByteSwapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        memory = newMemoryService(services.record());
        ASSERT_NE(memory, nullptr);
        swap = newByteSwap(memory);
        ASSERT_NE(swap, nullptr);
    }

    void TearDown() override
    {
        deleteByteSwap(swap);
        deleteMemoryService(memory);
        EXPECT_EQ(services.blocks().stats().inUse, 0u);
    }

    tqhost::HostContext context;
    tqhost::Services services{context};
    MemoryService *memory = nullptr;
    ByteSwap *swap = nullptr;
};

// Each pair of operations: the one whose file order is the host's order
// returns its argument, the other one applies the swap.
TEST_F(ByteSwapTest, ExactlyOneOfEachPairSwaps)
{
    using Operation = uint32_t (ByteSwap::*)(uint32_t) const;
    struct Case {
        const char *name;
        Operation le;
        Operation be;
        uint32_t value;
        uint32_t swapped;
    } cases[] = {
        {"Bit", &ByteSwap::leSwapBit, &ByteSwap::beSwapBit, 0x00000001, 0x00000002},
        {"Bit", &ByteSwap::leSwapBit, &ByteSwap::beSwapBit, 0xA5A5A5A5, 0x5A5A5A5A},
        {"2Bits", &ByteSwap::leSwap2Bits, &ByteSwap::beSwap2Bits, 0x00000001, 0x00000004},
        {"2Bits", &ByteSwap::leSwap2Bits, &ByteSwap::beSwap2Bits, 0xC0000000, 0x30000000},
        {"Nibble", &ByteSwap::leSwapNibble, &ByteSwap::beSwapNibble, 0x00000012, 0x00000021},
        {"Nibble", &ByteSwap::leSwapNibble, &ByteSwap::beSwapNibble, 0xF1E2D3C4, 0x1F2E3D4C},
        {"16", &ByteSwap::leSwap16, &ByteSwap::beSwap16, 0x00001234, 0x00003412},
        {"16", &ByteSwap::leSwap16, &ByteSwap::beSwap16, 0x8001FF7F, 0x01807FFF},
        {"Half", &ByteSwap::leSwapHalf, &ByteSwap::beSwapHalf, 0x12345678, 0x56781234},
        {"Half", &ByteSwap::leSwapHalf, &ByteSwap::beSwapHalf, 0xFFFF0000, 0x0000FFFF},
        {"32", &ByteSwap::leSwap32, &ByteSwap::beSwap32, 0x11223344, 0x44332211},
        {"32", &ByteSwap::leSwap32, &ByteSwap::beSwap32, 0x80000001, 0x01000080},
    };
    const bool little = swap->littleEndianHost();
    for (const Case &c : cases) {
        uint32_t fromLe = (swap->*c.le)(c.value);
        uint32_t fromBe = (swap->*c.be)(c.value);
        EXPECT_EQ(fromLe, little ? c.value : c.swapped) << "le" << c.name << std::hex << " 0x" << c.value;
        EXPECT_EQ(fromBe, little ? c.swapped : c.value) << "be" << c.name << std::hex << " 0x" << c.value;
    }
}

// What the readers rely on: a little-endian value laid down byte by byte
// comes out right through leSwap32, a big-endian one through beSwap16. This
// also catches a probe that mistakes the host's byte order.
TEST_F(ByteSwapTest, FileBytesBecomeHostValues)
{
    const unsigned char little[4] = {0x44, 0x33, 0x22, 0x11};
    uint32_t raw = 0;
    memcpy(&raw, little, 4);
    EXPECT_EQ(swap->leSwap32(raw), 0x11223344u);

    const unsigned char big[2] = {0x12, 0x34};
    uint16_t raw16 = 0;
    memcpy(&raw16, big, 2);
    EXPECT_EQ(swap->beSwap16(raw16), 0x1234u);
}

}  // namespace
