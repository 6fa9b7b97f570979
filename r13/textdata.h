// The text decoder of R13 to R2018 drawings. TEXT, ATTRIB and ATTDEF objects
// give one text each (the attribute's value, the definition's default; never
// a tag or a prompt), MTEXT objects one text per paragraph. Each text goes to
// the host as a group of three output objects (kinds 38, 41, 48) after the
// formatting codes at its start are removed and its character codes decoded.
//
// R13/R14 and R2000 lay out the common entity data differently, and R2000
// TEXT carries a data-flags byte that leaves fields out. The layout is
// chosen once, when the decoder is made, from the session's version index;
// the later releases change a few fields of the R2000 layout, and from
// R2007 on the texts are UTF-16 in the object's string stream.
#ifndef TQ_R13_TEXTDATA_H
#define TQ_R13_TEXTDATA_H

#include <cstdint>

#include "r13/dwgcommon.h"

struct DWGglobal;
class FileStream;
class MemoryService;

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
    int32_t wideLength;  // R2007 and later: the text in UTF-16 units
    uint16_t *wideText;  // a memory-service block, released at the next read
    bool embeddedMText;  // R2018: the text is a multi-line attribute's
};

template <class Common>
struct MTextRecordOf {
    Common common;
    double insertion[3];
    double extrusion[3];
    double xAxis[3];
    double rectangleWidth;
    double rectangleHeight;  // R2007 and later
    double height;
    uint16_t attachment;
    uint16_t drawingDirection;
    double extentsHeight;
    double extentsWidth;
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
    // The stream stands at the first byte of the object. 1 when the object
    // was handled and the stream stands after it; 0 when a text could not
    // be handed to the host or the object could not be left.
    virtual int32_t getDWGText() = 0;
    virtual int32_t getDWGMText() = 0;
    // Gives back every block of the decoder, its own included.
    virtual void destroy() = 0;

protected:
    TextData(DWGglobal *session, MemoryService *memory, FileStream *stream, DWGCommon *common)
        : session_(session), memory_(memory), stream_(stream), common_(common)
    {
    }
    ~TextData() = default;

    // What both layouts share once the fields are read: stepping over the
    // object, and turning a text into the groups the host receives.
    int32_t p_putText(char *text, int32_t length);
    int32_t p_putParagraphs(char *text, int32_t length);
    int32_t p_putWideText(uint16_t *text, int32_t units);
    int32_t p_putWideParagraphs(uint16_t *text, int32_t units);
    int32_t p_putRecordText(char *text, int32_t length, uint16_t *wideText, int32_t units, bool paragraphs);
    int32_t p_readAttributeKind(const TextRecordOf<R2KCommonData> &record, int32_t *textIndex);
    int32_t p_readStreamText(const R2KCommonData &common, int32_t index, int32_t *units, uint16_t **text);
    bool p_since(int32_t version) const;
    int32_t p_skipEntity(int32_t start, uint16_t size);
    bool p_checked(int32_t result, const char *message, int32_t line);

    DWGglobal *session_;
    MemoryService *memory_;
    FileStream *stream_;
    DWGCommon *common_;

private:
    int32_t p_createFailed();
    int32_t p_decodeEscapes(char *buffer, int32_t *outLength, char *text);
    int32_t p_decodeUnicode(char *buffer, int32_t capacity, int32_t *outLength, const char *text);
    void p_convertText(int32_t *charset, char *buffer, int32_t *outLength, char *text, int32_t length);
    void p_stripFormat(char *text, int32_t *length);
};

// The decoder of one layout of the common data: R13CommonData for R13 and
// R14, R2KCommonData for R2000 and later.
template <class Common>
class TextDecoder final : public TextData {
public:
    TextDecoder(DWGglobal *session, MemoryService *memory, FileStream *stream, DWGCommon *common)
        : TextData(session, memory, stream, common)
    {
    }

    int32_t getDWGText() override;
    int32_t getDWGMText() override;
    void destroy() override;

private:
    int32_t p_dwgText();
    int32_t p_dwgMText();
    int32_t p_readCommon(Common *common);
    int32_t p_readTextFields(TextRecordOf<Common> *record);
    int32_t p_readMTextFields(MTextRecordOf<Common> *record);
    int32_t p_readMTextString(MTextRecordOf<Common> *record);
    void p_clearRecords();

    TextRecordOf<Common> text_{};
    MTextRecordOf<Common> mtext_{};
};

// The file offset just past an object that starts at start: its size counts
// neither the 2-byte size field nor the 2-byte check value at its end. -1
// when that lies beyond any offset a stream can reach.
inline int32_t objectEndOffset(int32_t start, uint16_t size)
{
    constexpr int64_t kObjectFraming = 4;  // size field and check value
    const int64_t end = static_cast<int64_t>(start) + size + kObjectFraming;
    return end > INT32_MAX ? -1 : static_cast<int32_t>(end);
}

// The decoder of the session's version: R13/R14, or R2000 and later. Null when an
// argument is missing or a record cannot be made.
TextData *newTextData(DWGglobal *session, MemoryService *memory, FileStream *stream);
void deleteTextData(TextData *text);

#endif
