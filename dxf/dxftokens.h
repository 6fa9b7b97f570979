// The groups of a DXF file, one at a time, read where they lie in the
// stream's windows. A DXF file is a run of groups, each a group code and
// a value whose kind the code gives (texts, doubles, 16-, 32- and 64-bit
// integers, flags, binary chunks). It comes in two encodings:
//
//   - ASCII: the code on one line (padded with spaces as the writer
//     likes), the value on the next, lines ended by CR LF, LF or CR;
//   - binary: a 22-byte sentinel, then each code as a 16-bit number (from
//     R13 on) or as a byte (before; 255 announces a 16-bit code after it),
//     and the value as its kind is stored: texts end in a zero byte,
//     binary chunks have a length byte in front (one that runs past the
//     file's end is no chunk), numbers are little-endian.
//
// Both are known by their content. A value that runs over a window's end
// is copied, with the part of it in the next windows, into one block
// that grows to the longest such value; nothing else is copied.
#ifndef TQ_DXF_DXFTOKENS_H
#define TQ_DXF_DXFTOKENS_H

#include <cstdint>

#include "core/properties.h"
#include "support/publicstorage.h"

class FileStream;

enum class DxfEncoding : uint8_t { Ascii, Binary8, Binary16 };

// A group: its code, and its value's bytes (an ASCII line without its
// ending; a binary text without its zero; a binary number as stored),
// which stay valid until the next group is read.
struct DxfGroup {
    int32_t code;
    const uint8_t *value;
    int32_t length;
};

// What reading a group came to: a group; the end of the bytes between two
// groups; the end inside a group (the file was cut there); or bytes that
// are no group (a code that is no number or no code DXF has, a value of
// the wrong size, a line too long to be one).
enum class TokenResult : uint8_t { Group, End, Cut, Malformed };

class DxfTokens {
public:
    DxfTokens(FileStream *stream, MemoryService *memory, int32_t cursor) : stream_(stream), memory_(memory), cursor_(cursor) {}
    DxfTokens(const DxfTokens &) = delete;
    DxfTokens &operator=(const DxfTokens &) = delete;
    ~DxfTokens() { carry_.release(memory_); }

    // Whether the file opens as a DXF file of either encoding: false for
    // any other. Reading then starts at the first group.
    bool recognise();
    // Reads from offset, where a group starts, in the encoding that other
    // recognised.
    void resumeAs(const DxfTokens &other, int64_t offset)
    {
        encoding_ = other.encoding_;
        lineEnd_ = other.lineEnd_;
        position_ = offset;
        leaveWindow();
    }
    // Another reader moved the stream's window: it is taken anew.
    void leaveWindow() { windowLength_ = 0; }
    TokenResult next(DxfGroup *group)
    {
        groupStart_ = position_;
        if (encoding_ == DxfEncoding::Ascii ? p_groupInWindow(group) : p_binaryGroupInWindow(group)) {
            return TokenResult::Group;
        }
        return p_nextOutsideWindow(group);
    }
    // Where the last group read starts.
    int64_t groupStart() const { return groupStart_; }
    DxfEncoding encoding() const { return encoding_; }

    // The value of an integer group: false when it is not one.
    bool integerOf(const DxfGroup &group, int64_t *value) const;
    // The value of a double group that holds a Julian date (days and the
    // fraction of a day): false when it is no number.
    bool julianOf(const DxfGroup &group, JulianTime *value) const;

private:
    struct Piece {
        const uint8_t *bytes;
        int32_t length;
    };

    TokenResult p_nextOutsideWindow(DxfGroup *group);
    TokenResult p_nextAscii(DxfGroup *group);
    TokenResult p_nextBinary(DxfGroup *group);
    TokenResult p_until(uint8_t terminator, Piece *piece);
    TokenResult p_untilInCarry(uint8_t terminator, const uint8_t *bytes, int32_t held, Piece *piece);
    TokenResult p_fixed(int32_t count, Piece *piece);
    TokenResult p_line(Piece *piece);
    bool p_groupInWindow(DxfGroup *group);
    bool p_binaryGroupInWindow(DxfGroup *group);
    const uint8_t *p_windowAtPosition();
    TokenResult p_binaryCode(int32_t *code);
    void p_noteLineEnd(const uint8_t *bytes, int32_t held);

    FileStream *stream_;
    MemoryService *memory_;
    int32_t cursor_;
    int64_t position_ = 0;
    int64_t groupStart_ = 0;
    // The cursor's window as last viewed: its bytes from windowStart_ on.
    const uint8_t *window_ = nullptr;
    int64_t windowStart_ = 0;
    int32_t windowLength_ = 0;
    DxfEncoding encoding_ = DxfEncoding::Ascii;
    uint8_t lineEnd_ = '\n';  // CR in files whose lines end in CR alone
    ReusableBlock carry_;
    uint32_t carryLength_ = 0;
    // The last line read ends with the file, without a line end: a file's
    // closing EOF often does.
    bool lineOpen_ = false;
};

#endif
