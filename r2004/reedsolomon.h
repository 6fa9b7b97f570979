// Reed-Solomon code words of R2007 drawings. Everything in an R2007 file
// past its first 0x80 bytes is stored as 255-byte code words: k data bytes
// followed by 255 - k parity bytes. The file header and the two maps use
// k = 239 (16 parity bytes, up to 8 byte errors corrected per code word);
// the data pages use k = 251 (4 parity bytes, up to 2 byte errors). The two
// kinds also differ in the field polynomial of GF(256). Byte i of a code
// word is the coefficient of x^i, and a valid word vanishes at alpha^1 to
// alpha^(255-k).
//
// A run of n code words is stored interleaved: byte i of word b is at
// i * n + b, so that a stretch of damaged bytes in the file spreads over
// all the words.
#ifndef TQ_R2004_REEDSOLOMON_H
#define TQ_R2004_REEDSOLOMON_H

#include <cstdint>

namespace rs {

constexpr int32_t kCodewordSize = 255;

enum class Code : int32_t {
    System,  // file header, page map, section map: k = 239
    Data     // section pages: k = 251
};

constexpr int32_t dataBytes(Code code) { return code == Code::System ? 239 : 251; }

// The polynomial of each code's field GF(256): x^8 + x^6 + x^5 + x^3 + 1
// for the system code words, x^8 + x^4 + x^3 + x^2 + 1 for the data pages.
constexpr uint32_t fieldPolynomial(Code code) { return code == Code::System ? 0x169 : 0x11D; }

// What checking a code word found. Ordered from good to bad, so that the
// worst over many words is their maximum.
enum class Outcome : int32_t { Clean, Corrected, Damaged };

// Checks a code word against its parity and corrects it in place where the
// code can: a correction stands only when it names no more bytes than the
// code can correct and leaves a valid word. A word left Damaged is
// unchanged.
Outcome checkAndCorrect(Code code, uint8_t *word);

// Takes `words` interleaved code words from `stored` (words * 255 bytes),
// checks and corrects each, and writes their data bytes one word after the
// other to `data` (words * dataBytes(code) bytes), unless it is null.
// Returns the worst outcome; at the first word found Damaged it stops, and
// that word's data and those after it are not written.
Outcome decodeInterleaved(Code code, const uint8_t *stored, int32_t words, uint8_t *data);

// Writes the data bytes of the interleaved code words to `data` as they
// are stored, unchecked.
void takeData(Code code, const uint8_t *stored, int32_t words, uint8_t *data);

}  // namespace rs

#endif
