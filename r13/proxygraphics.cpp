#include "r13/proxygraphics.h"

#include "support/byteswap.h"

[[gnu::used]] static const char kIdent[] = "@(#)proxygraphics(R13 to R2018): Version 1.00.00";

namespace {

constexpr int32_t kGraphicHead = 8;    // size, count
constexpr int32_t kPrimitiveHead = 8;  // size, type
constexpr int32_t kAlignment = 4;
constexpr int32_t kRD = 8;
constexpr int32_t kRL = 4;

// A text primitive's layout: the bytes of the fields before its string,
// whether the string is of UTF-16 units, the bytes of the fields after it
// (the stated length first, when there are any) and how many names of its
// style follow those.
struct TextLayout {
    uint32_t type;
    int32_t before;
    bool wide;
    int32_t after;
    int32_t names;
};

constexpr int32_t kText2Fields = 2 * kRL + 4 * kRD + 5 * kRL;
constexpr TextLayout kTextLayouts[] = {
    {10, 12 * kRD, false, 0, 0},
    {11, 9 * kRD, false, kText2Fields, 2},
    {36, 12 * kRD, true, 0, 0},
    {38, 9 * kRD, true, kText2Fields + 4 * kRL, 3},
};

const TextLayout *textLayoutOf(uint32_t type)
{
    for (const TextLayout &layout : kTextLayouts) {
        if (layout.type == type) {
            return &layout;
        }
    }
    return nullptr;
}

int32_t padded(int32_t bytes)
{
    return (bytes + kAlignment - 1) / kAlignment * kAlignment;
}

// A string from at on: its bytes or units before its zero, and where the
// field after its padding starts; next is -1 when the zero or the padding
// does not come before end.
struct StringField {
    int32_t length;
    int32_t next;
};

StringField readString(const uint8_t *bytes, int32_t at, int32_t end, bool wide)
{
    const int32_t unit = wide ? 2 : 1;
    for (int32_t i = at; i + unit <= end; i += unit) {
        if (bytes[i] == 0 && (!wide || bytes[i + 1] == 0)) {
            const int32_t next = at + padded(i + unit - at);
            return next <= end ? StringField{(i - at) / unit, next} : StringField{0, -1};
        }
    }
    return StringField{0, -1};
}

// The text primitive whose fields run from at to end, when they fill it
// exactly. A stated length shorter than the string cuts it.
bool readTextPrimitive(const uint8_t *bytes, int32_t at, int32_t end, const TextLayout &layout, ProxyText *text)
{
    const int32_t textAt = at + layout.before;
    if (textAt > end) {
        return false;
    }
    const StringField string = readString(bytes, textAt, end, layout.wide);
    if (string.next < 0 || end - string.next < layout.after) {
        return false;
    }
    *text = ProxyText{textAt, string.length, layout.wide};
    if (layout.after > 0) {
        const auto stated = static_cast<int32_t>(littleEndian32(bytes + string.next));
        if (stated >= 0 && stated < string.length) {
            text->length = stated;
        }
    }
    int32_t next = string.next + layout.after;
    for (int32_t name = 0; name < layout.names && next >= 0; ++name) {
        next = readString(bytes, next, end, layout.wide).next;
    }
    return next == end;
}

}  // namespace

// The graphic's primitives are walked once to see that it parses; its
// texts are then taken on a second walk. A count beyond the primitive
// heads the bytes can hold is no count.
bool ProxyTexts::open(const uint8_t *bytes, int32_t length)
{
    *this = ProxyTexts{};
    if (length < kGraphicHead || littleEndian32(bytes) != static_cast<uint32_t>(length)) {
        return false;
    }
    const uint32_t count = littleEndian32(bytes + kRL);
    if (count > static_cast<uint32_t>((length - kGraphicHead) / kPrimitiveHead)) {
        return false;
    }
    ProxyTexts walk;
    walk.bytes_ = bytes;
    walk.length_ = length;
    walk.at_ = kGraphicHead;
    walk.left_ = count;
    const ProxyTexts start = walk;
    while (walk.left_ > 0) {
        bool found = false;
        ProxyText text{};
        if (!walk.p_step(&text, &found)) {
            return false;
        }
    }
    if (walk.at_ != length) {
        return false;
    }
    *this = start;
    return true;
}

bool ProxyTexts::next(ProxyText *text)
{
    while (left_ > 0) {
        bool found = false;
        if (!p_step(text, &found)) {
            left_ = 0;
            return false;
        }
        if (found) {
            return true;
        }
    }
    return false;
}

// The primitive at at_: its size, a multiple of 4 that takes in its head,
// ends within the graphic; a text primitive's fields fill it.
bool ProxyTexts::p_step(ProxyText *text, bool *found)
{
    if (length_ - at_ < kPrimitiveHead) {
        return false;
    }
    const uint32_t size = littleEndian32(bytes_ + at_);
    if (size < kPrimitiveHead || size % kAlignment != 0 || size > static_cast<uint32_t>(length_ - at_)) {
        return false;
    }
    const int32_t end = at_ + static_cast<int32_t>(size);
    const TextLayout *layout = textLayoutOf(littleEndian32(bytes_ + at_ + kRL));
    *found = layout != nullptr;
    if (*found && !readTextPrimitive(bytes_, at_ + kPrimitiveHead, end, *layout, text)) {
        return false;
    }
    at_ = end;
    --left_;
    return true;
}
