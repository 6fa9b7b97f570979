// The text decoder of R13 to R2018 drawings. TEXT, ATTRIB and ATTDEF objects
// give one text each (the attribute's value, the definition's default; never
// a tag), MTEXT objects one text per paragraph. When the session wants every
// kind, an ATTDEF also gives its prompt, after its default. Each text goes to
// the host as a group of three output objects (kinds 38, 41, 48) after the
// formatting codes at its start are removed and its character codes decoded.
//
// R13/R14 and R2000 lay out the common entity data differently, and R2000
// TEXT carries a data-flags byte that leaves fields out. The layout is
// chosen once, when the decoder is made, from the session's version index;
// the later releases change a few fields of the R2000 layout, and from
// R2007 on the texts are UTF-16 in the object's string stream. The fields
// are read with a bit cursor over the object's bytes, which the stream
// hands over as a span.
#ifndef TQ_R13_TEXTDATA_H
#define TQ_R13_TEXTDATA_H

#include <cstdint>

#include "core/dwgglobal.h"
#include "r13/dwgcommon.h"
#include "support/publicstorage.h"

class BitCursor;
struct DWGglobal;
class FileStream;
struct MultileaderWalk;

// What a TEXT, ATTRIB or ATTDEF gives, for either layout of the common
// data: the common data, the data flags that say which fields follow, and
// the text. The fields between them are read only to reach the text.
template <class Common>
struct TextRecordOf {
    Common common;
    uint8_t dataFlags;  // R2000 and later
    int32_t textLength;
    char *text;  // in the decoder's text block, until the next object
    int32_t wideLength;  // R2007 and later: the text in UTF-16 units
    uint16_t *wideText;  // in the decoder's text block, until the next object
    bool embeddedMText;  // R2018: the text is a multi-line attribute's
    uint64_t afterTextBit;  // up to R2004: where the fields after the text begin
};

template <class Common>
struct MTextRecordOf {
    Common common;
    int32_t textLength;
    char *text;
    int32_t wideLength;
    uint16_t *wideText;
};

using R13TextRecord = TextRecordOf<R13CommonData>;
using R2KTextRecord = TextRecordOf<R2KCommonData>;
using R13MTextRecord = MTextRecordOf<R13CommonData>;
using R2KMTextRecord = MTextRecordOf<R2KCommonData>;

// What the object walk sees of the decoder. The two layouts are two
// instantiations of TextDecoder, chosen once when the decoder is made.
class TextData {
public:
    // The object at file offset start, with the head the walk read, is a
    // TEXT, ATTRIB or ATTDEF (getDWGText) or an MTEXT (getDWGMText). 1
    // when it was handled and the stream stands after it; 0 when a text
    // could not be handed to the host or the object could not be left.
    virtual int32_t getDWGText(int64_t start, const ObjectHead &head) = 0;
    virtual int32_t getDWGMText(int64_t start, const ObjectHead &head) = 0;
    // A TOLERANCE gives its string; a DIMENSION its user text, only when
    // its last handle, that of its anonymous block, is null: a dimension's
    // block holds the texts it shows, which come out with the block's
    // entities, and so no text comes out twice.
    virtual int32_t getDWGTolerance(int64_t start, const ObjectHead &head) = 0;
    virtual int32_t getDWGDimension(int64_t start, const ObjectHead &head) = 0;
    // A MULTILEADER gives the text of its MTEXT content, paragraph by
    // paragraph, then the values of its block content's attributes, when
    // its fields end exactly where its data does.
    virtual int32_t getDWGMultileader(int64_t start, const ObjectHead &head) = 0;
    // Whether the object reads as a multileader whose fields end exactly
    // where its data does, without a report: how one is told where the
    // classes that number it could not be read.
    virtual bool readsAsMultileader(int64_t start, const ObjectHead &head) = 0;
    // An entity of a custom class gives the texts of its graphic
    // (r13/proxygraphics.h), when it carries one that parses; an object
    // that is no entity, or carries none, gives nothing. The stream is
    // left at the object's start. 0 when the host could not take a text.
    int32_t putProxyTexts(int64_t start, const ObjectHead &head);
    // Gives back every block of the decoder, its own included.
    virtual void destroy() = 0;

protected:
    TextData(DWGglobal *session, MemoryService *memory, FileStream *stream)
        : session_(session), memory_(memory), stream_(stream)
    {
    }
    ~TextData() = default;

    // A T field: its bytes go to the decoder's text block, zero-terminated.
    bool readT(BitCursor &in, int32_t *length, char **text);
    const char *readAttributeKind(BitCursor &in, const TextRecordOf<R2KCommonData> &record, int32_t *textIndex);
    bool readStreamText(BitCursor &in, const R2KCommonData &common, int32_t index, int32_t *units, uint16_t **text);
    bool readStreamUnits(BitCursor &in, int32_t *units, uint16_t **text);
    bool since(int32_t version) const;
    // A text as a decoder read it: bytes up to R2004, UTF-16 units after.
    struct DecodedText {
        char *bytes;
        int32_t length;
        uint16_t *wide;
        int32_t units;
    };
    int32_t finishObject(int64_t start, const ObjectHead &head, const char *failure, const DecodedText &text,
                         bool paragraphs, TextKind kind);
    int32_t putDecodedText(const DecodedText &text, bool paragraphs, TextKind kind);

    DWGglobal *session_;
    MemoryService *memory_;
    FileStream *stream_;
    ReusableBlock textBlock_;

private:
    template <class Unit>
    int32_t p_putTexts(Unit *text, int32_t length, bool paragraphs, TextKind kind);
    template <class Unit>
    int32_t p_putText(Unit *text, int32_t length, TextKind kind);
    int32_t p_skipEntity(int64_t start, const ObjectHead &head);
    int32_t p_createFailed();
};

// The decoder of one layout of the common data: R13CommonData for R13 and
// R14, R2KCommonData for R2000 and later.
template <class Common>
class TextDecoder final : public TextData {
public:
    TextDecoder(DWGglobal *session, MemoryService *memory, FileStream *stream) : TextData(session, memory, stream) {}

    int32_t getDWGText(int64_t start, const ObjectHead &head) override;
    int32_t getDWGMText(int64_t start, const ObjectHead &head) override;
    int32_t getDWGTolerance(int64_t start, const ObjectHead &head) override;
    int32_t getDWGDimension(int64_t start, const ObjectHead &head) override;
    int32_t getDWGMultileader(int64_t start, const ObjectHead &head) override;
    bool readsAsMultileader(int64_t start, const ObjectHead &head) override;
    void destroy() override;

private:
    const char *p_readText(BitCursor &in);
    const char *p_readMText(BitCursor &in);
    const char *p_walkMultileader(BitCursor &in, MultileaderWalk *walk);
    const char *p_putMultileaderTexts(BitCursor &in, const MultileaderWalk &walk, bool *taken);
    const char *p_putMultileaderStreamTexts(BitCursor &in, const MultileaderWalk &walk, bool *taken);
    const char *p_readPrompt(BitCursor &in, DecodedText *prompt);
    int32_t p_putPrompt(int64_t start, const ObjectHead &head);
    const char *p_readTextFields(BitCursor &in, TextRecordOf<Common> *record);
    const char *p_readMTextFields(BitCursor &in, MTextRecordOf<Common> *record);
    bool p_readMTextString(BitCursor &in, MTextRecordOf<Common> *record);

    template <class SkipFields>
    const char *p_readEntityText(BitCursor &in, SkipFields skipFields, DecodedText *text);

    TextRecordOf<Common> text_{};
    MTextRecordOf<Common> mtext_{};
    Common entity_{};  // of a TOLERANCE, DIMENSION or MULTILEADER
};

// The decoder of the session's version: R13/R14, or R2000 and later. Null when an
// argument is missing or a record cannot be made.
TextData *newTextData(DWGglobal *session, MemoryService *memory, FileStream *stream);
void deleteTextData(TextData *text);

#endif
