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

}  // namespace

bool decodeHeaderTimes(BitCursor &in, bool beforeR2000, DrawingProperties *properties)
{
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
    return true;
}
