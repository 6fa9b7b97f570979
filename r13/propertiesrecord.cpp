#include "r13/propertiesrecord.h"

#include <cstring>

#include "TQDUDADE.h"
#include "core/versions.h"
#include "r13/dwgcommon.h"
#include "support/bytereader.h"

namespace {

constexpr uint16_t kMarkerGroup = 1;
constexpr uint16_t kHyperlinkBaseGroup = 1;

bool isText(uint16_t code)
{
    return code <= 9 || (code >= kFirstNamedPairGroup && code <= kLastNamedPairGroup);
}

// The size of a number's value by its group code's range, as in DXF:
// doubles, shorts and longs. 0 for a code the record does not hold.
uint32_t numberSize(uint16_t code)
{
    if (code >= 40 && code <= 59) {
        return 8;
    }
    if (code >= 60 && code <= 79) {
        return 2;
    }
    return code >= 90 && code <= 99 ? 4 : 0;
}

// The groups of the standard texts (the second group 1, after the marker,
// is the hyperlink base).
struct StandardGroup {
    uint16_t code;
    PropertyKey key;
};
constexpr StandardGroup kStandardGroups[] = {
    {kHyperlinkBaseGroup, PropertyKey::HyperlinkBase},
    {2, PropertyKey::Title},
    {3, PropertyKey::Subject},
    {4, PropertyKey::Author},
    {6, PropertyKey::Comments},
    {7, PropertyKey::Keywords},
    {8, PropertyKey::LastSavedBy},
    {9, PropertyKey::Revision},
};

// A text of the data: where its bytes are and how many.
struct GroupText {
    const uint8_t *bytes;
    uint32_t length;
};

// The record's data read in turn: a text is a 16-bit length, the code
// page's byte, then the bytes.
class GroupReader : public ByteReader {
public:
    using ByteReader::ByteReader;

    GroupText text()
    {
        const uint32_t length = number(2);
        number(1);
        const uint8_t *bytes = take(length);
        return bytes == nullptr ? GroupText{nullptr, 0} : GroupText{bytes, length};
    }
};

void keepText(DrawingProperties *properties, PropertyText *into, GroupText text)
{
    properties->keep(into, text.bytes, text.length, DWG_CHARSET_BYTES);
}

void addCustom(DrawingProperties *properties, GroupText name, GroupText value)
{
    addPropertiesPair(properties, name.bytes, name.length, value.bytes, value.length, DWG_CHARSET_BYTES);
}

void addNamedPair(DrawingProperties *properties, GroupText pair)
{
    const PropertiesPairSplit split = splitPropertiesPair(pair.bytes, pair.length);
    addCustom(properties, GroupText{pair.bytes, split.nameLength},
              GroupText{pair.bytes + split.valueAt, pair.length - split.valueAt});
}

// The pairs after the count: each a name group and a value group, texts.
// False when a group is not a text; a count past the data's end cuts it.
bool readCountedPairs(GroupReader &in, DrawingProperties *properties, uint32_t count)
{
    for (uint32_t i = 0; i < count && !in.cut(); ++i) {
        const uint16_t nameCode = static_cast<uint16_t>(in.number(2));
        const GroupText name = in.text();
        const uint16_t valueCode = static_cast<uint16_t>(in.number(2));
        const GroupText value = in.text();
        if (!isText(nameCode) || !isText(valueCode)) {
            return false;
        }
        if (!in.cut()) {
            addCustom(properties, name, value);
        }
    }
    return true;
}

// A text group: a standard property, a custom pair, or neither.
void takeText(DrawingProperties *properties, uint16_t code, GroupText text)
{
    PropertyText *standard = propertiesStandardText(properties, code);
    if (standard != nullptr) {
        keepText(properties, standard, text);
    } else if (code >= kFirstNamedPairGroup) {
        addNamedPair(properties, text);
    }
}

bool opensWithMarker(GroupReader &in)
{
    const uint16_t code = static_cast<uint16_t>(in.number(2));
    const GroupText marker = in.text();
    return !in.cut() && code == kMarkerGroup && marker.length == sizeof kPropertiesMarker - 1 &&
           memcmp(marker.bytes, kPropertiesMarker, marker.length) == 0;
}

// Which of the dictionary's entries, whose names the cursor stands at, is
// called name: count when none is. R13 writes a name as its bytes, R14 and
// R2000 with a terminating zero.
uint32_t entryNamed(BitCursor &in, uint32_t count, const char *name)
{
    const uint32_t nameLength = static_cast<uint32_t>(strlen(name));
    for (uint32_t i = 0; i < count && !in.overran(); ++i) {
        const uint16_t length = in.BS();
        bool same = length == nameLength || length == nameLength + 1;
        for (uint32_t k = 0; k < length && !in.overran(); ++k) {
            const uint8_t byte = in.RC();
            same = same && byte == (k < nameLength ? static_cast<uint8_t>(name[k]) : 0);
        }
        if (same && !in.overran()) {
            return i;
        }
    }
    return count;
}

}  // namespace

PropertyText *propertiesStandardText(DrawingProperties *properties, uint16_t code)
{
    for (const StandardGroup &group : kStandardGroups) {
        if (group.code == code) {
            return &properties->standard[static_cast<int32_t>(group.key)];
        }
    }
    return nullptr;
}

// A pair with an empty name is a slot the program left unused.
void addPropertiesPair(DrawingProperties *properties, const uint8_t *name, uint32_t nameLength, const uint8_t *value,
                       uint32_t valueLength, int32_t charset)
{
    if (nameLength == 0) {
        return;
    }
    const int32_t slot = properties->customCount;
    if (slot == DrawingProperties::kMaxCustom) {
        properties->capped = true;
        return;
    }
    PropertyText keptName{};
    PropertyText keptValue{};
    properties->keep(&keptName, name, nameLength, charset);
    properties->keep(&keptValue, value, valueLength, charset);
    if (keptName.present && keptValue.present) {
        properties->customNames[slot] = keptName;
        properties->customValues[slot] = keptValue;
        ++properties->customCount;
    }
}

PropertiesPairSplit splitPropertiesPair(const uint8_t *pair, uint32_t length)
{
    const auto *equals = length == 0 ? nullptr : static_cast<const uint8_t *>(memchr(pair, '=', length));
    const uint32_t nameLength = equals == nullptr ? length : static_cast<uint32_t>(equals - pair);
    return {nameLength, equals == nullptr ? length : nameLength + 1};
}

// After the common data: the count of entries, a byte in R14, the cloning
// flag and the hard-owner byte from R2000 on, then the entries' names. The
// handles open with the owner's, the reactors' and the extension
// dictionary's, then give the entries' in the same order as the names
// (soft owners: absolute handles).
uint64_t findDictionaryEntry(BitCursor &in, int32_t versionIndex, const char *name)
{
    ObjectCommonData common{};
    if (!readObjectCommonData(in, versionIndex, &common)) {
        return 0;
    }
    const uint32_t count = in.BL();
    if (versionIndex == kAC1014) {
        in.skipBits(8);
    }
    if (versionAtLeast(versionIndex, kAC1015)) {
        in.skipBS();
        in.skipBits(8);
    }
    const uint32_t entry = entryNamed(in, count, name);
    if (entry == count || common.dataEndBit < 0) {
        return 0;
    }
    in.seekBit(static_cast<uint64_t>(common.dataEndBit));
    const uint64_t before = uint64_t{common.reactors} + 2 + entry;
    for (uint64_t i = 0; i < before && !in.overran(); ++i) {
        in.skipH();
    }
    const uint64_t item = in.H();
    return in.overran() ? 0 : item;
}

bool decodePropertiesGroups(const uint8_t *bytes, uint32_t length, DrawingProperties *properties)
{
    GroupReader in(bytes, length);
    if (!opensWithMarker(in)) {
        return false;
    }
    while (!in.atEnd()) {
        const uint16_t code = static_cast<uint16_t>(in.number(2));
        if (code == kPropertiesPairCountGroup) {
            if (!readCountedPairs(in, properties, in.number(4))) {
                return false;
            }
        } else if (isText(code)) {
            const GroupText text = in.text();
            if (!in.cut()) {
                takeText(properties, code, text);
            }
        } else if (numberSize(code) != 0) {
            in.skip(numberSize(code));
        } else {
            return false;
        }
    }
    return !in.cut();
}

// After the common data: the count of the data's bytes, then the bytes,
// which end where the handles begin. From R2000 on a cloning flag follows
// them, which nothing here needs.
bool decodePropertiesRecord(BitCursor &in, int32_t versionIndex, uint8_t *scratch, uint32_t room,
                            DrawingProperties *properties)
{
    ObjectCommonData common{};
    if (!readObjectCommonData(in, versionIndex, &common)) {
        return false;
    }
    const uint32_t claimed = in.BL();
    const auto dataEnd = static_cast<uint64_t>(common.dataEndBit < 0 ? 0 : common.dataEndBit);
    const uint64_t end = dataEnd < in.spanLength() * 8 ? dataEnd : in.spanLength() * 8;
    const uint64_t held = in.bitOffset() < end ? (end - in.bitOffset()) / 8 : 0;
    uint64_t copied = claimed < held ? claimed : held;
    copied = copied < room ? copied : room;
    in.bytes(scratch, static_cast<uint32_t>(copied));
    if (in.overran()) {
        return false;
    }
    const bool decoded = decodePropertiesGroups(scratch, static_cast<uint32_t>(copied), properties);
    if (claimed > held) {
        return false;
    }
    if (claimed > room) {
        properties->capped = true;
        return true;
    }
    return decoded;
}
