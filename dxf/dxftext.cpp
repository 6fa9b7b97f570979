#include "dxf/dxftext.h"

#include <cstring>

#include "TQDUDADE.h"
#include "core/messages.h"
#include "r13/propertiesrecord.h"
#include "r13/textcodes.h"

static const char kModule[] = "dxftext";

namespace {

// However many chunks an entity claims, its text is cut at this size.
constexpr uint32_t kLongestText = 1u << 24;

constexpr uint8_t kCaret = '^';

// Copies a value, a caret code as the character it stands for: answers
// the bytes written, never more than were read.
uint32_t copyCaretCodes(uint8_t *out, const uint8_t *value, uint32_t length)
{
    uint32_t written = 0;
    for (uint32_t at = 0; at < length; ++at) {
        if (value[at] == kCaret && at + 1 < length && value[at + 1] >= ' ' && value[at + 1] <= '_') {
            ++at;
            out[written++] = value[at] == ' ' ? kCaret : static_cast<uint8_t>(value[at] - 0x40);
        } else {
            out[written++] = value[at];
        }
    }
    return written;
}

// The next character of UTF-8 bytes, and how many bytes it took; a byte
// that starts no well-formed character is U+FFFD.
constexpr uint32_t kReplacement = 0xFFFD;

uint32_t nextCharacter(const uint8_t *bytes, uint32_t left, uint32_t *taken)
{
    const uint8_t lead = bytes[0];
    *taken = 1;
    if (lead < 0x80) {
        return lead;
    }
    const uint32_t count = lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 && lead < 0xE0 ? 1 : 0;
    if (count == 0 || (lead >= 0xF5) || count >= left) {
        return kReplacement;
    }
    uint32_t character = lead & (0x3F >> count);
    for (uint32_t i = 1; i <= count; ++i) {
        if ((bytes[i] & 0xC0) != 0x80) {
            return kReplacement;
        }
        character = character << 6 | (bytes[i] & 0x3F);
    }
    const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (character < least[count] || character > 0x10FFFF || (character >= 0xD800 && character < 0xE000)) {
        return kReplacement;
    }
    *taken = count + 1;
    return character;
}

}  // namespace

void DxfTexts::p_append(Gathered *into, const DxfGroup &group)
{
    const auto length = static_cast<uint32_t>(group.length);
    if (into->length + length > kLongestText) {
        return;
    }
    if (!p_reserve(into, into->length + length + 1)) {
        reportf(session_, msg::kAllocationFailed, HERE);
        return;
    }
    uint8_t *bytes = into->bytes;
    if (caretCodes_ && memchr(group.value, kCaret, length) != nullptr) {
        into->length += copyCaretCodes(bytes + into->length, group.value, length);
    } else {
        memcpy(bytes + into->length, group.value, length);
        into->length += length;
    }
    bytes[into->length] = 0;
}

bool DxfTexts::p_reserve(Gathered *into, uint32_t size)
{
    constexpr uint32_t kFirstSize = 256;
    if (size <= into->capacity) {
        return true;
    }
    uint32_t capacity = into->capacity < kFirstSize ? kFirstSize : into->capacity;
    while (capacity < size) {
        capacity *= 2;
    }
    auto *bytes = static_cast<uint8_t *>(memory_->allocate(capacity));
    if (bytes == nullptr) {
        return false;
    }
    if (into->length > 0) {
        memcpy(bytes, into->bytes, into->length);
    }
    memory_->free(into->bytes);
    into->bytes = bytes;
    into->capacity = capacity;
    return true;
}

void DxfTexts::putGathered(bool paragraphs, TextKind kind)
{
    if (value_.length > 0) {
        DxfGroup rest{0, value_.bytes, static_cast<int32_t>(value_.length)};
        const bool carets = caretCodes_;
        caretCodes_ = false;  // the value's codes are undone already
        p_append(&chunks_, rest);
        caretCodes_ = carets;
    }
    p_put(&chunks_, paragraphs, kind);
    clearText();
}

void DxfTexts::putPrompt()
{
    p_put(&prompt_, false, TextKind::AttdefPrompt);
    prompt_.length = 0;
}

void DxfTexts::put(const DxfGroup &group, bool paragraphs, TextKind kind)
{
    p_set(&value_, group);
    p_put(&value_, paragraphs, kind);
    value_.length = 0;
}

// Empty texts give nothing, as in DWG; the sink may want the classic
// kinds only.
void DxfTexts::p_put(Gathered *text, bool paragraphs, TextKind kind)
{
    if (text->length == 0 || (!session_->everyKind && !isClassicKind(kind))) {
        return;
    }
    if (!codesDecoded_) {
        textToSink(session_, text->bytes, static_cast<int32_t>(text->length), DWG_CHARSET_BYTES, kind);
        return;
    }
    if (!utf8_) {
        p_putTexts(reinterpret_cast<char *>(text->bytes), static_cast<int32_t>(text->length), paragraphs, kind);
        return;
    }
    int32_t units = 0;
    uint16_t *wide = p_widen(text->bytes, text->length, &units);
    if (wide != nullptr) {
        p_putTexts(wide, units, paragraphs, kind);
    }
}

// The units of UTF-8 bytes, a zero unit after them: a character past
// U+FFFF takes two.
uint16_t *DxfTexts::p_widen(const uint8_t *bytes, uint32_t length, int32_t *units)
{
    auto *wide = static_cast<uint16_t *>(units_.reserve(memory_, (length + 1) * sizeof(uint16_t)));
    if (wide == nullptr) {
        reportf(session_, msg::kAllocationFailed, HERE);
        return nullptr;
    }
    int32_t count = 0;
    for (uint32_t at = 0, taken = 0; at < length; at += taken) {
        const uint32_t character = nextCharacter(bytes + at, length - at, &taken);
        if (character > 0xFFFF) {
            wide[count++] = static_cast<uint16_t>(0xD800 + ((character - 0x10000) >> 10));
            wide[count++] = static_cast<uint16_t>(0xDC00 + (character & 0x3FF));
        } else {
            wide[count++] = static_cast<uint16_t>(character);
        }
    }
    wide[count] = 0;
    *units = count;
    return wide;
}

template <class Unit>
void DxfTexts::p_putTexts(Unit *text, int32_t length, bool paragraphs, TextKind kind)
{
    if (!paragraphs) {
        p_putText(text, length, kind);
        return;
    }
    textcodes::forEachParagraph(text, length, [this, kind](Unit *paragraph, int32_t units) {
        p_putText(paragraph, units, kind);
        return true;
    });
}

// A byte text left with no code to decode goes to the sink as it is.
template <class Unit>
void DxfTexts::p_putText(Unit *text, int32_t length, TextKind kind)
{
    const bool codeLeft = textcodes::stripFormat(text, &length);
    if constexpr (sizeof(Unit) == 1) {
        if (!codeLeft) {
            textToSink(session_, text, length, DWG_CHARSET_BYTES, kind);
            return;
        }
    }
    auto *buffer = static_cast<uint8_t *>(hostTextBuffer(session_, sizeof(Unit) * (static_cast<uint32_t>(length) + 1)));
    if (buffer == nullptr) {
        reportf(session_, msg::kTextBuffer, HERE);
        return;
    }
    int32_t charset = DWG_CHARSET_BYTES;
    const int32_t count = textcodes::encodeText(text, length, codeLeft, buffer, &charset);
    textToSink(session_, buffer, count, charset, kind);
}

// Before R2007 a property is kept as the bytes of the code page, after as
// UTF-16, handed over low byte first as DWG's summary information stores
// it.
const uint8_t *DxfTexts::p_encoded(const uint8_t *bytes, uint32_t length, ReusableBlock *wideBytes, uint32_t *encoded)
{
    *encoded = length;
    if (!utf8_) {
        return bytes;
    }
    int32_t units = 0;
    const uint16_t *wide = p_widen(bytes, length, &units);
    auto *out = static_cast<uint8_t *>(wideBytes->reserve(memory_, 2 * static_cast<uint32_t>(units) + 1));
    if (wide == nullptr || out == nullptr) {
        *encoded = 0;
        return bytes;
    }
    for (int32_t i = 0; i < units; ++i) {
        out[2 * i] = static_cast<uint8_t>(wide[i]);
        out[2 * i + 1] = static_cast<uint8_t>(wide[i] >> 8);
    }
    *encoded = 2 * static_cast<uint32_t>(units);
    return out;
}

void DxfTexts::keepProperty(DrawingProperties *properties, PropertyText *into, const DxfGroup &group)
{
    if (into == nullptr) {
        return;
    }
    p_set(&value_, group);
    uint32_t length = 0;
    const uint8_t *bytes = p_encoded(value_.bytes, value_.length, &wideName_, &length);
    properties->keep(into, bytes, length, p_charset());
}

void DxfTexts::keepNamedPair(DrawingProperties *properties, const DxfGroup &group)
{
    p_set(&value_, group);
    const PropertiesPairSplit split = splitPropertiesPair(value_.bytes, value_.length);
    p_keepPair(properties, value_.bytes, split.nameLength, value_.bytes + split.valueAt,
               value_.length - split.valueAt);
}

void DxfTexts::keepCountedPair(DrawingProperties *properties, const DxfGroup &group)
{
    if (!pairNamed_) {
        p_set(&pairName_, group);
        pairNamed_ = true;
        return;
    }
    pairNamed_ = false;
    p_set(&value_, group);
    p_keepPair(properties, pairName_.bytes, pairName_.length, value_.bytes, value_.length);
}

void DxfTexts::p_keepPair(DrawingProperties *properties, const uint8_t *name, uint32_t nameLength,
                          const uint8_t *value, uint32_t valueLength)
{
    uint32_t encodedName = 0;
    uint32_t encodedValue = 0;
    const uint8_t *nameBytes = p_encoded(name, nameLength, &wideName_, &encodedName);
    const uint8_t *valueBytes = p_encoded(value, valueLength, &wideValue_, &encodedValue);
    addPropertiesPair(properties, nameBytes, encodedName, valueBytes, encodedValue, p_charset());
}

void DxfTexts::release()
{
    for (Gathered *gathered : {&chunks_, &value_, &prompt_, &pairName_}) {
        memory_->free(gathered->bytes);
        *gathered = Gathered{};
    }
    for (ReusableBlock *block : {&units_, &wideName_, &wideValue_}) {
        block->release(memory_);
    }
}
