// Reads the bit stream of an R13 to R2018 drawing: single bits, 2-bit codes,
// the bit-coded numbers (BS, BL, BD, DD), raw little-endian numbers that
// may start at any bit (RC, RS, RL, RD), handle references and counted
// texts. The stream's current position is always the byte that holds the
// next unread bit; the reader adds only the index of that bit inside the
// byte (0 = most significant). Running out of data is a result (0), never
// undefined behaviour. The R12 reader uses it at bit position 0 as a plain
// little-endian byte reader.
#ifndef TQ_SUPPORT_DATAREAD_H
#define TQ_SUPPORT_DATAREAD_H

#include <cstdint>
#include <cstring>

#include "support/byteswap.h"
#include "support/filestrmio.h"

class MemoryService;

class DataRead {
public:
    DataRead(MemoryService *memory, FileStream *stream) : memory_(memory), stream_(stream) {}
    ~DataRead();

    void resetBits() { bitPosition_ = 0; }
    int32_t skipBytes(int32_t count);
    int32_t getB(int32_t *bit) { return p_read1(bit); }
    int32_t get2B(int32_t *first, int32_t *second) { return getB(first) && getB(second) ? 1 : 0; }
    int32_t get4B(int32_t *value) { return p_read4(value); }
    int32_t getBS(uint16_t *value) { return p_readBitCoded<uint16_t, &DataRead::p_readRS>(value, 256); }
    int32_t getBL(uint32_t *value) { return p_readBitCoded<uint32_t, &DataRead::p_readRL>(value, 0xFFFFFFFFu); }
    int32_t getBD(double *value)
    {
        static constexpr double kCodeValues[4] = {0.0, 1.0, 0.0, -1.0};
        int32_t code = 0;
        if (!p_read2(&code)) {
            return 0;
        }
        if (code == 0) {
            return p_readRD(value);
        }
        *value = kCodeValues[code];
        return 1;
    }
    int32_t get2BD(double *a, double *b) { return getBD(a) && getBD(b) ? 1 : 0; }
    int32_t get3BD(double *a, double *b, double *c) { return getBD(a) && getBD(b) && getBD(c) ? 1 : 0; }
    int32_t getRC(uint8_t *value) { return p_readRC(value); }
    int32_t getRS(uint16_t *value) { return p_readRS(value); }
    int32_t getRD(double *value) { return p_readRD(value); }
    int32_t getRL(uint32_t *value) { return p_readRL(value); }
    int32_t get2RD(double *a, double *b) { return getRD(a) && getRD(b) ? 1 : 0; }
    int32_t get3RD(double *a, double *b, double *c) { return getRD(a) && getRD(b) && getRD(c) ? 1 : 0; }
    // The object size at the head of an object: a plain RS, no continuation.
    int32_t getMS(uint16_t *value) { return p_readRS(value); }
    // The head of the object at the stream's position, its size (MS) and
    // type (BS), peeked at: the stream stays where it is and the bit
    // position is 0. Read in place when the window holds the longest head.
    int32_t peekMSAndBS(uint16_t *size, uint16_t *type)
    {
        const uint8_t *head = nullptr;
        bitPosition_ = 0;
        if (stream_->view(&head) < kLongestMSAndBS) {
            return p_peekMSAndBSByReading(size, type);
        }
        *size = littleEndian16(head);
        *type = p_bsAtByte(head + 2);
        return 1;
    }
    // The same for R2010 and later, whose head holds the size of the
    // object's handle stream (MC) between the size and a type coded as OT.
    int32_t peekMSMCAndOT(uint16_t *size, uint16_t *type);
    int32_t getH(int32_t *code, int32_t *count);
    // The buffer comes from the memory service; the caller releases it.
    int32_t getT(int32_t *length, char **buffer);
    // A text of R2007 and later: a BS count of UTF-16 units, then the
    // units, little-endian. The buffer holds the units in the host's order
    // and a zero unit after them; the caller releases it.
    int32_t getTU(int32_t *units, uint16_t **buffer);
    // An unsigned modular char: seven bits a byte, least significant first,
    // while the high bit says another byte follows.
    int32_t getMC(uint32_t *value);
    // The object type of R2010 and later: a 2-bit code, then a byte (code
    // 0), a byte above 0x1F0 (code 1) or a raw short (codes 2 and 3).
    int32_t getOT(uint16_t *value);
    // The bit the next read takes, counted from the stream's start; and a
    // move there.
    int64_t bitOffset() const { return static_cast<int64_t>(stream_->CurPosition()) * 8 + bitPosition_; }
    int32_t seekBit(int64_t offset);
    int32_t getBE(double *x, double *y, double *z);
    int32_t getBT(double *value);
    int32_t getDD(double *value);
    int32_t get2DD(double *a, double *b);

    int32_t bitPosition() const { return bitPosition_; }
    FileStream *stream() const { return stream_; }
    MemoryService *memory() const { return memory_; }

private:
    // An MS of two bytes and a BS of at most 18 bits.
    static constexpr int32_t kLongestMSAndBS = 5;

    int32_t p_fetch(uint8_t *bytes, int32_t count);
    int32_t p_peekMSAndBSByReading(uint16_t *size, uint16_t *type);
    // A BS that starts on a byte boundary, from the three bytes there: the
    // 2-bit code, then a raw RS or RC when the code asks for one.
    static uint16_t p_bsAtByte(const uint8_t *bytes)
    {
        const uint32_t bits = static_cast<uint32_t>(bytes[0]) << 16 | static_cast<uint32_t>(bytes[1]) << 8 | bytes[2];
        switch (bits >> 22) {
        case 0: {
            const uint32_t raw = bits >> 6 & 0xFFFF;
            return static_cast<uint16_t>((raw >> 8) | (raw & 0xFF) << 8);
        }
        case 1:
            return static_cast<uint16_t>(bits >> 14 & 0xFF);
        case 2:
            return 0;
        default:
            return 256;
        }
    }
    // Takes count bits (1 to 8) from the bit position, first bit high,
    // straight from the stream's window: they lie in one byte, or in two
    // when they run past its end. The stream moves on to the byte that holds
    // the next unread bit; bits that are not all there fail the read and
    // move nothing.
    int32_t p_takeBits(int32_t count, int32_t *bits)
    {
        const uint32_t end = static_cast<uint32_t>(bitPosition_ + count);
        const int32_t needed = static_cast<int32_t>((end + 7) >> 3);
        uint8_t copy[2] = {0, 0};
        const uint8_t *bytes = nullptr;
        if (stream_->view(&bytes) < needed) {
            if (!p_copyAhead(copy, needed)) {
                return 0;
            }
            bytes = copy;
        }
        const uint32_t word = static_cast<uint32_t>(bytes[0]) << 8 | (end > 8 ? bytes[1] : 0u);
        *bits = static_cast<int32_t>((word >> (16 - end)) & ((1u << count) - 1));
        bitPosition_ = static_cast<int32_t>(end & 7);
        stream_->advance(static_cast<int32_t>(end >> 3));
        return 1;
    }
    int32_t p_copyAhead(uint8_t *bytes, int32_t count);
    int32_t p_read1(int32_t *bit) { return p_takeBits(1, bit); }
    // A 2-bit code, first bit high; at bit 7 it straddles two bytes.
    int32_t p_read2(int32_t *code) { return p_takeBits(2, code); }
    int32_t p_read4(int32_t *value);
    // Eight bits from the bit position: off a byte boundary they span two
    // bytes and the bit position stays where it was.
    int32_t p_readRC(uint8_t *value)
    {
        int32_t bits = 0;
        if (!p_takeBits(8, &bits)) {
            return 0;
        }
        *value = static_cast<uint8_t>(bits);
        return 1;
    }
    // Raw numbers are little-endian and may start at any bit: their bytes
    // are taken as RCs, least significant first, laid out in memory as the
    // file has them and then brought into the host's order. When the window
    // holds them all they are assembled in one pass.
    int32_t p_readRawBytes(uint8_t *bytes, int32_t count)
    {
        const uint8_t *in = nullptr;
        const int32_t shift = bitPosition_;
        if (stream_->view(&in) < count + (shift != 0 ? 1 : 0)) {
            return p_readRawBytesOneByOne(bytes, count);
        }
        if (shift == 0) {
            memcpy(bytes, in, static_cast<size_t>(count));
        } else {
            for (int32_t i = 0; i < count; ++i) {
                bytes[i] = static_cast<uint8_t>(in[i] << shift | in[i + 1] >> (8 - shift));
            }
        }
        stream_->advance(count);
        return 1;
    }
    int32_t p_readRawBytesOneByOne(uint8_t *bytes, int32_t count);
    int32_t p_readRS(uint16_t *value)
    {
        *value = 0;
        uint8_t bytes[2] = {0, 0};
        if (!p_readRawBytes(bytes, 2)) {
            return 0;
        }
        *value = littleEndian16(bytes);
        return 1;
    }
    int32_t p_readRL(uint32_t *value)
    {
        *value = 0;
        uint8_t bytes[4] = {0, 0, 0, 0};
        if (!p_readRawBytes(bytes, 4)) {
            return 0;
        }
        *value = littleEndian32(bytes);
        return 1;
    }
    // An IEEE double, little-endian in the file: the low word comes first.
    int32_t p_readRD(double *value)
    {
        *value = 0.0;
        uint8_t bytes[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        if (!p_readRawBytes(bytes, 8)) {
            return 0;
        }
        uint64_t bits = (static_cast<uint64_t>(littleEndian32(bytes + 4)) << 32) | littleEndian32(bytes);
        memcpy(value, &bits, sizeof bits);
        return 1;
    }
    // BS and BL share their codes: 0 a raw value follows, 1 an unsigned byte
    // follows, 2 the value 0, 3 a fixed value (256 for BS, all ones for BL).
    template <class T, int32_t (DataRead::*ReadRaw)(T *)>
    int32_t p_readBitCoded(T *value, T codeThreeValue)
    {
        int32_t code = 0;
        if (!p_read2(&code)) {
            return 0;
        }
        uint8_t small = 0;
        switch (code) {
        case 0:
            return (this->*ReadRaw)(value);
        case 1:
            if (!p_readRC(&small)) {
                return 0;
            }
            *value = small;
            return 1;
        case 2:
            *value = 0;
            return 1;
        default:
            *value = codeThreeValue;
            return 1;
        }
    }
    int32_t p_readBytes(uint8_t *bytes, int32_t count);
    int32_t p_readText(int32_t length, char **buffer);

    MemoryService *memory_;
    FileStream *stream_;
    int32_t bitPosition_ = 0;
};

// Null when an argument is missing or a block cannot be had.
DataRead *newDataRead(MemoryService *memory, FileStream *stream);
void deleteDataRead(DataRead *reader);

#endif
