// The times in the header variables of R13 to R2000 drawings: when the
// drawing was made (TDCREATE), last saved (TDUPDATE) and how long it was
// edited (TDINDWG). Later drawings give them in their summary information.
#ifndef TQ_R13_HEADERTIMES_H
#define TQ_R13_HEADERTIMES_H

#include "core/properties.h"
#include "support/bitcursor.h"

// Reads past the variables before the times, which R13 and R14 have more of
// than R2000, then the times, from the cursor at the first variable (after
// the section's sentinel and size). False when the cursor ran out first;
// the properties then keep no time.
bool decodeHeaderTimes(BitCursor &in, bool beforeR2000, DrawingProperties *properties);

#endif
