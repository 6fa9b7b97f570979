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

#include "core/dwgglobal.h"
#include "core/results.h"
#include "support/readbudget.h"

struct DWGglobal;
class FileStream;
class MemoryService;

// Which section a walker walks.
enum class R12Section { Entities, Blocks };

struct R12EntityHead;

class R12EntityWalker {
public:
    R12EntityWalker(DWGglobal *session, MemoryService *memory, FileStream *stream, int32_t sectionEnd,
                    R12Section section)
        : session_(session),
          memory_(memory),
          stream_(stream),
          sectionEnd_(sectionEnd),
          section_(section),
          budget_(*stream, 0)
    {
    }

    // Walks from the stream's position to the next record that gives texts
    // (Item), or to the end of the section (End); Failed when a record
    // cannot be read or handled. After Item or Failed the stream stays
    // where the walk stopped, and a later call goes on from there.
    StepResult walkEntities();

    MemoryService *memory() const { return memory_; }

private:
    bool p_isSectionEnd();
    void p_skipPlainRecords();
    uint32_t p_textTypes() const;
    bool p_readHead(int64_t start, R12EntityHead *head);
    int32_t p_handleRecord(int64_t start, const R12EntityHead &head);
    int32_t p_passUnknownType(int64_t start, const R12EntityHead &head);
    int32_t p_readTexts(int64_t start, const R12EntityHead &head);
    int32_t p_putString(const uint8_t *bytes, int32_t length, int32_t available, TextKind kind);
    int32_t p_createRefused(void *text);

    DWGglobal *session_;
    MemoryService *memory_;
    FileStream *stream_;
    int32_t sectionEnd_;
    R12Section section_;
    bool emptyRecordSeen_ = false;
    bool textsGiven_ = false;
    // One budget for the header and both sections, counted from the
    // stream's first byte read.
    ReadBudget budget_;
};

// Null when an argument is missing, a block cannot be had or the stream
// cannot be moved to the section start.
R12EntityWalker *newR12EntityWalker(DWGglobal *session, MemoryService *memory, FileStream *stream,
                                    int32_t sectionStart, int32_t sectionEnd, R12Section section);
void deleteR12EntityWalker(R12EntityWalker *walker);

#endif
