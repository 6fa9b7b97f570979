#include "r2004/r2007lz77.h"

#include <cstring>

#include "r2004/backcopy.h"

namespace {

// A literal tail of 1 to 31 bytes is stored as up to six pieces, each put
// down in turn at the next output position from its offset in the stored
// run. Pieces of 2 and 3 bytes are stored reversed, pieces of 16 bytes as
// their two halves swapped, others as they are.
struct Piece {
    uint8_t size;
    uint8_t offset;
};

struct Tail {
    uint8_t count;
    Piece pieces[6];
};

constexpr Tail kTails[32] = {
    {0, {}},
    {1, {{1, 0}}},
    {1, {{2, 0}}},
    {1, {{3, 0}}},
    {1, {{4, 0}}},
    {2, {{1, 4}, {4, 0}}},
    {3, {{1, 5}, {4, 1}, {1, 0}}},
    {3, {{2, 5}, {4, 1}, {1, 0}}},
    {1, {{8, 0}}},
    {2, {{1, 8}, {8, 0}}},
    {3, {{1, 9}, {8, 1}, {1, 0}}},
    {3, {{2, 9}, {8, 1}, {1, 0}}},
    {2, {{4, 8}, {8, 0}}},
    {3, {{1, 12}, {4, 8}, {8, 0}}},
    {4, {{1, 13}, {4, 9}, {8, 1}, {1, 0}}},
    {4, {{2, 13}, {4, 9}, {8, 1}, {1, 0}}},
    {1, {{16, 0}}},
    {3, {{8, 9}, {1, 8}, {8, 0}}},
    {3, {{1, 17}, {16, 1}, {1, 0}}},
    {2, {{3, 16}, {16, 0}}},
    {2, {{4, 16}, {16, 0}}},
    {3, {{1, 20}, {4, 16}, {16, 0}}},
    {3, {{2, 20}, {4, 16}, {16, 0}}},
    {3, {{3, 20}, {4, 16}, {16, 0}}},
    {2, {{8, 16}, {16, 0}}},
    {3, {{8, 17}, {1, 16}, {16, 0}}},
    {4, {{1, 25}, {8, 17}, {1, 16}, {16, 0}}},
    {4, {{2, 25}, {8, 17}, {1, 16}, {16, 0}}},
    {3, {{4, 24}, {8, 16}, {16, 0}}},
    {4, {{1, 28}, {4, 24}, {8, 16}, {16, 0}}},
    {4, {{2, 28}, {4, 24}, {8, 16}, {16, 0}}},
    {5, {{1, 30}, {4, 26}, {8, 18}, {16, 2}, {2, 0}}},
};

void placePiece(const uint8_t *from, uint8_t *to, int32_t size)
{
    if (size == 2 || size == 3) {
        for (int32_t i = 0; i < size; ++i) {
            to[i] = from[size - 1 - i];
        }
        return;
    }
    if (size == 16) {
        placePiece(from + 8, to, 8);
        placePiece(from, to + 8, 8);
        return;
    }
    std::memcpy(to, from, static_cast<size_t>(size));
}

class Decoder {
public:
    Decoder(const uint8_t *source, uint32_t sourceSize, uint8_t *destination, uint32_t destinationSize)
        : source_(source), sourceSize_(sourceSize), destination_(destination), destinationSize_(destinationSize)
    {
    }

    Lz77Result run();

private:
    bool next(uint8_t *byte)
    {
        if (in_ >= sourceSize_) {
            return fail(Lz77Status::TruncatedInput);
        }
        *byte = source_[in_++];
        return true;
    }
    uint32_t roomLeft() const { return destinationSize_ - out_; }
    bool fail(Lz77Status status)
    {
        status_ = status;
        return false;
    }

    bool readRunLength(uint8_t opcode, uint32_t *length);
    bool copyLiteral(uint32_t length);
    bool readInstruction(uint8_t *opcode, uint32_t *offset, uint32_t *length);
    bool copyReference(uint32_t offset, uint32_t length);
    bool copyReferences(uint8_t *opcode, uint32_t *runLength);

    const uint8_t *source_;
    uint32_t sourceSize_;
    uint32_t in_ = 0;
    uint8_t *destination_;
    uint32_t destinationSize_;
    uint32_t out_ = 0;
    Lz77Status status_ = Lz77Status::Ok;
};

// A run opcode below 0x0F gives the length directly; 0x0F adds a byte, and
// a byte 0xFF adds 16-bit amounts for as long as they are 0xFFFF.
bool Decoder::readRunLength(uint8_t opcode, uint32_t *length)
{
    *length = opcode + 8u;
    if (*length != 0x17) {
        return true;
    }
    uint8_t extra = 0;
    if (!next(&extra)) {
        return false;
    }
    *length += extra;
    if (extra != 0xFF) {
        return true;
    }
    for (;;) {
        uint8_t low = 0;
        uint8_t high = 0;
        if (!next(&low) || !next(&high)) {
            return false;
        }
        const uint32_t amount = low | uint32_t{high} << 8;
        *length += amount;
        if (*length > roomLeft()) {
            return fail(Lz77Status::OutputOverflow);
        }
        if (amount != 0xFFFF) {
            return true;
        }
    }
}

bool Decoder::copyLiteral(uint32_t length)
{
    if (length > sourceSize_ - in_) {
        return fail(Lz77Status::TruncatedInput);
    }
    if (length > roomLeft()) {
        return fail(Lz77Status::OutputOverflow);
    }
    const uint8_t *from = source_ + in_;
    uint8_t *to = destination_ + out_;
    in_ += length;
    out_ += length;
    // A whole block of 32 bytes is two pieces of 16, so its four quarters
    // of 8 bytes come out in the reverse order.
    for (; length >= 32; length -= 32, from += 32, to += 32) {
        for (int32_t quarter = 0; quarter < 4; ++quarter) {
            std::memcpy(to + 8 * quarter, from + 24 - 8 * quarter, 8);
        }
    }
    const Tail &tail = kTails[length];
    for (int32_t i = 0; i < tail.count; ++i) {
        placePiece(from + tail.pieces[i].offset, to, tail.pieces[i].size);
        to += tail.pieces[i].size;
    }
    return true;
}

// One back-reference: its offset and length, and in *opcode the byte whose
// low bits say what follows it.
bool Decoder::readInstruction(uint8_t *opcode, uint32_t *offset, uint32_t *length)
{
    const uint8_t op = *opcode;
    uint8_t first = 0;
    uint8_t second = 0;
    switch (op >> 4) {
    case 0:
        if (!next(&first) || !next(opcode)) {
            return false;
        }
        *length = (op & 0x0Fu) + 0x13u + ((*opcode >> 3) & 0x10u);
        *offset = first + ((*opcode & 0x78u) << 5) + 1;
        return true;
    case 1:
        if (!next(&first) || !next(opcode)) {
            return false;
        }
        *length = (op & 0x0Fu) + 3;
        *offset = first + ((*opcode & 0xF8u) << 5) + 1;
        return true;
    case 2:
        if (!next(&first) || !next(&second) || !next(opcode)) {
            return false;
        }
        *offset = first | uint32_t{second} << 8;
        *length = op & 7u;
        if ((op & 8) == 0) {
            *length += *opcode & 0xF8u;
            return true;
        }
        *offset += 1;
        *length += uint32_t{*opcode} << 3;
        if (!next(opcode)) {
            return false;
        }
        *length += ((*opcode & 0xF8u) << 8) + 0x100;
        return true;
    default:
        if (!next(opcode)) {
            return false;
        }
        *length = op >> 4;
        *offset = (op & 0x0Fu) + ((*opcode & 0xF8u) << 1) + 1;
        return true;
    }
}

bool Decoder::copyReference(uint32_t offset, uint32_t length)
{
    if (offset == 0 || offset > out_) {
        return fail(Lz77Status::ReferenceBeforeStart);
    }
    if (length > roomLeft()) {
        return fail(Lz77Status::OutputOverflow);
    }
    copyBack(destination_ + out_, offset, length);
    out_ += length;
    return true;
}

// Back-references up to the next literal run: on return *runLength is that
// run's length, or 0 with *opcode the byte that gives it.
bool Decoder::copyReferences(uint8_t *opcode, uint32_t *runLength)
{
    uint32_t offset = 0;
    uint32_t length = 0;
    if (!next(opcode) || !readInstruction(opcode, &offset, &length)) {
        return false;
    }
    for (;;) {
        if (!copyReference(offset, length)) {
            return false;
        }
        *runLength = *opcode & 7u;
        if (*runLength != 0 || in_ >= sourceSize_) {
            return true;
        }
        next(opcode);
        if ((*opcode >> 4) == 0) {
            return true;
        }
        if ((*opcode >> 4) == 0x0F) {
            *opcode &= 0x0F;
        }
        if (!readInstruction(opcode, &offset, &length)) {
            return false;
        }
    }
}

// An empty stream is an empty page.
Lz77Result Decoder::run()
{
    uint8_t opcode = 0;
    if (sourceSize_ == 0) {
        return Lz77Result{status_, 0};
    }
    next(&opcode);
    uint32_t runLength = 0;
    // A stream that opens with 0x2X gives its first run's length in the
    // low bits of its fourth byte.
    bool going = true;
    if ((opcode & 0xF0) == 0x20) {
        uint8_t skipped = 0;
        uint8_t lengthByte = 0;
        going = next(&skipped) && next(&skipped) && next(&lengthByte);
        runLength = lengthByte & 7u;
    }
    while (going && in_ < sourceSize_) {
        going = (runLength != 0 || readRunLength(opcode, &runLength)) && copyLiteral(runLength) &&
                (in_ >= sourceSize_ || copyReferences(&opcode, &runLength));
    }
    return Lz77Result{status_, out_};
}

}  // namespace

Lz77Result decompressR2007Lz77(const uint8_t *input, uint32_t inputSize, uint8_t *output, uint32_t capacity)
{
    return Decoder(input, inputSize, output, capacity).run();
}
