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

namespace lz77r21 {

// Decompresses source[0 .. sourceSize) into destination, which holds
// destinationSize bytes. Returns the bytes produced, or -1 when the stream
// is malformed: an instruction or literal run cut off by the end of the
// source, output past destinationSize, or a back-reference before the
// start of the output.
int32_t decompress(const uint8_t *source, int32_t sourceSize, uint8_t *destination, int32_t destinationSize);

}  // namespace lz77r21

#endif
