// The text decoder of R13-R2000 drawings. TEXT, ATTRIB and ATTDEF objects
// give one text each (the attribute's value, the definition's default; never
// a tag or a prompt), MTEXT objects one text per paragraph. Each text goes to
// the host as a group of three output objects (kinds 38, 41, 48) after the
// formatting codes at its start are removed and its character codes decoded.
//
// R13/R14 and R2000 lay out the common entity data differently, and R2000
// TEXT carries a data-flags byte that leaves fields out. The variant is
// chosen once, when the decoder is made, from the session's version index.
#ifndef TQ_R13_TEXTDATA_H
#define TQ_R13_TEXTDATA_H

#include <cstdint>

#include "r13/dwgcommon.h"

struct DWGglobal;
class FileStream;
class MemoryService;
class StrEtc;

// The fields of TEXT, ATTRIB and ATTDEF up to the text string, for either
// layout of the common data. Only the object size, the text length and the
// text are used; the rest is read to reach the string.
template <class Common>
struct TextRecordOf {
    Common common;
    uint8_t dataFlags;  // R2000 only
    double elevation;
    double insertion[2];
    double alignment[2];
    double extrusion[3];
    double thickness;
    double oblique;
    double rotation;
    double height;
    double widthFactor;
    int32_t textLength;
    char *text;  // a memory-service block, released at the next read
};

template <class Common>
struct MTextRecordOf {
    Common common;
    double insertion[3];
    double extrusion[3];
    double xAxis[3];
    double rectangleWidth;
    double height;
    uint16_t attachment;
    uint16_t drawingDirection;
    double extentsHeight;
    double extentsWidth;
    int32_t textLength;
    char *text;
};

using R13TextRecord = TextRecordOf<R13CommonData>;
using R2KTextRecord = TextRecordOf<R2KCommonData>;
using R13MTextRecord = MTextRecordOf<R13CommonData>;
using R2KMTextRecord = MTextRecordOf<R2KCommonData>;

class TextData {
public:
    TextData(DWGglobal *session, MemoryService *memory, StrEtc *strings, FileStream *stream, int32_t versionIndex)
        : session_(session), memory_(memory), strings_(strings), stream_(stream), versionIndex_(versionIndex)
    {
    }
    ~TextData();

    // The stream stands at the first byte of the object. 1 when the object
    // was handled and the stream stands after it; 0 when a text could not
    // be handed to the host or the object could not be left.
    int32_t getDWGText();
    int32_t getDWGMText();

    // Makes the common-data reader and the records of the version's variant.
    bool p_open();

    MemoryService *memory() const { return memory_; }

private:
    struct Variant;
    static const Variant kR13Variant;
    static const Variant kR2KVariant;

    int32_t p_putText(char *text, int32_t length);
    bool p_setVersion();
    int32_t p_decodeEscapes(char *buffer, int32_t *outLength, char *text);
    int32_t p_decodeUnicode(char *buffer, int32_t capacity, int32_t *outLength, const char *text);
    void p_convertText(int32_t *charset, char *buffer, int32_t *outLength, char *text, int32_t length);
    void p_stripFormat(char *text, int32_t *length);
    int32_t p_skipEntity(int32_t start, uint16_t size);

    template <class Record>
    int32_t p_getText();
    template <class Record>
    int32_t p_getMText();
    template <class Record>
    int32_t p_dwgText();
    template <class Record>
    void p_clearText();
    template <class Record>
    int32_t p_dwgMText();
    template <class Record>
    void p_clearMText();
    int32_t p_putParagraphs(char *text, int32_t length);
    int32_t p_createFailed();

    int32_t p_readCommon(R13CommonData *common);
    int32_t p_readCommon(R2KCommonData *common);
    int32_t p_readTextFields(R13TextRecord *record);
    int32_t p_readTextFields(R2KTextRecord *record);
    template <class Record>
    int32_t p_readMTextFields(Record *record);
    template <class Text, class MText>
    bool p_makeRecords();
    bool p_checked(int32_t result, const char *message, int32_t line);

    DWGglobal *session_;
    MemoryService *memory_;
    StrEtc *strings_;
    FileStream *stream_;
    DWGCommon *common_ = nullptr;
    int32_t versionIndex_;
    void *textRecord_ = nullptr;
    void *mtextRecord_ = nullptr;
    const Variant *variant_ = nullptr;
};

// The file offset just past an object that starts at start: its size counts
// neither the 2-byte size field nor the 2-byte check value at its end. -1
// when that lies beyond any offset a stream can reach.
int32_t objectEndOffset(int32_t start, uint16_t size);

// Null when the version is outside R13-R2000 (reported), an argument is
// missing or a record cannot be made.
TextData *newTextData(DWGglobal *session, MemoryService *memory, StrEtc *strings, FileStream *stream);
void deleteTextData(TextData *text);

#endif
