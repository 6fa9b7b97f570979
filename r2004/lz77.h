// The compression of R2004 and later pages: an LZ77 variant in which a page
// is a first run of literal bytes, then a chain of commands, each copying
// bytes from earlier in the output and then a run of literals, until the
// end command 0x11. The decoder is a pure function over byte spans so that
// tests can feed it hand-made streams; it never trusts what it reads.
#ifndef TQ_R2004_LZ77_H
#define TQ_R2004_LZ77_H

#include <cstdint>

// What became of a page's stream, in this decoder and in the one of R2007
// (which has no end command, and so no BadOpcode).
enum class Lz77Status : int32_t {
    Ok,
    TruncatedInput,        // the stream ends before its end command
    ReferenceBeforeStart,  // a copy reaches back before the first output byte
    OutputOverflow,        // the page would grow past the capacity given
    BadOpcode,             // a command byte no compressor writes
};

struct Lz77Result {
    Lz77Status status;
    uint32_t produced;  // output bytes written, also when the stream fails
};

// Decompresses input[0, inputSize) into output[0, capacity). Stops at the
// end command; bytes of input after it are not looked at.
Lz77Result decompressLz77(const uint8_t *input, uint32_t inputSize, uint8_t *output, uint32_t capacity);

#endif
