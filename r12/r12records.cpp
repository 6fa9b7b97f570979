#include "r12/r12records.h"

#include <utility>

#include "core/versions.h"
#include "support/bitcursor.h"

[[gnu::used]] static const char kIdent[] = "@(#)r12records(R10, R11 and R12): Version 2.05.00";

namespace {

// Bits of the flags byte in an entity head: each announces one field of
// the common part (see skipEntityCommon for the order they are stored in).
constexpr uint8_t kFlagColour = 0x01;
constexpr uint8_t kFlagLinetype = 0x02;
constexpr uint8_t kFlagElevation = 0x04;
constexpr uint8_t kFlagThickness = 0x08;
constexpr uint8_t kFlagHandle = 0x20;
constexpr uint8_t kFlagExtraFlags = 0x40;

// Bits of the extra-flags byte.
constexpr uint8_t kExtraExtendedData = 0x02;
constexpr uint8_t kExtraWord = 0x04;

// Bit of a BLOCK record's option word: a second string follows the name.
constexpr uint16_t kBlockSecondString = 0x02;

constexpr uint32_t kRealSize = 8;
constexpr uint32_t kPoint2DSize = 2 * kRealSize;

// After the first word and the option word, the fields the flags announce
// are stored in this order: extra flags, one block of extended data (its
// size, then as many bytes, none of them a text), colour, linetype index
// (one byte in R10, two from R11 on), elevation (a real in the records that
// hold texts; LINE, POINT and 3DFACE keep theirs in their points),
// thickness, handle (a counted byte string), viewport. Answers the option
// word.
uint16_t skipEntityCommon(BitCursor &in, int32_t versionIndex, const R12EntityHead &head)
{
    in.RS();
    const uint16_t optionWord = in.RS();
    const uint8_t extraFlags = (head.flags & kFlagExtraFlags) != 0 ? in.RC() : 0;
    if ((extraFlags & kExtraExtendedData) != 0) {
        in.skipBytes(in.RS());
    }
    if ((head.flags & kFlagColour) != 0) {
        in.skipBits(8);
    }
    if ((head.flags & kFlagLinetype) != 0) {
        in.skipBytes(versionIndex == kAC1006 ? 1 : 2);
    }
    if ((head.flags & kFlagElevation) != 0) {
        in.skipBytes(kRealSize);
    }
    if ((head.flags & kFlagThickness) != 0) {
        in.skipBytes(kRealSize);
    }
    if ((head.flags & kFlagHandle) != 0) {
        in.skipBytes(in.RC());
    }
    if ((extraFlags & kExtraWord) != 0) {
        in.skipBytes(2);
    }
    return optionWord;
}

// A string: its length, then its bytes. False when it runs out.
bool readString(BitCursor &in, bool endsFile, R12Strings *strings)
{
    const uint16_t length = in.RS();
    if (in.overran()) {
        return false;
    }
    const uint64_t offset = in.bitOffset() / 8;
    in.skipBytes(length);
    if (length == 0) {
        return true;
    }
    const uint64_t available = in.overran() && endsFile ? in.spanLength() - offset : length;
    if (available == 0 || (in.overran() && !endsFile)) {
        return false;
    }
    strings->strings[strings->count++] = {static_cast<uint32_t>(offset), length, static_cast<uint16_t>(available)};
    return true;
}

int32_t stringsOf(uint8_t type, uint16_t optionWord)
{
    switch (type) {
    case kR12Text:
        return 1;
    case kR12Attrib:
        return 2;
    case kR12Attdef:
        return 3;
    default:
        return (optionWord & kBlockSecondString) != 0 ? 2 : 1;
    }
}

}  // namespace

void readTextRecord(BitCursor &in, int32_t versionIndex, bool endsFile, R12Strings *strings)
{
    *strings = R12Strings{};
    R12EntityHead head{};
    readEntityHead(in, &head);
    const uint16_t optionWord = skipEntityCommon(in, versionIndex, head);
    in.skipBytes(head.type == kR12Block ? kPoint2DSize : kPoint2DSize + kRealSize);
    if (in.overran()) {
        return;
    }
    const int32_t count = stringsOf(head.type, optionWord);
    for (int32_t i = 0; i < count; ++i) {
        if (!readString(in, endsFile, strings)) {
            return;
        }
    }
    strings->whole = true;
}

// After the version text and eight bytes nobody reads come the section
// addresses and the first five table descriptors; the header variables
// and the dates follow, and the other five descriptors stand at fixed
// offsets up to the end of the header. Nothing but the addresses is kept.
R12HeaderRead readR12Header(BitCursor &in, R12Addresses *addresses)
{
    constexpr uint64_t kAddresses = 0x14;
    constexpr uint64_t kFirstTablesEnd = 0x5E;
    constexpr uint64_t kVariablesEnd = 0x3EF;
    in.seekBit(kAddresses * 8);
    int32_t *const fields[] = {&addresses->entitiesStart, &addresses->entitiesEnd, &addresses->blocksStart,
                               &addresses->blocksSize,    &addresses->fourthAddress, &addresses->extrasSize};
    for (int32_t *field : fields) {
        *field = static_cast<int32_t>(in.RL());
    }
    if (in.overran()) {
        return R12HeaderRead::NoAddresses;
    }
    const std::pair<uint64_t, R12HeaderRead> parts[] = {{kFirstTablesEnd, R12HeaderRead::NoFirstTables},
                                                        {kVariablesEnd, R12HeaderRead::NoVariables},
                                                        {kR12HeaderEnd, R12HeaderRead::NoLastTables}};
    for (const auto &[end, cut] : parts) {
        in.seekBit(end * 8);
        if (in.overran()) {
            return cut;
        }
    }
    return R12HeaderRead::Whole;
}

bool readR12Times(BitCursor &in, DrawingProperties *properties)
{
    constexpr uint64_t kTimesAt = 0x31F;
    in.seekBit(kTimesAt * 8);
    JulianTime times[3] = {};
    for (JulianTime &time : times) {
        time.day = static_cast<int32_t>(in.RL());
        time.milliseconds = static_cast<int32_t>(in.RL());
        time.present = true;
    }
    if (in.overran()) {
        return false;
    }
    properties->created = times[0];
    properties->modified = times[1];
    properties->editingTime = times[2];
    return true;
}
