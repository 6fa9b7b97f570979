#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "stream_fixture.h"
#include "support/byteswap.h"

namespace {

class ByteSwapTest : public ::testing::Test {
protected:
    void TearDown() override { deleteByteSwap(swap); }

    StreamFixture fixture{{}};
    ByteSwap *swap = newByteSwap(fixture.memory);
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
        {"Bit", &ByteSwap::leSwapBit, &ByteSwap::beSwapBit, 0xA5A5A5A5, 0x5A5A5A5A},
        {"2Bits", &ByteSwap::leSwap2Bits, &ByteSwap::beSwap2Bits, 0xC0000001, 0x30000004},
        {"Nibble", &ByteSwap::leSwapNibble, &ByteSwap::beSwapNibble, 0xF1E2D3C4, 0x1F2E3D4C},
        {"16", &ByteSwap::leSwap16, &ByteSwap::beSwap16, 0x8001FF7F, 0x01807FFF},
        {"Half", &ByteSwap::leSwapHalf, &ByteSwap::beSwapHalf, 0x12345678, 0x56781234},
        {"32", &ByteSwap::leSwap32, &ByteSwap::beSwap32, 0x81223344, 0x44332281},
    };
    ASSERT_NE(swap, nullptr);
    const bool little = swap->littleEndianHost();
    for (const Case &c : cases) {
        EXPECT_EQ((swap->*c.le)(c.value), little ? c.value : c.swapped) << "le" << c.name;
        EXPECT_EQ((swap->*c.be)(c.value), little ? c.swapped : c.value) << "be" << c.name;
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
