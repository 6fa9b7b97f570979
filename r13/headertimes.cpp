#include "r13/headertimes.h"

namespace {

// What precedes the times, in runs of one kind: four doubles, four texts,
// two longs, (R13 and R14: a short), the current viewport's handle, the
// flags from DIMASO to PELLIPSE, the shorts from PROXYGRAPHICS to
// TEXTQLTY, the doubles from LTSCALE to CELTSCALE, and the menu's name. R13
// and R14 keep some flags and shorts that later releases moved out of the
// drawing.
constexpr uint32_t kLeadingDoubles = 4;
constexpr uint32_t kLeadingTexts = 4;
constexpr uint32_t kFlags = 20;
constexpr uint32_t kFlagsBeforeR2000 = kFlags + 6;
constexpr uint32_t kShorts = 27;
constexpr uint32_t kShortsBeforeR2000 = kShorts + 4;
constexpr uint32_t kDoubles = 21;

void skipText(BitCursor &in) { in.skipBytes(in.BS()); }

JulianTime time(BitCursor &in)
{
    JulianTime read{};
    read.day = static_cast<int32_t>(in.BL());
    read.milliseconds = static_cast<int32_t>(in.BL());
    read.present = true;
    return read;
}

void skipHandles(BitCursor &in, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        in.skipH();
    }
}

void skipShorts(BitCursor &in, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        in.skipBS();
    }
}

// The insertion base, extents, limits, elevation and user coordinate system
// of one space (paper space first, then model space); R2000 adds the
// orthographic frames of the coordinate system.
void skipSpace(BitCursor &in, bool beforeR2000)
{
    constexpr uint32_t kPointDoubles = 3;
    in.skipBDs(3 * kPointDoubles);  // INSBASE, EXTMIN, EXTMAX
    in.skipBits(4 * 64);            // LIMMIN, LIMMAX: raw doubles
    in.skipBD();                    // ELEVATION
    in.skipBDs(3 * kPointDoubles);  // UCSORG, UCSXDIR, UCSYDIR
    in.skipH();                     // UCSNAME
    if (!beforeR2000) {
        in.skipH();  // UCSORTHOREF
        in.skipBS();
        in.skipH();  // UCSBASE
        in.skipBDs(6 * kPointDoubles);
    }
}

// The dimension variables: R13 and R14 keep the flags and small numbers
// as bits and bytes in one run, the style's texts as texts; R2000 keeps
// them as bits and shorts in other places, the blocks as handles. The
// colours (CMC) are shorts in all of them.
void skipDimensionVariables(BitCursor &in, bool beforeR2000)
{
    constexpr uint32_t kColors = 3;
    if (beforeR2000) {
        in.skipBits(11);      // DIMTOL to DIMSOXD
        in.skipBits(2 * 8);   // DIMALTD, DIMZIN
        in.skipBits(2);       // DIMSD1, DIMSD2
        in.skipBits(3 * 8);   // DIMTOLJ, DIMJUST, DIMFIT
        in.skipBits(1);       // DIMUPT
        in.skipBits(4 * 8);   // DIMTZIN, DIMALTZ, DIMALTTZ, DIMTAD
        skipShorts(in, 6);    // DIMUNIT to DIMALTTD
        in.skipH();           // DIMTXSTY
    } else {
        skipText(in);  // DIMPOST
        skipText(in);  // DIMAPOST
    }
    in.skipBDs(9);  // DIMSCALE to DIMTM
    if (!beforeR2000) {
        in.skipBits(6);     // DIMTOL to DIMSE2
        skipShorts(in, 3);  // DIMTAD, DIMZIN, DIMAZIN
    }
    in.skipBDs(8);  // DIMTXT to DIMGAP
    if (beforeR2000) {
        for (uint32_t i = 0; i < 5; ++i) {
            skipText(in);  // DIMPOST, DIMAPOST, DIMBLK, DIMBLK1, DIMBLK2
        }
    } else {
        in.skipBD();  // DIMALTRND
        in.skipBits(1);
        in.skipBS();     // DIMALTD
        in.skipBits(4);  // DIMTOFL, DIMSAH, DIMTIX, DIMSOXD
    }
    skipShorts(in, kColors);
    if (!beforeR2000) {
        skipShorts(in, 11);  // DIMADEC to DIMJUST
        in.skipBits(2);      // DIMSD1, DIMSD2
        skipShorts(in, 4);   // DIMTOLJ, DIMTZIN, DIMALTZ, DIMALTTZ
        in.skipBits(1);      // DIMUPT
        in.skipBS();         // DIMATFIT
        skipHandles(in, 5);  // DIMTXSTY, DIMLDRBLK, DIMBLK, DIMBLK1, DIMBLK2
        skipShorts(in, 2);   // DIMLWD, DIMLWE
    }
}

// From the user timer on: the current colour, the next handle and five
// current tables, the two spaces, the dimension variables, then the
// handles of the ten control objects and of two dictionaries before the
// named-object dictionary's.
uint64_t namedObjectsHandle(BitCursor &in, bool beforeR2000)
{
    constexpr uint32_t kHandlesBefore = 10 + 2;
    in.skipBL();
    in.skipBL();
    in.skipBS();
    skipHandles(in, 1 + 5);
    if (!beforeR2000) {
        in.skipBD();  // PSVPSCALE
    }
    skipSpace(in, beforeR2000);
    skipSpace(in, beforeR2000);
    skipDimensionVariables(in, beforeR2000);
    skipHandles(in, kHandlesBefore);
    const uint64_t handle = in.H();
    return in.overran() ? 0 : handle;
}

}  // namespace

bool decodeHeaderTimes(BitCursor &in, bool beforeR2000, DrawingProperties *properties, uint64_t *namedObjects)
{
    *namedObjects = 0;
    in.skipBDs(kLeadingDoubles);
    for (uint32_t i = 0; i < kLeadingTexts; ++i) {
        skipText(in);
    }
    in.skipBL();
    in.skipBL();
    if (beforeR2000) {
        in.skipBS();
    }
    in.skipH();
    in.skipBits(beforeR2000 ? kFlagsBeforeR2000 : kFlags);
    for (uint32_t i = 0; i < (beforeR2000 ? kShortsBeforeR2000 : kShorts); ++i) {
        in.skipBS();
    }
    in.skipBDs(kDoubles);
    skipText(in);
    const JulianTime created = time(in);
    const JulianTime modified = time(in);
    const JulianTime editing = time(in);
    if (in.overran()) {
        return false;
    }
    properties->created = created;
    properties->modified = modified;
    properties->editingTime = editing;
    *namedObjects = namedObjectsHandle(in, beforeR2000);
    return true;
}
