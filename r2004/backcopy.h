// The copy both page decompressors make for a back-reference: length bytes
// from distance bytes back, as if one byte after the other, so that a
// reference that reaches back less far than it is long repeats the bytes
// it reaches (a run of zeros is a one-byte reference that long).
#ifndef TQ_R2004_BACKCOPY_H
#define TQ_R2004_BACKCOPY_H

#include <cstdint>
#include <cstring>

// A repeated pattern: once a whole number of its periods is written, they
// and the one before them can be copied on at once without overlapping, so
// the steps double. A one-byte pattern is a fill. Out of line, so that a
// decoder's loop keeps the common copy inlined.
[[gnu::noinline]] inline void repeatBack(uint8_t *to, uint32_t distance, uint32_t length)
{
    if (distance == 1) {
        memset(to, to[-1], length);
        return;
    }
    for (uint32_t done = 0; done < length;) {
        const uint32_t step = length - done < done + distance ? length - done : done + distance;
        memcpy(to + done, to - distance, step);
        done += step;
    }
}

// The caller has checked that distance bytes lie before to and length
// after it.
inline void copyBack(uint8_t *to, uint32_t distance, uint32_t length)
{
    if (distance >= length) {
        memcpy(to, to - distance, length);
    } else {
        repeatBack(to, distance, length);
    }
}

#endif
