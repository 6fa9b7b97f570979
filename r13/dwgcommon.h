// The common entity data at the head of every entity object of an R13 to
// R2018 drawing. Its layout differs between R13/R14 and R2000, and from
// R2000 on each release changes a few fields (R2KCommonData serves them
// all); both reads leave the stream at the first field particular to the
// entity type, with the extended entity data stepped over.
#ifndef TQ_R13_DWGCOMMON_H
#define TQ_R13_DWGCOMMON_H

#include <cstdint>

struct DWGglobal;
class DataRead;
class FileStream;
class MemoryService;

struct R13CommonData {
    int32_t startPosition;
    uint16_t objectSize;
    uint16_t objectType;
    int32_t handleCode;
    int32_t handleByteCount;
    int32_t graphicPresent;
    uint32_t dataSizeInBits;
    int32_t entityMode[2];
    uint32_t reactorCount;
    int32_t linetypeByLayer;
    int32_t noLinks;
    uint16_t color;
    double linetypeScale;
    uint16_t invisibility;
};

struct R2KCommonData {
    int32_t startPosition;
    uint16_t objectSize;
    uint32_t handleStreamBits;  // R2010 and later
    uint16_t objectType;
    uint32_t dataSizeInBits;    // R2000 to R2007
    int64_t dataEndBit;         // where the handles begin, from the stream's start
    int64_t objectEndBit;       // where the check value begins
    int32_t handleCode;
    int32_t handleByteCount;
    int32_t graphicPresent;
    int32_t entityMode[2];
    uint32_t reactorCount;
    int32_t noXDictionary;  // R2004 and later
    int32_t hasDataStore;   // R2013 and later
    int32_t noLinks;        // R2000 only
    uint16_t color;
    uint32_t colorValue;    // R2004 and later: RGB, when the colour says so
    uint32_t transparency;  // R2004 and later, when the colour says so
    double linetypeScale;
    int32_t linetypeFlags[2];
    int32_t materialFlags[2];  // R2007 and later
    uint8_t shadowFlags;       // R2007 and later
    int32_t plotStyleFlags[2];
    int32_t visualStyles[3];   // R2010 and later: full, face, edge
    uint16_t invisibility;
    uint8_t lineweight;
};

class DWGCommon {
public:
    DWGCommon(DWGglobal *session, MemoryService *memory, FileStream *stream)
        : session_(session), memory_(memory), stream_(stream)
    {
    }
    ~DWGCommon();

    // 1 when every field was read and the entity carries no graphic; the
    // caller has moved the stream to the object's first byte and reset the
    // bits of dataRead().
    int32_t getR13_DWGCommonData(R13CommonData *data);
    int32_t getR2K_DWGCommonData(R2KCommonData *data);

    DWGglobal *session() const { return session_; }
    DataRead *dataRead() const { return dataRead_; }
    MemoryService *memory() const { return memory_; }

    bool open();

private:
    // Both layouts share one field sequence; the R2000 differences are
    // marked where they fall.
    template <class Data>
    int32_t p_readObjectHead(Data *data);
    template <class Data>
    int32_t p_readEntityFields(Data *data);
    int32_t p_skipEED(int32_t limit);
    int32_t p_readTypeAndDataSize(R2KCommonData *data);
    int32_t p_readOwnershipFlags(R2KCommonData *data);
    int32_t p_readColor(R2KCommonData *data);
    int32_t p_readStyleFlags(R2KCommonData *data);
    bool p_since(int32_t version) const;

    DWGglobal *session_;
    MemoryService *memory_;
    FileStream *stream_;
    DataRead *dataRead_ = nullptr;
};

// Null when an argument is missing or a record cannot be made.
DWGCommon *newDWGCommon(DWGglobal *session, MemoryService *memory, FileStream *stream);
void deleteDWGCommon(DWGCommon *common);

#endif
