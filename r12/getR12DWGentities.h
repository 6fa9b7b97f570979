// Walks a section of entity records of an R10, R11 or R12 drawing, record
// by record, and hands the strings of TEXT, BLOCK, ATTDEF and ATTRIB
// entities to the host, each as a text group, bytes as stored. Every other
// record is passed over by the length in its head. The same walk serves the
// entity section and the block section, where the block definitions keep
// their entities; there BLOCK records, which open each definition, are
// passed over too.
#ifndef TQ_R12_GETR12DWGENTITIES_H
#define TQ_R12_GETR12DWGENTITIES_H

#include <cstdint>

#include "core/results.h"
#include "support/readbudget.h"

struct DWGglobal;
class FileStream;
class MemoryService;
class R12DataRead;

// Which section a walker walks.
enum class R12Section { Entities, Blocks };

class R12EntityWalker {
public:
    R12EntityWalker(DWGglobal *session, MemoryService *memory, FileStream *stream, int32_t sectionEnd,
                    R12Section section)
        : session_(session), memory_(memory), stream_(stream), sectionEnd_(sectionEnd), section_(section)
    {
    }

    // Walks from the stream's position to the next record that gives texts
    // (Item), or to the end of the section (End); Failed when a record
    // cannot be read or handled. After Item or Failed the stream stays
    // where the walk stopped, and a later call goes on from there.
    StepResult walkEntities();

    MemoryService *memory() const { return memory_; }
    R12DataRead *dataReader() const { return data_; }

private:
    friend R12EntityWalker *newR12EntityWalker(DWGglobal *session, MemoryService *memory, FileStream *stream,
                                               int32_t sectionStart, int32_t sectionEnd, R12Section section);

    using Handler = int32_t (R12EntityWalker::*)();

    // One entry per entity type 0..25: the type's name and the handler
    // that reads its records; a null handler for types that do not exist.
    struct EntityType {
        char name[7];
        Handler handler;
    };
    static const EntityType kEntityTypes[26];

    // Where a record starts and what of its head and common part the
    // handlers need.
    struct Record {
        int32_t start = 0;
        uint16_t length = 0;
        uint16_t optionWord = 0;
    };

    bool p_isSectionEnd();
    bool p_isOverReadBudget() const;
    int32_t p_getEntityHandler(Handler *handler);
    int32_t p_passUnknownType(int32_t start, uint8_t type, uint16_t length);
    int32_t p_putR12Text(void *text, int32_t length);
    int32_t p_createRefused(void *text);
    int32_t p_skipHandler();
    int32_t p_textHandler();
    int32_t p_blockHandler();
    int32_t p_attdefHandler();
    int32_t p_attribHandler();
    int32_t p_readStringsAndSkip(int32_t strings);
    int32_t p_readUpToPoint(Record *record);
    int32_t p_skipRest(const Record &record);
    int32_t p_readString();

    DWGglobal *session_;
    MemoryService *memory_;
    FileStream *stream_;
    R12DataRead *data_ = nullptr;
    int32_t sectionEnd_;
    R12Section section_;
    bool emptyRecordSeen_ = false;
    bool textsGiven_ = false;
    ReadBudget budget_;
};

// Null when a record is missing, a block cannot be had or the stream cannot
// be moved to the section start.
R12EntityWalker *newR12EntityWalker(DWGglobal *session, MemoryService *memory, FileStream *stream,
                                    int32_t sectionStart, int32_t sectionEnd, R12Section section);
void deleteR12EntityWalker(R12EntityWalker *walker);

#endif
