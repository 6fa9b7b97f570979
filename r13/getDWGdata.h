// The reader of R13, R14 and R2000 drawings: checks the version, reads the
// section locators of the file header, then walks its six phases: three
// checks of the computed ranges, the object map, the objects one at a time,
// and the finish operation that appends the end object.
#ifndef TQ_R13_GETDWGDATA_H
#define TQ_R13_GETDWGDATA_H

#include <cstdint>

#include "front/dwgglobal.h"

class ByteSwap;
class DWGObjects;
class FileStream;
class MemoryService;
class ObjectMap;
class StrEtc;

// A byte range of the file; -1 while a bound is not known.
struct FileRange {
    int32_t start = -1;
    int32_t end = -1;

    bool known() const { return start != -1 && end != -1; }
};

// Where the parts of the file lie, as the section locators give them.
struct SectionRanges {
    FileRange header;
    FileRange classes;
    FileRange padding;
    FileRange objectMap;
    FileRange objects;
};

class DWGDataReader : public DWGReader {
public:
    DWGDataReader(DWGglobal *session, MemoryService *memory) : session_(session), memory_(memory) {}
    ~DWGDataReader();

    int32_t runPhase(int32_t index) override;

    // Makes the string utilities, the stream and the byte-order service;
    // false when any of them cannot be made.
    bool p_open();
    int32_t p_getVersion();
    int32_t p_getSectionsPosition();

    const SectionRanges &ranges() const { return ranges_; }
    const char *version() const { return version_; }
    MemoryService *memory() const { return memory_; }

private:
    int32_t p_hasHeader();
    int32_t p_hasClasses();
    int32_t p_hasPadding();
    int32_t p_readObjectMap();
    int32_t p_readObjects();
    int32_t p_finishPhase();

    int32_t p_getHeaderPos();
    int32_t p_getClassesPos();
    int32_t p_getPaddingPos();
    int32_t p_getObjectsPos();
    int32_t p_getObjectMapPos();
    int32_t p_readLocator(uint8_t expected, int32_t *seeker, int32_t *size);
    int32_t p_readWord(int32_t *value);

    DWGglobal *session_;
    MemoryService *memory_;
    StrEtc *strings_ = nullptr;
    FileStream *stream_ = nullptr;
    ByteSwap *swap_ = nullptr;
    char version_[8] = {};
    SectionRanges ranges_;
    DWGObjects *objects_ = nullptr;
    ObjectMap *map_ = nullptr;
};

// Null (after a report) when the reader cannot be made, the version is not
// R13-R2000 or the section locators cannot be read. Sets the session's
// version index.
DWGReader *newDWGReader(DWGglobal *session, MemoryService *memory);
void deleteDWGReader(DWGReader *reader);

// Appends an end object (kind 1) to the session's chain; 1 when the host
// created it. Both readers finish with it.
int32_t p_finish(DWGglobal *session);

#endif
