#include "r13/classes.h"

#include "core/versions.h"
#include "r13/dwgcommon.h"
#include "r2004/container.h"
#include "support/bitcursor.h"
#include "support/publicstorage.h"

[[gnu::used]] static const char kIdent[] = "@(#)classes(R13 to R2018): Version 1.01.00";

namespace {

constexpr int32_t kSentinelBytes = 16;
// The DXF names of the classes looked for, in the order of ClassNumbers'
// fields.
constexpr const char *kWantedNames[] = {"MULTILEADER", "ACAD_TABLE", "ARC_DIMENSION", "LARGE_RADIAL_DIMENSION"};
constexpr int32_t kWantedCount = sizeof kWantedNames / sizeof kWantedNames[0];

constexpr uint32_t nameLength(const char *name)
{
    uint32_t length = 0;
    while (name[length] != '\0') {
        ++length;
    }
    return length;
}

constexpr uint32_t longestWantedName()
{
    uint32_t longest = 0;
    for (const char *name : kWantedNames) {
        longest = nameLength(name) > longest ? nameLength(name) : longest;
    }
    return longest;
}

constexpr uint32_t kLongestWantedName = longestWantedName();

uint16_t *wantedField(ClassNumbers *numbers, int32_t wanted)
{
    return wanted == 0 ? &numbers->multileader : &numbers->blockText[wanted - 1];
}

// Whether the first count units of a stored name are `name`: its count
// takes in a closing zero in some drawings and not in others.
bool sameName(const uint32_t *units, uint32_t count, const char *name)
{
    const uint32_t length = nameLength(name);
    if (count != length && !(count == length + 1 && units[length] == 0)) {
        return false;
    }
    for (uint32_t i = 0; i < length; ++i) {
        if (units[i] != static_cast<uint8_t>(name[i])) {
            return false;
        }
    }
    return true;
}

// Which of the wanted classes a stored name names, -1 none: bytes up to
// R2004, UTF-16 units after. Every unit is read, to pass the name.
template <class Read>
int32_t wantedNamed(uint32_t count, Read readUnit)
{
    uint32_t units[kLongestWantedName + 1] = {};
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t unit = readUnit();
        if (i <= kLongestWantedName) {
            units[i] = unit;
        }
    }
    for (int32_t wanted = 0; wanted < kWantedCount && count <= kLongestWantedName + 1; ++wanted) {
        if (sameName(units, count, kWantedNames[wanted])) {
            return wanted;
        }
    }
    return -1;
}

// Up to R2004 the names stand among the fields, from R2007 on they are the
// next texts of the string stream (names).
int32_t readDxfName(BitCursor &in, BitCursor &names, bool wide)
{
    BitCursor &from = wide ? names : in;
    for (int32_t name = 0; name < 2; ++name) {  // the application's and the C++ class's
        const uint32_t count = from.BS();
        from.skipBits(uint64_t{count} * (wide ? 16 : 8));
    }
    const uint32_t count = from.BS();
    return wide ? wantedNamed(count, [&] { return uint32_t{from.RS()}; })
                : wantedNamed(count, [&] { return uint32_t{from.RC()}; });
}

// Each class: a BS number, a BS of proxy flags, the three names, a zombie
// bit, a BS item class and from R2004 on (counted) five BLs (the count of
// its objects, the release and maintenance release it came with, two
// more), up to dataEnd. A number below the first class number would be a
// listed type's, and is not taken.
ClassNumbers findIn(BitCursor &in, BitCursor &names, int64_t dataEnd, bool wide, bool counted)
{
    ClassNumbers numbers{};
    while (static_cast<int64_t>(in.bitOffset()) < dataEnd && !in.overran() && !names.overran()) {
        const uint16_t number = in.BS();
        in.skipBS();
        const int32_t wanted = readDxfName(in, names, wide);
        in.skipBits(1);
        in.skipBS();
        for (int32_t i = 0; counted && i < 5; ++i) {
            in.skipBL();
        }
        if (wanted >= 0 && !in.overran() && !names.overran() && number >= kFirstClassNumber) {
            *wantedField(&numbers, wanted) = number;
        }
    }
    return numbers;
}

}  // namespace

// After the sentinel: the RL size of the data (and the second word). From
// R2007 on an RL count of bits, from where it stands, to the end of the
// string stream; then a BL (the highest class number) and a bit. In R2004
// a BS, two bytes and a bit; up to R2000 the classes follow the size.
ClassNumbers findClassNumbersIn(const uint8_t *bytes, int32_t length, int32_t versionIndex, bool moreSizeWord)
{
    BitCursor in(bytes, length);
    in.skipBytes(kSentinelBytes);
    const uint32_t size = in.RL();
    if (moreSizeWord) {
        in.skipBits(32);
    }
    if (!versionAtLeast(versionIndex, kAC1021)) {
        const int64_t dataEnd = (int64_t{kSentinelBytes} + 4 + size) * 8;
        const bool paged = versionAtLeast(versionIndex, kAC1018);
        if (paged) {
            in.skipBS();
            in.skipBits(8 + 8 + 1);
        }
        return findIn(in, in, dataEnd, false, paged);
    }
    const int64_t bitsAt = static_cast<int64_t>(in.bitOffset());
    const int64_t streamEnd = bitsAt + in.RL();
    const int64_t afterBits = static_cast<int64_t>(in.bitOffset());
    BitCursor names(bytes, length);
    const int64_t dataEnd = stringStreamStart(names, streamEnd);
    if (in.overran() || dataEnd < afterBits) {
        return ClassNumbers{};
    }
    names.seekBit(static_cast<uint64_t>(dataEnd));
    in.skipBL();
    in.skipBits(1);
    return findIn(in, names, dataEnd, true, true);
}

ClassNumbers findClassNumbers(MemoryService *memory, DrawingContainer *container, int32_t versionIndex,
                              bool moreSizeWord)
{
    const uint64_t size = container->sectionSize(SectionName::Classes);
    const uint32_t wanted = size < kMostClassBytes ? static_cast<uint32_t>(size) : kMostClassBytes;
    if (wanted == 0) {
        return kClassesUnknown;
    }
    auto *bytes = static_cast<uint8_t *>(memory->allocate(wanted));
    if (bytes == nullptr) {
        return ClassNumbers{};
    }
    const int32_t got = container->readSection(SectionName::Classes, 0, bytes, static_cast<int32_t>(wanted));
    const ClassNumbers numbers = static_cast<uint32_t>(got) == wanted
                                     ? findClassNumbersIn(bytes, got, versionIndex, moreSizeWord)
                                     : kClassesUnknown;
    memory->free(bytes);
    return numbers;
}
