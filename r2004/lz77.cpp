#include "r2004/lz77.h"

#include <cstring>

#include "r2004/backcopy.h"

namespace {

// Command bytes. From 0x40 on, a short copy whose length and distance are
// packed in the command and one byte after it. 0x20 to 0x3F and 0x10 to
// 0x1F (but 0x11) take a two-byte distance after any length extension; the
// 0x10 group reaches 16 KiB further back, and 32 KiB when bit 3 is set.
constexpr uint32_t kEndCommand = 0x11;
constexpr uint32_t kFarGroup = 0x10;
constexpr uint32_t kNearGroup = 0x20;
constexpr uint32_t kShortGroup = 0x40;
constexpr uint32_t kFarBase = 0x4000;
// A first byte above the end command is a literal run of that many bytes
// less 17, with no length extension.
constexpr uint32_t kFirstRunBias = 17;

class Lz77Decoder {
public:
    Lz77Decoder(const uint8_t *input, uint32_t inputSize, uint8_t *output, uint32_t capacity)
        : input_(input), inputSize_(inputSize), output_(output), capacity_(capacity)
    {
    }

    Lz77Result run();

private:
    bool nextByte(uint32_t *value);
    bool extendedLength(uint32_t bits, uint32_t base, uint32_t *length);
    bool literalRunLength(uint32_t first, uint32_t *length);
    bool copyLiterals(uint32_t count);
    bool copyMatch(uint32_t distance, uint32_t length);
    bool decodeMatch(uint32_t command, uint32_t *literals);
    bool literalsAfterMatch(uint32_t literals, uint32_t *command);
    bool fail(Lz77Status status)
    {
        status_ = status;
        return false;
    }

    const uint8_t *input_;
    uint32_t inputSize_;
    uint32_t inPos_ = 0;
    uint8_t *output_;
    uint32_t capacity_;
    uint32_t outPos_ = 0;
    Lz77Status status_ = Lz77Status::Ok;
};

bool Lz77Decoder::nextByte(uint32_t *value)
{
    if (inPos_ >= inputSize_) {
        return fail(Lz77Status::TruncatedInput);
    }
    *value = input_[inPos_++];
    return true;
}

// A length held in the low bits of a command, or, when they are zero, in
// the bytes that follow: each zero byte adds 255 and the first non-zero one
// ends the count. No length can exceed the page, so a count that passes the
// capacity stops early instead of wrapping.
bool Lz77Decoder::extendedLength(uint32_t bits, uint32_t base, uint32_t *length)
{
    if (bits != 0) {
        *length = bits;
        return true;
    }
    uint32_t total = base;
    uint32_t value = 0;
    for (;;) {
        if (!nextByte(&value)) {
            return false;
        }
        if (value != 0) {
            break;
        }
        total += 0xFF;
        if (total > capacity_) {
            return fail(Lz77Status::OutputOverflow);
        }
    }
    *length = total + value;
    return true;
}

// A literal run's length byte has its high nibble clear: 1 to 15 mean 4 to
// 18 bytes, 0 an extended count from 15.
bool Lz77Decoder::literalRunLength(uint32_t first, uint32_t *length)
{
    if (!extendedLength(first & 0x0F, 0x0F, length)) {
        return false;
    }
    *length += 3;
    return true;
}

bool Lz77Decoder::copyLiterals(uint32_t count)
{
    if (count > inputSize_ - inPos_) {
        return fail(Lz77Status::TruncatedInput);
    }
    if (count > capacity_ - outPos_) {
        return fail(Lz77Status::OutputOverflow);
    }
    memcpy(output_ + outPos_, input_ + inPos_, count);
    inPos_ += count;
    outPos_ += count;
    return true;
}

bool Lz77Decoder::copyMatch(uint32_t distance, uint32_t length)
{
    if (distance > outPos_) {
        return fail(Lz77Status::ReferenceBeforeStart);
    }
    if (length > capacity_ - outPos_) {
        return fail(Lz77Status::OutputOverflow);
    }
    copyBack(output_ + outPos_, distance, length);
    outPos_ += length;
    return true;
}

// Decodes and performs the copy of a command; *literals receives the two
// low bits of the command (short group) or of the distance's first byte,
// the count of literals that follow the copy.
bool Lz77Decoder::decodeMatch(uint32_t command, uint32_t *literals)
{
    uint32_t length = 0;
    uint32_t distance = 0;
    uint32_t low = 0;
    uint32_t high = 0;
    if (command >= kShortGroup) {
        if (!nextByte(&high)) {
            return false;
        }
        length = (command >> 4) - 1;
        distance = (((command >> 2) & 3) | high << 2) + 1;
        *literals = command & 3;
        return copyMatch(distance, length);
    }
    const bool near = command >= kNearGroup;
    const bool lengthRead = near ? extendedLength(command & 0x1F, 0x1F, &length)
                                 : extendedLength(command & 0x07, 0x07, &length);
    if (!lengthRead || !nextByte(&low) || !nextByte(&high)) {
        return false;
    }
    distance = (low >> 2 | high << 6) + (near ? 1 : kFarBase + ((command & 0x08) << 11));
    *literals = low & 3;
    return copyMatch(distance, length + 2);
}

// After a copy: the literal count it gave, or when that is 0, a literal
// run if the next byte is a length byte. *command receives the next
// command byte.
bool Lz77Decoder::literalsAfterMatch(uint32_t literals, uint32_t *command)
{
    if (literals == 0) {
        if (!nextByte(command)) {
            return false;
        }
        if ((*command & 0xF0) != 0) {
            return true;
        }
        if (!literalRunLength(*command, &literals)) {
            return false;
        }
    }
    return copyLiterals(literals) && nextByte(command);
}

Lz77Result Lz77Decoder::run()
{
    uint32_t command = 0;
    bool going = nextByte(&command);
    if (going && command > kEndCommand) {
        going = copyLiterals(command - kFirstRunBias) && nextByte(&command);
    } else if (going && command < kFarGroup) {
        uint32_t count = 0;
        going = literalRunLength(command, &count) && copyLiterals(count) && nextByte(&command);
    }
    while (going && command != kEndCommand) {
        uint32_t literals = 0;
        if (command < kFarGroup) {
            going = fail(Lz77Status::BadOpcode);
        } else {
            going = decodeMatch(command, &literals) && literalsAfterMatch(literals, &command);
        }
    }
    return Lz77Result{status_, outPos_};
}

}  // namespace

Lz77Result decompressLz77(const uint8_t *input, uint32_t inputSize, uint8_t *output, uint32_t capacity)
{
    // A missing span is an empty one: the decoder then touches neither.
    if (input == nullptr) {
        inputSize = 0;
    }
    if (output == nullptr) {
        capacity = 0;
    }
    return Lz77Decoder(input, inputSize, output, capacity).run();
}
