// The texts of a DXF file's entities on their way to the sink: gathered
// from their groups, then rendered exactly as a DWG drawing's are (the
// formatting codes at the start removed, "\M+" and "\U+XXXX" codes
// decoded, a multi-line text cut into paragraphs at "\P").
//
// A DXF value differs from a DWG text in two ways, both undone here. An
// ASCII file writes a control character as a caret and the character 64
// places on ("^J" for a line feed, "^ " for the caret itself). And from
// R2007 on the values are UTF-8, where DWG drawings hold UTF-16: they are
// widened to UTF-16 and go out as DWG's do, high byte first.
#ifndef TQ_DXF_DXFTEXT_H
#define TQ_DXF_DXFTEXT_H

#include <cstdint>

#include "core/dwgglobal.h"
#include "core/properties.h"
#include "dxf/dxftokens.h"
#include "support/publicstorage.h"

class DxfTexts {
public:
    DxfTexts(DWGglobal *session, MemoryService *memory) : session_(session), memory_(memory) {}

    void setUtf8(bool utf8) { utf8_ = utf8; }
    // Before R13 a text is given as stored, as an R10-R12 drawing's is.
    void setCodesDecoded(bool codesDecoded) { codesDecoded_ = codesDecoded; }
    void setCaretCodes(bool caretCodes) { caretCodes_ = caretCodes; }

    // An entity's text: its value (group 1) after the chunks that come
    // before it (group 3), and an attribute definition's prompt.
    void clear()
    {
        clearText();
        prompt_.length = 0;
    }
    void clearText()
    {
        chunks_.length = 0;
        value_.length = 0;
    }
    void setText(const DxfGroup &group) { p_set(&value_, group); }
    void addChunk(const DxfGroup &group) { p_append(&chunks_, group); }
    void setPrompt(const DxfGroup &group) { p_set(&prompt_, group); }

    void putGathered(bool paragraphs, TextKind kind);
    void putPrompt();
    // One group's value, straight to the sink.
    void put(const DxfGroup &group, bool paragraphs, TextKind kind);

    // The properties record's texts: a standard one (none for null), a
    // "name=value" pair, or the name and then the value of a counted pair.
    void keepProperty(DrawingProperties *properties, PropertyText *into, const DxfGroup &group);
    void keepNamedPair(DrawingProperties *properties, const DxfGroup &group);
    void keepCountedPair(DrawingProperties *properties, const DxfGroup &group);

    void release();

private:
    // Bytes gathered in a block of their own, a zero byte after them. The
    // block grows by doubling, keeping what it holds.
    struct Gathered {
        uint8_t *bytes = nullptr;
        uint32_t capacity = 0;
        uint32_t length = 0;
    };

    void p_set(Gathered *into, const DxfGroup &group)
    {
        into->length = 0;
        p_append(into, group);
    }
    void p_append(Gathered *into, const DxfGroup &group);
    bool p_reserve(Gathered *into, uint32_t size);
    void p_put(Gathered *text, bool paragraphs, TextKind kind);
    template <class Unit>
    void p_putTexts(Unit *text, int32_t length, bool paragraphs, TextKind kind);
    template <class Unit>
    void p_putText(Unit *text, int32_t length, TextKind kind);
    uint16_t *p_widen(const uint8_t *bytes, uint32_t length, int32_t *units);
    const uint8_t *p_encoded(const uint8_t *bytes, uint32_t length, ReusableBlock *wideBytes, uint32_t *encoded);
    void p_keepPair(DrawingProperties *properties, const uint8_t *name, uint32_t nameLength, const uint8_t *value,
                    uint32_t valueLength);
    int32_t p_charset() const { return utf8_ ? DWG_CHARSET_UTF16BE : DWG_CHARSET_BYTES; }

    DWGglobal *session_;
    MemoryService *memory_;
    bool utf8_ = false;
    bool caretCodes_ = false;
    bool codesDecoded_ = false;
    Gathered chunks_;
    Gathered value_;
    Gathered prompt_;
    Gathered pairName_;
    bool pairNamed_ = false;
    ReusableBlock units_;      // a text widened to UTF-16
    ReusableBlock wideName_;   // a property widened, low byte first
    ReusableBlock wideValue_;  // and the value of its pair
};

#endif
