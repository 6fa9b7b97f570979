// Reads the values of an R10, R11 or R12 drawing. Everything in these files
// starts on a byte boundary and every integer is little-endian, so values
// are read as plain bytes from the stream's window. On top of them come the composite reads of the header and of entity
// records: an entity is a four-byte head (type, flags, length), a common
// part whose fields depend on the flags, and a type-specific part.
#ifndef TQ_R12_R12DATAREAD_H
#define TQ_R12_R12DATAREAD_H

#include <cstdint>
#include <cstring>

#include "support/byteswap.h"
#include "support/filestrmio.h"

struct DWGglobal;
class MemoryService;

class R12DataRead {
public:
    R12DataRead(DWGglobal *session, MemoryService *memory, FileStream *stream)
        : session_(session), memory_(memory), stream_(stream)
    {
    }

    // A value's bytes that run past the end of the file fail the read;
    // those before the end stay read.
    int32_t getRC(uint8_t *value) { return p_readBytes(value, 1); }
    int32_t getRS(uint16_t *value)
    {
        uint8_t bytes[2] = {0, 0};
        const int32_t read = p_readBytes(bytes, 2);
        *value = littleEndian16(bytes);
        return read;
    }
    int32_t getRL(uint32_t *value)
    {
        uint8_t bytes[4] = {0, 0, 0, 0};
        const int32_t read = p_readBytes(bytes, 4);
        *value = littleEndian32(bytes);
        return read;
    }
    int32_t skipBytes(int32_t count);

    // The head of an entity record. The length counts the whole record from
    // its type byte. Its four bytes (type, flags, then the little-endian
    // length) are read as one little-endian word.
    int32_t getEntityHead(uint8_t *type, uint8_t *flags, uint16_t *length)
    {
        uint32_t head = 0;
        if (!getRL(&head)) {
            return 0;
        }
        *type = static_cast<uint8_t>(head);
        *flags = static_cast<uint8_t>(head >> 8);
        *length = static_cast<uint16_t>(head >> 16);
        return 1;
    }
    // The common part that follows the head; which fields are present is
    // decided by the head's type and flags.
    int32_t getEntityCommon(uint16_t *firstWord, uint16_t *optionWord, uint16_t *colour, uint16_t *extraFlags,
                            uint8_t type, uint16_t flags);
    // Passes over a whole entity record by the length in its head.
    int32_t skipEntity()
    {
        const int32_t start = stream_->CurPosition();
        uint8_t type = 0;
        uint8_t flags = 0;
        uint16_t length = 0;
        if (start < 0 || !getEntityHead(&type, &flags, &length)) {
            return 0;
        }
        return stream_->SeekPos(start + length) == 1 ? 1 : 0;
    }
    // Passes over a byte string counted by one leading byte.
    int32_t skipCountedBytes();
    // Passes over count bytes, 16 at a time; nothing for count <= 0.
    int32_t skipSpan(int32_t count);
    // Passes over a 2D point, or a 3D point when hasThird is nonzero.
    int32_t skipPoint(int32_t hasThird);
    // A date: whole part, then the fraction in units of 1e-8.
    int32_t getDate(double *date);

    MemoryService *memory() const { return memory_; }

private:
    // Bytes the window holds are taken at once; otherwise one at a time,
    // so that a read that runs out leaves the bytes before the end read.
    int32_t p_readBytes(uint8_t *bytes, int32_t count)
    {
        const uint8_t *in = nullptr;
        if (stream_->view(&in) >= count) {
            memcpy(bytes, in, static_cast<size_t>(count));
            stream_->advance(count);
            return 1;
        }
        return p_readBytesOneByOne(bytes, count);
    }
    int32_t p_readBytesOneByOne(uint8_t *bytes, int32_t count);
    int32_t p_getByte(uint16_t *value);
    int32_t p_linetypeIndexSize() const;
    int32_t p_skipExtendedData();

    DWGglobal *session_;
    MemoryService *memory_;
    FileStream *stream_;
};

// Null when an argument is missing (silently) or a block cannot be had
// (reported).
R12DataRead *newR12DataRead(DWGglobal *session, MemoryService *memory, FileStream *stream);
void deleteR12DataRead(R12DataRead *reader);

#endif
