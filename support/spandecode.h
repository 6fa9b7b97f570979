// Decoding a record of a drawing from its bytes in memory. A record is read
// from a span of the length it states. A damaged drawing may state a length
// its fields do not fit in; they are then read on from the bytes that
// follow the record in the file, as far as any record's fields can reach,
// so that it decodes as it would from the file itself.
#ifndef TQ_SUPPORT_SPANDECODE_H
#define TQ_SUPPORT_SPANDECODE_H

#include <cstdint>

#include "support/bitcursor.h"
#include "support/filestrmio.h"

// The longest stretch of a file the fields of one record can reach from its
// start. For an R13 to R2018 object: its head and handle, extended data that
// may start just before the end of the largest object and run a full block
// past it, the fixed fields, and two texts of the longest length a BS
// states, in UTF-16. For an R10 to R12 record: its head, a common part with
// a full block of extended data and a handle, and three strings of the
// longest length a 16-bit count states. A field read never reaches further,
// whatever the record's length says.
constexpr int32_t kLongestRecordRead = 1 << 19;

// Decodes the record of length bytes at start with decode(cursor, endsFile),
// where endsFile says that the span ends where the file does, once more
// over the longest stretch when it ran out of the record's own bytes.
// Answers the span decoded last, whose bytes stay valid until the stream's
// next span.
template <class Decode>
FileStream::Span decodeSpan(FileStream *stream, int64_t start, int32_t length, Decode decode)
{
    FileStream::Span span = stream->span(start, length);
    BitCursor in(span.bytes, span.length, span.readable);
    decode(in, span.clipped);
    stream->noteLoadsNearEnd(in.loadsNearEnd());
    if (in.overran() && !span.clipped) {
        span = stream->span(start, kLongestRecordRead);
        in = BitCursor(span.bytes, span.length, span.readable);
        decode(in, span.clipped);
        stream->noteLoadsNearEnd(in.loadsNearEnd());
    }
    stream->noteRanOut(span, in.overran());
    return span;
}

#endif
