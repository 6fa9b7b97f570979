#include "bitwriter.h"

#include <bit>
#include <cmath>
#include <stdexcept>
#include <string>

namespace dwgw {

namespace {

void requireCode(unsigned code) {
    if (code > 3) throw std::invalid_argument("2-bit code above 3: " + std::to_string(code));
}

// +0.0 only: -0.0 has no short code and must go out in full.
bool isPositiveZero(double value) { return value == 0.0 && !std::signbit(value); }

}  // namespace

void BitWriter::put(std::uint64_t value, unsigned count) {
    for (unsigned i = count; i-- > 0;) {
        if (bits_ % 8 == 0) data_.push_back(0);
        if ((value >> i) & 1u) data_.back() |= static_cast<std::uint8_t>(0x80u >> (bits_ % 8));
        ++bits_;
    }
}

BitWriter& BitWriter::pad(std::size_t count, bool bit) {
    for (std::size_t i = 0; i < count; ++i) put(bit ? 1 : 0, 1);
    return *this;
}

BitWriter& BitWriter::padTo(std::size_t offset) {
    if (bits_ > offset * 8) throw std::logic_error("already past byte offset " + std::to_string(offset));
    return pad(offset * 8 - bits_);
}

BitWriter& BitWriter::B(bool bit) {
    put(bit ? 1 : 0, 1);
    return *this;
}

BitWriter& BitWriter::BB(unsigned code) {
    requireCode(code);
    put(code, 2);
    return *this;
}

BitWriter& BitWriter::RC(std::uint8_t value) {
    put(value, 8);
    return *this;
}

BitWriter& BitWriter::RS(std::uint16_t value) {
    return RC(static_cast<std::uint8_t>(value)).RC(static_cast<std::uint8_t>(value >> 8));
}

BitWriter& BitWriter::RL(std::uint32_t value) {
    return RS(static_cast<std::uint16_t>(value)).RS(static_cast<std::uint16_t>(value >> 16));
}

BitWriter& BitWriter::RD(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    return RL(static_cast<std::uint32_t>(bits)).RL(static_cast<std::uint32_t>(bits >> 32));
}

BitWriter& BitWriter::raw(const Bytes& bytes) {
    for (std::uint8_t byte : bytes) RC(byte);
    return *this;
}

BitWriter& BitWriter::bits(const BitWriter& other) {
    for (std::size_t i = 0; i < other.bitCount(); ++i) put(other.data_[i / 8] >> (7 - i % 8) & 1, 1);
    return *this;
}

BitWriter& BitWriter::raw(std::string_view bytes) {
    for (char c : bytes) RC(static_cast<std::uint8_t>(c));
    return *this;
}

BitWriter& BitWriter::BS(std::uint16_t value) {
    if (value == 0) return BSCode(2);
    if (value == 256) return BSCode(3);
    return BSCode(value < 256 ? 1 : 0, value);
}

BitWriter& BitWriter::BSCode(unsigned code, std::uint16_t payload) {
    BB(code);
    if (code == 0) RS(payload);
    if (code == 1) {
        if (payload > 0xFF) throw std::invalid_argument("BS code 1 carries one byte");
        RC(static_cast<std::uint8_t>(payload));
    }
    return *this;
}

BitWriter& BitWriter::BL(std::uint32_t value) {
    if (value == 0) return BLCode(2);
    if (value == 0xFFFFFFFFu) return BLCode(3);
    return BLCode(value < 256 ? 1 : 0, value);
}

BitWriter& BitWriter::BLCode(unsigned code, std::uint32_t payload) {
    BB(code);
    if (code == 0) RL(payload);
    if (code == 1) {
        if (payload > 0xFF) throw std::invalid_argument("BL code 1 carries one byte");
        RC(static_cast<std::uint8_t>(payload));
    }
    return *this;
}

BitWriter& BitWriter::BD(double value) {
    if (value == 1.0) return BDCode(1);
    if (isPositiveZero(value)) return BDCode(2);
    if (value == -1.0) return BDCode(3);
    return BDCode(0, value);
}

BitWriter& BitWriter::BDCode(unsigned code, double payload) {
    BB(code);
    if (code == 0) RD(payload);
    return *this;
}

BitWriter& BitWriter::DD(double value) {
    if (isPositiveZero(value)) return BB(0);
    // -0.0 is integral too, but code 1 would bring it back as +0.0.
    const bool integral = std::trunc(value) == value && value >= -2147483648.0 && value <= 2147483647.0;
    if (integral && value != 0.0) return DDInt(static_cast<std::int32_t>(value));
    return DDReal(value);
}

BitWriter& BitWriter::DDInt(std::int32_t value) {
    return BB(1).RL(static_cast<std::uint32_t>(value));
}

BitWriter& BitWriter::DDPair(std::uint32_t skippedLong, std::uint16_t skippedShort) {
    return BB(2).RL(skippedLong).RS(skippedShort);
}

BitWriter& BitWriter::DDReal(double value) {
    return BB(3).RD(value);
}

BitWriter& BitWriter::H(unsigned code, std::uint32_t value) {
    Bytes valueBytes;
    for (std::uint32_t rest = value; rest != 0; rest >>= 8) {
        valueBytes.insert(valueBytes.begin(), static_cast<std::uint8_t>(rest));
    }
    return H(code, valueBytes);
}

BitWriter& BitWriter::H(unsigned code, const Bytes& valueBytes) {
    if (code > 15 || valueBytes.size() > 15) throw std::invalid_argument("handle code or byte count above 15");
    return RC(static_cast<std::uint8_t>(code << 4 | valueBytes.size())).raw(valueBytes);
}

BitWriter& BitWriter::T(std::string_view text) {
    if (text.size() > 0xFFFF) throw std::invalid_argument("text longer than a BS length can declare");
    return T(text, static_cast<std::uint16_t>(text.size()));
}

BitWriter& BitWriter::T(std::string_view text, std::uint16_t declaredLength) {
    return BS(declaredLength).raw(text);
}

BitWriter& BitWriter::BE(double x, double y, double z) {
    if (x == 0.0 && y == 0.0 && z == 1.0) return B(true);
    return B(false).BD(x).BD(y).BD(z);
}

BitWriter& BitWriter::BT(double thickness) {
    if (isPositiveZero(thickness)) return B(true);
    return B(false).BD(thickness);
}

}  // namespace dwgw
