// Bit-stream writer for composing test drawings.
//
// R13-R2000 objects are streams of bits in which fields do not start on byte
// boundaries. BitWriter appends the value encodings of that stream, most
// significant bit first; raw multi-byte numbers are little-endian and may
// start at any bit. Written at bit position 0 it is also a plain
// little-endian byte writer, which the R10-R12 composer uses.
//
// Every bit-coded number has an automatic form that picks the most compact
// 2-bit code and a "Code" form in which the test chooses the code, so that
// each code can be exercised. Invalid requests (a code above 3, a payload that
// does not fit its code) throw std::invalid_argument: a test that asks for an
// impossible encoding is itself wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace dwgw {

using Bytes = std::vector<std::uint8_t>;

class BitWriter {
public:
    // `count` bits of the same value: moves later fields to any bit position.
    BitWriter& pad(std::size_t count, bool bit = false);
    // Zero bits up to the start of byte `offset`; throws std::logic_error if
    // more has been written already (two parts of a layout overlap).
    BitWriter& padTo(std::size_t offset);

    BitWriter& B(bool bit);
    BitWriter& BB(unsigned code);    // 2 bits, 0 to 3

    BitWriter& RC(std::uint8_t value);
    BitWriter& RS(std::uint16_t value);
    BitWriter& RL(std::uint32_t value);
    BitWriter& RD(double value);
    BitWriter& raw(const Bytes& bytes);         // each byte as an RC
    BitWriter& raw(std::string_view bytes);
    BitWriter& bits(const BitWriter& other);    // every bit other wrote, in order

    // BS: 0 RS follows, 1 RC follows, 2 = 0, 3 = 256.
    BitWriter& BS(std::uint16_t value);
    BitWriter& BSCode(unsigned code, std::uint16_t payload = 0);
    // BL: 0 RL follows, 1 RC follows, 2 = 0, 3 = 0xFFFFFFFF.
    BitWriter& BL(std::uint32_t value);
    BitWriter& BLCode(unsigned code, std::uint32_t payload = 0);
    // BD: 0 RD follows, 1 = 1.0, 2 = 0.0, 3 = -1.0.
    BitWriter& BD(double value);
    BitWriter& BDCode(unsigned code, double payload = 0.0);

    // DD: 0 = 0.0, 1 = RL read as a signed integer, 2 = RL then RS (value
    // 0.0), 3 = RD. DD() picks code 0, 1 or 3 by the value.
    BitWriter& DD(double value);
    BitWriter& DDInt(std::int32_t value);
    BitWriter& DDPair(std::uint32_t skippedLong, std::uint16_t skippedShort);
    BitWriter& DDReal(double value);

    // Handle: one byte with the code in the high nibble and the number of
    // value bytes in the low nibble, then the value bytes, most significant
    // first. The numeric form uses as few bytes as the value needs.
    BitWriter& H(unsigned code, std::uint32_t value);
    BitWriter& H(unsigned code, const Bytes& valueBytes);

    // Text: BS length, then the bytes. The second form declares a length that
    // need not match the bytes that follow.
    BitWriter& T(std::string_view text);
    BitWriter& T(std::string_view text, std::uint16_t declaredLength);

    // Extrusion: bit 1 for (0,0,1), else bit 0 and three BD.
    BitWriter& BE(double x, double y, double z);
    // Thickness: bit 1 for the default 0.0, else bit 0 and a BD.
    BitWriter& BT(double thickness);

    std::size_t bitCount() const { return bits_; }
    std::size_t byteCount() const { return data_.size(); }
    // The bits written so far, the last byte padded with zero bits.
    const Bytes& bytes() const { return data_; }

private:
    void put(std::uint64_t value, unsigned count);

    Bytes data_;
    std::size_t bits_ = 0;
};

}  // namespace dwgw
