// The header variables of R13 to R2000 drawings that our reader wants: the
// times when the drawing was made (TDCREATE), last saved (TDUPDATE) and how
// long it was edited (TDINDWG), and, among the handles near the end, the
// named-object dictionary's, through which the drawing's properties record
// is found. Later drawings give the times in their summary information.
#ifndef TQ_R13_HEADERTIMES_H
#define TQ_R13_HEADERTIMES_H

#include "core/properties.h"
#include "support/bitcursor.h"

// Reads past the variables before the times, which R13 and R14 have more of
// than R2000, then the times, from the cursor at the first variable (after
// the section's sentinel and size). False when the cursor ran out first;
// the properties then keep no time. Then on to the dictionary's handle:
// *namedObjects is 0 when the cursor runs out before it.
bool decodeHeaderTimes(BitCursor &in, bool beforeR2000, DrawingProperties *properties, uint64_t *namedObjects);

#endif
