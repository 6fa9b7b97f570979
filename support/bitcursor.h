// Reads a drawing's records from the bytes of one span in memory: single
// bits, 2-bit codes, bit-coded shorts (BS), raw little-endian numbers that
// may start at any bit (RC, RS, RL), modular chars, object types and
// counted texts. Fields whose values no reader needs (bit-coded longs and
// doubles, raw doubles, handle references) are skipped by the bits their
// codes say they take, without assembling them.
// Bits are taken from each byte most significant first. The R13 to R2018
// objects are bit streams; the R10 to R12 records and the file headers,
// byte-aligned, are read with the same cursor at byte positions.
//
// The cursor is a bit position and nothing else: each read loads the eight
// bytes around it and shifts out the bits it wants, and a skip only adds to
// it. A decoder that reads a stretch of small fields in a row (the common
// data of an entity, the fields before a text, an object's head) opens a Run
// on the cursor, which holds one load in a register and shifts each field
// out of it, so that the fields' chain of reads waits on one load instead of
// one each. A span may say that more bytes than its own can be loaded after
// it (the rest of a window), so that loads near its end need not go byte by
// byte. Reading past the span's end is not an error at each step: the value
// read is garbage (bits past what may be loaded count as zero) and the
// cursor tells that it ran out, so a decoder reads its fields straight
// through and asks, once where the fields' message is the same, whether they
// were all there.
#ifndef TQ_SUPPORT_BITCURSOR_H
#define TQ_SUPPORT_BITCURSOR_H

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

// A bit-coded short (BS), decoded from a word that holds its bits from the
// top down: its value and the bits it takes. BS and BL share their codes:
// 0 a raw value follows, 1 an unsigned byte follows, 2 the value 0, 3 a
// fixed value (256 for BS, all ones for BL).
struct CodedShort {
    uint16_t value;
    uint32_t bits;
};
// The raw short after the 2-bit code at the top of word: 16 bits, the low
// byte first.
inline uint16_t rawShortAfterCode(uint64_t word)
{
    const uint32_t raw = static_cast<uint32_t>(word >> 46) & 0xFFFFu;
    return static_cast<uint16_t>(raw >> 8 | (raw & 0xFF) << 8);
}
inline CodedShort decodeBS(uint64_t word)
{
    switch (word >> 62) {
    case 0:
        return CodedShort{rawShortAfterCode(word), 18};
    case 1:
        return CodedShort{static_cast<uint16_t>(word >> 54 & 0xFFu), 10};
    case 2:
        return CodedShort{0, 2};
    default:
        return CodedShort{256, 2};
    }
}

// An object type of R2010 and later (OT), decoded the same way: a 2-bit
// code, then a byte (code 0), a byte above 0x1F0 (code 1) or a raw short
// (codes 2 and 3).
inline CodedShort decodeOT(uint64_t word)
{
    constexpr uint16_t kSecondRange = 0x1F0;
    const uint32_t code = static_cast<uint32_t>(word >> 62);
    if (code >= 2) {
        return CodedShort{rawShortAfterCode(word), 18};
    }
    const auto byte = static_cast<uint16_t>(word >> 54 & 0xFFu);
    return CodedShort{static_cast<uint16_t>(code == 1 ? kSecondRange + byte : byte), 10};
}

// The fields of the format, read from the bits of a Source: the cursor, or
// a run on it. Source::p_peek(count) answers the next bits with the first
// in the top bit, count of them (at most 57) read from the span and the
// rest up to at least 57 either read or zero; Source::p_advance(count)
// moves past count bits.
template <class Source>
class BitFields {
public:
    // Moves on over count bits that hold nothing a decoder needs. A move
    // forward cannot hide running out, so nothing is noted.
    void skipBits(uint64_t count) { p_source().p_advance(count); }
    void skipBytes(uint32_t count) { skipBits(uint64_t{count} * 8); }

    uint32_t B() { return p_take(1); }
    uint32_t BB() { return p_take(2); }
    uint8_t RC() { return static_cast<uint8_t>(p_take(8)); }
    uint16_t RS() { return p_byteSwap16(p_take(16)); }
    uint32_t RL() { return p_byteSwap32(p_take(32)); }
    uint16_t BS()
    {
        const CodedShort field = decodeBS(p_source().p_peek(18));
        skipBits(field.bits);
        return field.value;
    }
    void skipBS() { p_skipCoded<16, 8, 0, 0>(); }
    // A bit-coded long (BL): code 0 a raw long follows, 1 an unsigned
    // byte; 2 stands for 0 (3 is not used, and reads as 0 too).
    uint32_t BL()
    {
        switch (BB()) {
        case 0:
            return RL();
        case 1:
            return RC();
        default:
            return 0;
        }
    }
    void skipBL() { p_skipCoded<32, 8, 0, 0>(); }
    // The doubles a text's fields hold before its string, passed over. A
    // bit-double's code 0 carries a raw double; the others stand for 1.0,
    // 0.0 and -1.0.
    void skipRD() { skipBits(64); }
    void skipBD() { p_skipCoded<64, 0, 0, 0>(); }
    // A bit-double with a default code: code 0 stands for the default, code
    // 1 carries 32 bits, code 2 six bytes and code 3 a whole double.
    void skipDD() { p_skipCoded<0, 32, 48, 64>(); }
    // count bit-doubles in a row. Points and vectors mostly keep values
    // that a code stands for, so every code up to the next raw double is
    // passed over at once: a code 0 is marked by the top bit of its pair
    // in a mask, and the leading zeros of the mask count the codes before
    // it. The zeros a shift brings in at the bottom of a load can only end
    // a run early.
    void skipBDs(uint32_t count)
    {
        constexpr uint64_t kPairTops = 0xAAAA'AAAA'AAAA'AAAAu;
        while (count > 0) {
            const uint64_t word = p_source().p_peek(2);
            if (word >> 62 == 0) {
                skipBits(2 + 64);
                --count;
                continue;
            }
            const uint64_t rawCodes = ~(word | word << 1) & kPairTops;
            const uint32_t others = std::min(static_cast<uint32_t>(std::countl_zero(rawCodes)) / 2, count);
            skipBits(2 * others);
            count -= others;
        }
    }
    // Extrusion: a set flag bit stands for the default (0, 0, 1), else
    // three bit-doubles follow.
    void skipBE()
    {
        if (B() == 0) {
            skipBDs(3);
        }
    }
    // Thickness: a set flag bit stands for the default, 0.
    void skipBT()
    {
        if (B() == 0) {
            skipBD();
        }
    }
    // A handle reference: code nibble, byte-count nibble, then the value
    // bytes, most significant first. The value is given as it is stored,
    // whatever the code says of it.
    void skipH() { skipBytes(RC() & 0x0Fu); }
    uint64_t H()
    {
        const uint32_t count = RC() & 0x0Fu;
        uint64_t value = 0;
        for (uint32_t i = 0; i < count; ++i) {
            value = value << 8 | RC();
        }
        return value;
    }
    // An unsigned modular char: seven bits a byte, least significant first,
    // while the high bit says another byte follows. Five bytes carry the 32
    // bits of any size the format gives this way; a sixth is running out.
    uint32_t MC()
    {
        constexpr int32_t kLongest = 5;
        uint32_t value = 0;
        for (int32_t i = 0; i < kLongest; ++i) {
            const uint8_t byte = RC();
            value |= static_cast<uint32_t>(byte & 0x7F) << (7 * i);
            if ((byte & 0x80) == 0) {
                return value;
            }
        }
        p_source().p_noteOverrun();
        return value;
    }
    uint16_t OT()
    {
        const CodedShort field = decodeOT(p_source().p_peek(18));
        skipBits(field.bits);
        return field.value;
    }

protected:
    static uint16_t p_byteSwap16(uint32_t v) { return static_cast<uint16_t>(v >> 8 | (v & 0xFF) << 8); }

private:
    Source &p_source() { return static_cast<Source &>(*this); }
    static uint32_t p_byteSwap32(uint32_t v)
    {
        return v >> 24 | (v >> 8 & 0xFF00u) | (v << 8 & 0xFF0000u) | v << 24;
    }
    // count bits (1 to 32), the first the most significant.
    uint32_t p_take(uint32_t count)
    {
        const uint32_t value = static_cast<uint32_t>(p_source().p_peek(count) >> (64 - count));
        skipBits(count);
        return value;
    }
    // A 2-bit code, then the bits that code says its value takes: the four
    // counts packed a byte each, so that no table is read.
    template <uint8_t Code0, uint8_t Code1, uint8_t Code2, uint8_t Code3>
    void p_skipCoded()
    {
        constexpr uint32_t kPacked = Code0 | Code1 << 8 | Code2 << 16 | uint32_t{Code3} << 24;
        skipBits(kPacked >> (BB() * 8) & 0xFFu);
    }
};

class BitCursor : public BitFields<BitCursor> {
public:
    BitCursor(const uint8_t *bytes, int32_t length) : BitCursor(bytes, length, length) {}
    // readable, at least length, counts the bytes from bytes on that may be
    // loaded.
    BitCursor(const uint8_t *bytes, int32_t length, int32_t readable)
        : bytes_(bytes), readable_(static_cast<uint64_t>(readable)), endBit_(static_cast<uint64_t>(length) * 8)
    {
    }

    // Whether any read so far wanted bits past the span's end, or found a
    // number longer than the format allows.
    bool overran() const { return overran_ || bit_ > endBit_; }
    // The bytes of the span.
    uint64_t spanLength() const { return endBit_ / 8; }
    // The bit the next read takes, counted from the span's start.
    uint64_t bitOffset() const { return bit_; }
    void seekBit(uint64_t bit)
    {
        overran_ = overran();
        bit_ = bit;
    }
    // How many reads reached within eight bytes of the span's end or past
    // it. A decoder that goes on reading once its record has run out makes
    // only such reads, so their number measures the work wasted on counts a
    // record cannot hold.
    uint64_t loadsNearEnd() const { return loadsNearEnd_; }
    // Copies count bytes from the cursor on into out.
    void bytes(uint8_t *out, uint32_t count);
    // count UTF-16 units, little-endian in the span, into out in the host's
    // order.
    void units(uint16_t *out, uint32_t count);

    class Run;

private:
    friend class BitFields<BitCursor>;

    void p_advance(uint64_t count) { bit_ += count; }
    void p_noteOverrun() { overran_ = true; }
    // Eight bytes loaded as they lie in memory, as a number whose first
    // byte is the most significant (and back).
    static uint64_t p_fromBigEndian(uint64_t v)
    {
        if constexpr (std::endian::native == std::endian::little) {
            return __builtin_bswap64(v);
        }
        return v;
    }
    // At least the next 57 bits, the first in the top bit.
    uint64_t p_peek(uint32_t = 0) const { return p_load(bit_ >> 3) << (bit_ & 7); }
    uint64_t p_load(uint64_t byte) const
    {
        if (byte + 8 > readable_) {
            ++loadsNearEnd_;
            return p_loadNearEnd(bytes_, readable_, byte);
        }
        uint64_t fresh = 0;
        memcpy(&fresh, bytes_ + byte, sizeof fresh);
        return p_fromBigEndian(fresh);
    }
    // The eight bytes from next on, the first the most significant, where
    // those past readable count as zero. Out of line and apart from the
    // cursor, so that a cursor a function makes for itself stays in
    // registers.
    static uint64_t p_loadNearEnd(const uint8_t *bytes, uint64_t readable, uint64_t next);

    const uint8_t *bytes_;
    uint64_t readable_;
    uint64_t endBit_;
    uint64_t bit_ = 0;  // the next bit to read
    bool overran_ = false;
    mutable uint64_t loadsNearEnd_ = 0;
};

// Fields read in a row from one load of the cursor's bits, held in a
// register: each field is shifted out of it, and only a field whose bits
// may lie past the 57 a load holds loads again. The cursor moves on when
// the run ends; it is not read while the run is open.
class BitCursor::Run : public BitFields<Run> {
public:
    explicit Run(BitCursor &in) : in_(in), word_(in.p_peek()) {}
    ~Run() { in_.p_advance(used_); }
    Run(const Run &) = delete;
    Run &operator=(const Run &) = delete;

    uint64_t bitOffset() const { return in_.bit_ + used_; }
    bool overran() const { return in_.overran_ || bitOffset() > in_.endBit_; }

private:
    friend class BitFields<Run>;
    static constexpr uint64_t kHeld = 57;

    void p_advance(uint64_t count) { used_ += count; }
    void p_noteOverrun() { in_.p_noteOverrun(); }
    uint64_t p_peek(uint32_t count)
    {
        if (used_ + count > kHeld) {
            in_.p_advance(used_);
            used_ = 0;
            word_ = in_.p_peek();
        }
        return word_ << used_;
    }

    BitCursor &in_;
    uint64_t word_;
    uint64_t used_ = 0;
};

#endif
