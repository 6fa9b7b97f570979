// The LZ77 variant that compresses the pages of R2007 drawings. A stream
// alternates literal runs, copied from the stream itself, with one or more
// back-references into the bytes already produced. Each instruction's last
// byte carries, in its low three bits, the length of the literal run that
// follows (0: another instruction follows, or a byte below 0x10 gives the
// run's length). Literal runs are not stored in order: each 32 bytes are
// stored as four 8-byte groups, last group first, and a shorter tail in a
// fixed shuffle of its own per length.
#ifndef TQ_R2004_R2007LZ77_H
#define TQ_R2004_R2007LZ77_H

#include <cstdint>

#include "r2004/lz77.h"

// Decompresses input[0, inputSize) into output[0, capacity); the stream
// ends with its input. Fails on an instruction or literal run cut off by
// the end of the input, output past the capacity, or a back-reference
// before the start of the output.
Lz77Result decompressR2007Lz77(const uint8_t *input, uint32_t inputSize, uint8_t *output, uint32_t capacity);

#endif
