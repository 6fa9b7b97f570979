#include <algorithm>
#include <cstring>

#include "core/versions.h"
#include "r13/dwgcommon.h"
#include "r13/proxygraphics.h"
#include "r13/textdata.h"
#include "support/byteswap.h"
#include "support/spandecode.h"

[[gnu::used]] static const char kIdent[] = "@(#)proxytexts(R13 to R2018): Version 1.00.00";

namespace {

// The graphic starts at any bit of the object: its bytes are copied into
// block, when they lie within the object's data and the bytes the file
// holds of it (so that no block is taken for a size the file cannot
// hold); null when they do not, or when the entity carries none.
uint8_t *copyGraphic(BitCursor &in, const ObjectHead &head, int32_t versionIndex, ReusableBlock &block,
                     MemoryService *memory, int32_t *length)
{
    GraphicPlace place{};
    const uint64_t dataEnd = std::min(static_cast<uint64_t>(head.length - kObjectCheckValue), in.spanLength());
    if (!findGraphic(in, versionIndex, &place) || place.bytes == 0 || place.bit / 8 + place.bytes > dataEnd) {
        return nullptr;
    }
    auto *bytes = static_cast<uint8_t *>(block.reserve(memory, static_cast<uint32_t>(place.bytes)));
    if (bytes == nullptr) {
        return nullptr;
    }
    in.seekBit(place.bit);
    in.bytes(bytes, static_cast<uint32_t>(place.bytes));
    *length = static_cast<int32_t>(place.bytes);
    return in.overran() ? nullptr : bytes;
}

// A text of UTF-16 units lies little-endian in the graphic, at an even
// offset of the block: its units are put in the host's order where they
// lie.
uint16_t *unitsInHostOrder(uint8_t *bytes, int32_t units)
{
    for (int32_t i = 0; i < units; ++i) {
        const uint16_t unit = littleEndian16(bytes + 2 * i);
        std::memcpy(bytes + 2 * i, &unit, sizeof unit);
    }
    return reinterpret_cast<uint16_t *>(bytes);
}

}  // namespace

int32_t TextData::putProxyTexts(int64_t start, const ObjectHead &head)
{
    uint8_t *graphic = nullptr;
    int32_t length = 0;
    decodeSpan(stream_, start, head.length, [&](BitCursor &in, bool) {
        graphic = copyGraphic(in, head, session_->versionIndex, textBlock_, memory_, &length);
    });
    ProxyTexts texts;
    if (graphic == nullptr || !texts.open(graphic, length)) {
        return 1;
    }
    for (ProxyText text{}; texts.next(&text);) {
        DecodedText decoded{};
        if (text.wide) {
            decoded.wide = unitsInHostOrder(graphic + text.at, text.length);
            decoded.units = text.length;
        } else {
            decoded.bytes = reinterpret_cast<char *>(graphic + text.at);
            decoded.length = text.length;
        }
        if (putDecodedText(decoded, false, TextKind::Proxy) == 0) {
            return 0;
        }
    }
    return 1;
}
