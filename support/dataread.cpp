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

int32_t DataRead::getTU(int32_t *units, uint16_t **buffer)
{
    *buffer = nullptr;
    uint16_t stored = 0;
    if (!getBS(&stored)) {
        return 0;
    }
    *units = stored;
    auto *text = static_cast<uint16_t *>(memory_->allocate((static_cast<uint32_t>(stored) + 1) * 2));
    if (text == nullptr) {
        return 0;
    }
    for (int32_t i = 0; i < stored; ++i) {
        if (!p_readRS(&text[i])) {
            memory_->free(text);
            return 0;
        }
    }
    *buffer = text;
    return 1;
}

// Five bytes carry the 32 bits of any size the format gives this way.
int32_t DataRead::getMC(uint32_t *value)
{
    constexpr int32_t kLongest = 5;
    *value = 0;
    for (int32_t i = 0; i < kLongest; ++i) {
        uint8_t byte = 0;
        if (!getRC(&byte)) {
            return 0;
        }
        *value |= static_cast<uint32_t>(byte & 0x7F) << (7 * i);
        if ((byte & 0x80) == 0) {
            return 1;
        }
    }
    return 0;
}

int32_t DataRead::getOT(uint16_t *value)
{
    constexpr uint16_t kSecondRange = 0x1F0;
    int32_t code = 0;
    uint8_t byte = 0;
    if (!p_read2(&code)) {
        return 0;
    }
    if (code >= 2) {
        return getRS(value);
    }
    if (!getRC(&byte)) {
        return 0;
    }
    *value = static_cast<uint16_t>(code == 1 ? kSecondRange + byte : byte);
    return 1;
}

int32_t DataRead::seekBit(int64_t offset)
{
    if (offset < 0 || offset / 8 > INT32_MAX || stream_->SeekPos(static_cast<int32_t>(offset / 8)) != 1) {
        return 0;
    }
    bitPosition_ = static_cast<int32_t>(offset % 8);
    return 1;
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

// Bits that run past the window are copied from the stream, which is then
// put back, so that taking them moves the stream as one step would.
int32_t DataRead::p_copyAhead(uint8_t *bytes, int32_t count)
{
    if (!p_fetch(bytes, count)) {
        return 0;
    }
    stream_->SeekPos(stream_->CurPosition() - count);
    return 1;
}

// Near the end of the window, and of the file, the head is read a field at
// a time and the stream put back.
int32_t DataRead::p_peekMSAndBSByReading(uint16_t *size, uint16_t *type)
{
    const int32_t start = stream_->CurPosition();
    const int32_t read = getMS(size) && getBS(type) ? 1 : 0;
    bitPosition_ = 0;
    return read && stream_->SeekPos(start) == 1 ? 1 : 0;
}

int32_t DataRead::peekMSMCAndOT(uint16_t *size, uint16_t *type)
{
    const int32_t start = stream_->CurPosition();
    uint32_t handleBits = 0;
    bitPosition_ = 0;
    const int32_t read = getMS(size) && getMC(&handleBits) && getOT(type) ? 1 : 0;
    bitPosition_ = 0;
    return read && stream_->SeekPos(start) == 1 ? 1 : 0;
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

// Bytes of a number that the window does not hold are taken one RC at a
// time, and bytes of a number that fails half-way stay consumed.
int32_t DataRead::p_readRawBytesOneByOne(uint8_t *bytes, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        if (!p_readRC(&bytes[i])) {
            return 0;
        }
    }
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
