// The walk over the objects of an R13 to R2018 drawing. Every object starts
// with its size (a modular short of 2 or 4 bytes) and its type (bit-coded
// short; from R2010 on the size of its handle stream comes between, and the
// type is coded as OT); the walk reads both from the head's bytes and
// dispatches by type: TEXT, ATTRIB, ATTDEF and MTEXT to the text decoder,
// and when the session wants every kind of text TOLERANCE and the
// dimensions too; the other types of the fixed list are stepped over, and a
// type outside the list is reported and stepped over, after the texts of
// its graphic when it is a custom entity and every kind is wanted.
// With an object map the objects are visited in map order; without one they
// are taken one after another until the end offset, each checked by its
// check value, and in a container's section of the copies of one handle
// only the last gives texts.
#ifndef TQ_R13_GETDWGOBJECTS_H
#define TQ_R13_GETDWGOBJECTS_H

#include <cstdint>

#include "core/results.h"
#include "r13/lastcopies.h"
#include "support/readbudget.h"

struct DWGglobal;
class FileStream;
struct ObjectHead;
class MemoryService;
class ObjectMap;
class TextData;

class DWGObjects {
public:
    static constexpr int32_t kTypeCount = 74;  // types 0 to 73

    DWGObjects(DWGglobal *session, MemoryService *memory, FileStream *stream, ObjectMap *map,
               int64_t start, int64_t end);
    ~DWGObjects();

    // Walks on to the next object that holds a text and hands it to the
    // text decoder: Item when that succeeded, End when there are no more
    // objects, Failed when the decoder failed or an object could not be
    // stepped over (the next call goes on with the next object).
    StepResult getNextObject();

    // Makes the text decoder and moves the stream to
    // the start offset; false when any of it fails.
    bool open();

    MemoryService *memory() const { return memory_; }

private:
    bool p_toNextObject();
    bool p_keepsLastCopies() const;
    void p_noteLastCopies();
    bool p_isOlderCopy(int64_t start);
    void p_skipPlainObjects();
    template <class ReadHead>
    void p_skipPlainObjectsWith(ReadHead readHead);
    bool p_toCheckedObject();
    int64_t p_chainedPlainEnd(int64_t start);
    int64_t p_checkedEnd(int64_t start);
    bool p_readHead(int64_t start, ObjectHead *head);
    int32_t p_handleText(int64_t start, const ObjectHead &head);
    bool p_isMultileader(int64_t start, const ObjectHead &head);
    bool p_skipUnknown(int64_t start, const ObjectHead &head);
    int32_t p_skipBySize(int64_t start, const ObjectHead &head);
    int32_t p_handled(int32_t result, const char *failure, int32_t line);
    bool p_holdsText(uint16_t type) const;
    bool p_isPlain(uint16_t type) const;
    bool p_mayDrawProxyTexts(uint16_t type) const;
    bool p_mayGiveText(uint16_t type) const;

    DWGglobal *session_;
    MemoryService *memory_;
    FileStream *stream_;
    TextData *text_ = nullptr;
    ObjectMap *map_;
    int64_t start_;
    int64_t end_;
    int64_t nextInFile_ = 0;  // without a map: where the last object ended
    bool chained_ = false;    // and it was checked, or stepped over from one that was
    int32_t versionIndex_;  // the session's, which every head is read by
    uint64_t textTypes_;    // the types that hold texts the session wants, a bit each
    uint16_t multileaderType_;  // the drawing's class number of MULTILEADER when wanted; 0 none; or unknown
    bool proxyTexts_;           // the texts of custom entities' graphics are wanted
    ReadBudget budget_;
    LastCopies lastCopies_;  // a container's without a map: where each handle's last copy lies
};

// Null when an argument is missing, a part cannot be made (reported for the
// text decoder) or the start offset cannot be reached.
DWGObjects *newDWGObjects(DWGglobal *session, MemoryService *memory, FileStream *stream,
                          ObjectMap *map, int64_t start, int64_t end);
void deleteDWGObjects(DWGObjects *objects);

#endif
