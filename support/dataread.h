// Reads the bit stream of an R13-R2000 drawing: single bits, 2-bit codes,
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

class FileStream;
class MemoryService;

class DataRead {
public:
    DataRead(MemoryService *memory, FileStream *stream) : memory_(memory), stream_(stream) {}
    ~DataRead();

    void resetBits() { bitPosition_ = 0; }
    int32_t skipBytes(int32_t count);
    int32_t getB(int32_t *bit);
    int32_t get2B(int32_t *first, int32_t *second);
    int32_t get4B(int32_t *value);
    int32_t getBS(uint16_t *value);
    int32_t getBL(uint32_t *value);
    int32_t getBD(double *value);
    int32_t get2BD(double *a, double *b);
    int32_t get3BD(double *a, double *b, double *c);
    int32_t getRC(uint8_t *value);
    int32_t getRS(uint16_t *value);
    int32_t getRD(double *value);
    int32_t getRL(uint32_t *value);
    int32_t get2RD(double *a, double *b);
    int32_t get3RD(double *a, double *b, double *c);
    int32_t getMS(uint16_t *value);
    int32_t getH(int32_t *code, int32_t *count);
    // The buffer comes from the memory service; the caller releases it.
    int32_t getT(int32_t *length, char **buffer);
    int32_t getBE(double *x, double *y, double *z);
    int32_t getBT(double *value);
    int32_t getDD(double *value);
    int32_t get2DD(double *a, double *b);

    int32_t bitPosition() const { return bitPosition_; }
    FileStream *stream() const { return stream_; }
    MemoryService *memory() const { return memory_; }

private:
    int32_t p_fetch(uint8_t *bytes, int32_t count);
    int32_t p_takeBits(int32_t count, int32_t *bits);
    int32_t p_read1(int32_t *bit);
    int32_t p_read2(int32_t *code);
    int32_t p_read4(int32_t *value);
    int32_t p_readRC(uint8_t *value);
    int32_t p_readRawBytes(uint8_t *bytes, int32_t count);
    int32_t p_readRS(uint16_t *value);
    int32_t p_readRL(uint32_t *value);
    int32_t p_readRD(double *value);
    template <class T>
    int32_t p_readBitCoded(T *value, int32_t (DataRead::*readRaw)(T *), T codeThreeValue);
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
