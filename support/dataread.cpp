#include "support/dataread.h"

#include <cstring>

#include "support/byteswap.h"
#include "support/component.h"
#include "support/filestrmio.h"

[[gnu::used]] static const char kIdent[] = "@(#)dataread(R13, R14 and R2000): Version 2.05.00";

DataRead *newDataRead(MemoryService *memory, FileStream *stream)
{
    if (memory == nullptr || stream == nullptr) {
        return nullptr;
    }
    return newIn<DataRead>(memory, memory, stream);
}

void deleteDataRead(DataRead *reader)
{
    if (reader != nullptr) {
        deleteIn(reader->memory(), reader);
    }
}

DataRead::~DataRead() = default;

// Bytes that are all in the stream's window are passed over at once;
// otherwise one at a time, so that a skip that runs out of data leaves the
// bytes before the end consumed.
int32_t DataRead::skipBytes(int32_t count)
{
    const uint8_t *bytes = nullptr;
    if (count > 0 && stream_->view(&bytes) >= count + (bitPosition_ != 0 ? 1 : 0)) {
        stream_->advance(count);
        return 1;
    }
    uint8_t dropped = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (!getRC(&dropped)) {
            return 0;
        }
    }
    return 1;
}

int32_t DataRead::getB(int32_t *bit)
{
    return p_read1(bit);
}

int32_t DataRead::get2B(int32_t *first, int32_t *second)
{
    return getB(first) && getB(second) ? 1 : 0;
}

int32_t DataRead::get4B(int32_t *value)
{
    return p_read4(value);
}

int32_t DataRead::getBS(uint16_t *value)
{
    return p_readBitCoded(value, &DataRead::p_readRS, static_cast<uint16_t>(256));
}

int32_t DataRead::getBL(uint32_t *value)
{
    return p_readBitCoded(value, &DataRead::p_readRL, 0xFFFFFFFFu);
}

// BS and BL share their codes: 0 a raw value follows, 1 an unsigned byte
// follows, 2 the value 0, 3 a fixed value (256 for BS, all ones for BL).
template <class T>
int32_t DataRead::p_readBitCoded(T *value, int32_t (DataRead::*readRaw)(T *), T codeThreeValue)
{
    int32_t code = 0;
    if (!p_read2(&code)) {
        return 0;
    }
    uint8_t small = 0;
    switch (code) {
    case 0:
        return (this->*readRaw)(value);
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

int32_t DataRead::getBD(double *value)
{
    static const double kCodeValues[4] = {0.0, 1.0, 0.0, -1.0};
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

int32_t DataRead::get2BD(double *a, double *b)
{
    return getBD(a) && getBD(b) ? 1 : 0;
}

int32_t DataRead::get3BD(double *a, double *b, double *c)
{
    return getBD(a) && getBD(b) && getBD(c) ? 1 : 0;
}

int32_t DataRead::getRC(uint8_t *value)
{
    return p_readRC(value);
}

int32_t DataRead::getRS(uint16_t *value)
{
    return p_readRS(value);
}

int32_t DataRead::getRD(double *value)
{
    return p_readRD(value);
}

int32_t DataRead::getRL(uint32_t *value)
{
    return p_readRL(value);
}

int32_t DataRead::get2RD(double *a, double *b)
{
    return getRD(a) && getRD(b) ? 1 : 0;
}

int32_t DataRead::get3RD(double *a, double *b, double *c)
{
    return getRD(a) && getRD(b) && getRD(c) ? 1 : 0;
}

// The object size at the head of an object: a plain RS, no continuation.
int32_t DataRead::getMS(uint16_t *value)
{
    return p_readRS(value);
}

// A handle reference: code nibble, byte-count nibble, then the value bytes,
// which nothing here needs and which are stepped over.
int32_t DataRead::getH(int32_t *code, int32_t *count)
{
    uint8_t head = 0;
    if (!getRC(&head)) {
        return 0;
    }
    *code = head >> 4;
    *count = head & 0x0F;
    return skipBytes(*count);
}

// A text of any length its BS field can state comes back in a
// zero-terminated buffer of the memory service, one byte longer than the
// text; length 0 gives no buffer.
int32_t DataRead::getT(int32_t *length, char **buffer)
{
    *buffer = nullptr;
    uint16_t stored = 0;
    if (!getBS(&stored)) {
        return 0;
    }
    *length = stored;
    if (stored == 0) {
        return 1;
    }
    return p_readText(stored, buffer);
}

// Extrusion: a set flag bit stands for the default (0, 0, 1).
int32_t DataRead::getBE(double *x, double *y, double *z)
{
    int32_t isDefault = 0;
    if (!getB(&isDefault)) {
        return 0;
    }
    if (isDefault) {
        *x = 0.0;
        *y = 0.0;
        *z = 1.0;
        return 1;
    }
    return get3BD(x, y, z);
}

// Thickness: a set flag bit keeps the default the caller put in *value.
int32_t DataRead::getBT(double *value)
{
    int32_t isDefault = 0;
    if (!getB(&isDefault)) {
        return 0;
    }
    return isDefault ? 1 : getBD(value);
}

// A bit-double with a default code. Only code 3 carries a double; code 1
// carries a signed 32-bit integer, code 2 six bytes that are dropped.
int32_t DataRead::getDD(double *value)
{
    int32_t code = 0;
    if (!p_read2(&code)) {
        return 0;
    }
    uint32_t raw = 0;
    uint16_t dropped = 0;
    *value = 0.0;
    switch (code) {
    case 0:
        return 1;
    case 1:
        if (!p_readRL(&raw)) {
            return 0;
        }
        *value = static_cast<double>(static_cast<int32_t>(raw));
        return 1;
    case 2:
        return p_readRL(&raw) && p_readRS(&dropped) ? 1 : 0;
    default:
        return p_readRD(value);
    }
}

int32_t DataRead::get2DD(double *a, double *b)
{
    return getDD(a) && getDD(b) ? 1 : 0;
}

// Reads count bytes at the stream's position; all of them or the read
// fails. A short read is stepped back, so the stream still stands on the
// byte that holds the next unread bit.
int32_t DataRead::p_fetch(uint8_t *bytes, int32_t count)
{
    int32_t got = stream_->read(bytes, count);
    if (got == count) {
        return 1;
    }
    if (got > 0) {
        stream_->SeekPos(stream_->CurPosition() - got);
    }
    return 0;
}

// Takes count bits (1 to 8) from the bit position, first bit high, straight
// from the stream's window: they lie in one byte, or in two when they run
// past its end. The stream moves on to the byte that holds the next unread
// bit; bits that are not all there fail the read and move nothing.
int32_t DataRead::p_takeBits(int32_t count, int32_t *bits)
{
    const int32_t end = bitPosition_ + count;
    const int32_t needed = (end + 7) / 8;
    uint8_t copy[2] = {0, 0};
    const uint8_t *bytes = nullptr;
    if (stream_->view(&bytes) < needed) {
        if (!p_fetch(copy, needed)) {
            return 0;
        }
        stream_->SeekPos(stream_->CurPosition() - needed);
        bytes = copy;
    }
    const uint32_t word = static_cast<uint32_t>(bytes[0]) << 8 | (needed > 1 ? bytes[1] : 0u);
    *bits = static_cast<int32_t>((word >> (16 - end)) & ((1u << count) - 1));
    bitPosition_ = end % 8;
    stream_->advance(end / 8);
    return 1;
}

int32_t DataRead::p_read1(int32_t *bit)
{
    return p_takeBits(1, bit);
}

// A 2-bit code, first bit high; at bit 7 it straddles two bytes.
int32_t DataRead::p_read2(int32_t *code)
{
    return p_takeBits(2, code);
}

int32_t DataRead::p_read4(int32_t *value)
{
    int32_t high = 0;
    int32_t low = 0;
    if (!p_read2(&high) || !p_read2(&low)) {
        return 0;
    }
    *value = high * 4 + low;
    return 1;
}

// Eight bits from the bit position: off a byte boundary they span two bytes
// and the bit position stays where it was.
int32_t DataRead::p_readRC(uint8_t *value)
{
    int32_t bits = 0;
    if (!p_takeBits(8, &bits)) {
        return 0;
    }
    *value = static_cast<uint8_t>(bits);
    return 1;
}

// Raw numbers are little-endian and may start at any bit: their bytes are
// taken as RCs, least significant first, laid out in memory as the file has
// them and then brought into the host's order. When the window holds them
// all they are assembled in one pass; otherwise one RC at a time, and bytes
// of a number that fails half-way stay consumed.
int32_t DataRead::p_readRawBytes(uint8_t *bytes, int32_t count)
{
    const uint8_t *in = nullptr;
    const int32_t shift = bitPosition_;
    if (stream_->view(&in) >= count + (shift != 0 ? 1 : 0)) {
        for (int32_t i = 0; i < count; ++i) {
            bytes[i] = shift == 0 ? in[i] : static_cast<uint8_t>(in[i] << shift | in[i + 1] >> (8 - shift));
        }
        stream_->advance(count);
        return 1;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (!p_readRC(&bytes[i])) {
            return 0;
        }
    }
    return 1;
}

int32_t DataRead::p_readRS(uint16_t *value)
{
    *value = 0;
    uint8_t bytes[2] = {0, 0};
    if (!p_readRawBytes(bytes, 2)) {
        return 0;
    }
    *value = littleEndian16(bytes);
    return 1;
}

int32_t DataRead::p_readRL(uint32_t *value)
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
int32_t DataRead::p_readRD(double *value)
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

// On a byte boundary the bytes come in one stream read; otherwise each is
// assembled from two.
int32_t DataRead::p_readBytes(uint8_t *bytes, int32_t count)
{
    return bitPosition_ == 0 ? p_fetch(bytes, count) : p_readRawBytes(bytes, count);
}

// The buffer is one byte longer than the text and comes zero-filled, so the
// text is terminated. A text that cannot be read in full leaves no buffer.
int32_t DataRead::p_readText(int32_t length, char **buffer)
{
    char *text = static_cast<char *>(memory_->allocate(static_cast<uint32_t>(length) + 1));
    if (text == nullptr) {
        return 0;
    }
    if (!p_readBytes(reinterpret_cast<uint8_t *>(text), length)) {
        memory_->free(text);
        return 0;
    }
    *buffer = text;
    return 1;
}
