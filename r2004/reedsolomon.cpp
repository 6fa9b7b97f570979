#include "r2004/reedsolomon.h"

#include <bit>
#include <cstring>

#include "support/byteswap.h"

namespace rs {

namespace {

constexpr int32_t kMaxParity = 16;

// GF(256) as powers of a primitive element: exp runs twice round the group
// so that the sum of two logarithms needs no reduction.
struct Field {
    uint8_t exp[510];
    uint8_t log[256];
};

constexpr Field makeField(uint32_t polynomial)
{
    Field field{};
    uint32_t value = 1;
    for (int32_t power = 0; power < 255; ++power) {
        field.exp[power] = static_cast<uint8_t>(value);
        field.exp[power + 255] = static_cast<uint8_t>(value);
        field.log[value] = static_cast<uint8_t>(power);
        value <<= 1;
        if (value & 0x100) {
            value ^= polynomial;
        }
    }
    return field;
}

constexpr Field kSystemField = makeField(fieldPolynomial(Code::System));
constexpr Field kDataField = makeField(fieldPolynomial(Code::Data));

// Arithmetic in one field; logarithms of nonzero elements only.
struct Arithmetic {
    const Field &field;

    constexpr uint8_t mul(uint8_t a, uint8_t b) const
    {
        return a == 0 || b == 0 ? 0 : field.exp[field.log[a] + field.log[b]];
    }
    constexpr uint8_t div(uint8_t a, uint8_t b) const
    {
        return a == 0 ? 0 : field.exp[field.log[a] + 255 - field.log[b]];
    }
    // alpha^power for any power >= 0.
    constexpr uint8_t power(int32_t exponent) const { return field.exp[exponent % 255]; }
};

constexpr int32_t kDataParity = kCodewordSize - dataBytes(Code::Data);

// A word is valid when its polynomial is a multiple of the code's
// generator, (x + alpha)(x + alpha^2)...(x + alpha^p) for its p parity
// bytes; the remainder of the division is the word's check. Taking in the
// next byte shifts the remainder up a byte; the byte v shifted out stands
// for v * x^p, whose remainder is v times the generator's lower terms.
template <int32_t Parity>
struct Generator {
    uint8_t lower[Parity];  // the coefficients of x^0 .. x^(p-1); that of x^p is 1
};

template <int32_t Parity>
constexpr Generator<Parity> makeGenerator(const Field &field)
{
    const Arithmetic gf{field};
    uint8_t coefficients[Parity + 1] = {1};
    for (int32_t j = 1; j <= Parity; ++j) {
        const uint8_t root = gf.power(j);
        for (int32_t k = j; k >= 1; --k) {
            coefficients[k] = static_cast<uint8_t>(coefficients[k - 1] ^ gf.mul(coefficients[k], root));
        }
        coefficients[0] = gf.mul(coefficients[0], root);
    }
    Generator<Parity> generator{};
    for (int32_t k = 0; k < Parity; ++k) {
        generator.lower[k] = coefficients[k];
    }
    return generator;
}

// v times count of the generator's lower terms from first on, term k in
// byte k - first of the result.
template <int32_t Parity>
constexpr uint64_t timesLower(const Field &field, const Generator<Parity> &generator, uint8_t v, int32_t first,
                              int32_t count)
{
    const Arithmetic gf{field};
    uint64_t product = 0;
    for (int32_t k = 0; k < count; ++k) {
        product |= uint64_t{gf.mul(v, generator.lower[first + k])} << (8 * k);
    }
    return product;
}

// The data words' remainder of four bytes fits a 32-bit number, the
// coefficient of x^3 in its top byte.
struct RemainderTable {
    uint32_t reduce[256];
};

constexpr RemainderTable makeRemainderTable(const Field &field)
{
    const Generator<kDataParity> generator = makeGenerator<kDataParity>(field);
    RemainderTable table{};
    for (int32_t v = 0; v < 256; ++v) {
        table.reduce[v] = static_cast<uint32_t>(timesLower(field, generator, static_cast<uint8_t>(v), 0, kDataParity));
    }
    return table;
}

constexpr RemainderTable kDataRemainders = makeRemainderTable(kDataField);

// The system words' remainder of sixteen bytes is two 64-bit halves, the
// coefficient of x^15 in the top byte of the high one.
struct HalvesTable {
    uint64_t high[256];
    uint64_t low[256];
};

constexpr HalvesTable makeHalvesTable(const Field &field)
{
    const Generator<kMaxParity> generator = makeGenerator<kMaxParity>(field);
    HalvesTable table{};
    for (int32_t v = 0; v < 256; ++v) {
        table.low[v] = timesLower(field, generator, static_cast<uint8_t>(v), 0, 8);
        table.high[v] = timesLower(field, generator, static_cast<uint8_t>(v), 8, 8);
    }
    return table;
}

constexpr HalvesTable kSystemRemainders = makeHalvesTable(kSystemField);

// Four bytes taken in at once. The remainder after four steps is the four
// new bytes, which have not yet reached the top to be reduced, plus what
// the four steps make of the old remainder; that part is linear in it, so
// each of its bytes has a table of its own.
struct FourStepTables {
    uint32_t reduce[4][256];
};

constexpr FourStepTables makeFourStepTables(const RemainderTable &one)
{
    FourStepTables tables{};
    for (int32_t k = 0; k < 4; ++k) {
        for (uint32_t v = 0; v < 256; ++v) {
            uint32_t remainder = v << (8 * k);
            for (int32_t step = 0; step < 4; ++step) {
                remainder = remainder << 8 ^ one.reduce[remainder >> 24];
            }
            tables.reduce[k][v] = remainder;
        }
    }
    return tables;
}

constexpr FourStepTables kDataFourSteps = makeFourStepTables(kDataRemainders);

int32_t parityBytes(Code code) { return kCodewordSize - dataBytes(code); }

// The word's values at alpha^1 .. alpha^count; true when all are zero.
bool computeSyndromes(const Arithmetic &gf, const uint8_t *word, int32_t count, uint8_t *syndromes)
{
    bool clean = true;
    for (int32_t j = 0; j < count; ++j) {
        const uint8_t root = gf.power(j + 1);
        uint8_t value = 0;
        for (int32_t i = kCodewordSize - 1; i >= 0; --i) {
            value = static_cast<uint8_t>(gf.mul(value, root) ^ word[i]);
        }
        syndromes[j] = value;
        clean = clean && value == 0;
    }
    return clean;
}

// The error locator by Berlekamp-Massey: locator[0..count], its degree
// returned (the number of errors it stands for).
int32_t findErrorLocator(const Arithmetic &gf, const uint8_t *syndromes, int32_t count, uint8_t *locator)
{
    uint8_t previous[kMaxParity + 1] = {1};
    uint8_t saved[kMaxParity + 1];
    std::memset(locator, 0, kMaxParity + 1);
    locator[0] = 1;
    int32_t degree = 0;
    int32_t shift = 1;
    uint8_t previousDiscrepancy = 1;
    for (int32_t n = 0; n < count; ++n) {
        uint8_t discrepancy = syndromes[n];
        for (int32_t i = 1; i <= degree; ++i) {
            discrepancy ^= gf.mul(locator[i], syndromes[n - i]);
        }
        if (discrepancy == 0) {
            ++shift;
            continue;
        }
        const uint8_t scale = gf.div(discrepancy, previousDiscrepancy);
        std::memcpy(saved, locator, sizeof saved);
        for (int32_t i = 0; i + shift <= kMaxParity; ++i) {
            locator[i + shift] ^= gf.mul(scale, previous[i]);
        }
        if (2 * degree <= n) {
            degree = n + 1 - degree;
            std::memcpy(previous, saved, sizeof previous);
            previousDiscrepancy = discrepancy;
            shift = 1;
        } else {
            ++shift;
        }
    }
    return degree;
}

// polynomial(x) for x = alpha^exponent.
uint8_t evaluate(const Arithmetic &gf, const uint8_t *polynomial, int32_t degree, int32_t exponent)
{
    uint8_t value = 0;
    for (int32_t k = degree; k >= 0; --k) {
        value = static_cast<uint8_t>(gf.mul(value, gf.power(exponent)) ^ polynomial[k]);
    }
    return value;
}

// Finds the errors the locator names (Chien search) and their values
// (Forney), and applies them to word. False when a value cannot be found.
// A locator whose roots do not all lie in the word corrects too few bytes
// to leave a valid word; the check that follows finds it.
bool applyCorrections(const Arithmetic &gf, const uint8_t *syndromes, int32_t count, const uint8_t *locator,
                      int32_t degree, uint8_t *word)
{
    uint8_t evaluator[kMaxParity] = {};
    for (int32_t m = 0; m < count; ++m) {
        for (int32_t k = 0; k <= m && k <= degree; ++k) {
            evaluator[m] ^= gf.mul(locator[k], syndromes[m - k]);
        }
    }
    uint8_t derivative[kMaxParity] = {};
    for (int32_t k = 1; k <= degree; k += 2) {
        derivative[k - 1] = locator[k];
    }
    for (int32_t position = 0; position < kCodewordSize; ++position) {
        const int32_t inverse = (255 - position) % 255;
        if (evaluate(gf, locator, degree, inverse) != 0) {
            continue;
        }
        const uint8_t denominator = evaluate(gf, derivative, degree - 1, inverse);
        if (denominator == 0) {
            return false;
        }
        word[position] ^= gf.div(evaluate(gf, evaluator, count - 1, inverse), denominator);
    }
    return true;
}

const Field &fieldOf(Code code) { return code == Code::System ? kSystemField : kDataField; }

}  // namespace

Outcome checkAndCorrect(Code code, uint8_t *word)
{
    const Arithmetic gf{fieldOf(code)};
    const int32_t count = parityBytes(code);
    uint8_t syndromes[kMaxParity];
    if (computeSyndromes(gf, word, count, syndromes)) {
        return Outcome::Clean;
    }
    uint8_t locator[kMaxParity + 1];
    const int32_t degree = findErrorLocator(gf, syndromes, count, locator);
    if (degree == 0 || 2 * degree > count) {
        return Outcome::Damaged;
    }
    uint8_t corrected[kCodewordSize];
    std::memcpy(corrected, word, sizeof corrected);
    uint8_t check[kMaxParity];
    if (!applyCorrections(gf, syndromes, count, locator, degree, corrected) ||
        !computeSyndromes(gf, corrected, count, check)) {
        return Outcome::Damaged;
    }
    std::memcpy(word, corrected, sizeof corrected);
    return Outcome::Corrected;
}

namespace {

// The check of a system word as it is gathered: its remainder by the
// generator, one table lookup a byte.
struct SystemCheck {
    uint64_t high = 0;
    uint64_t low = 0;

    void take(uint8_t byte)
    {
        const uint8_t top = static_cast<uint8_t>(high >> 56);
        high = (high << 8 | low >> 56) ^ kSystemRemainders.high[top];
        low = (low << 8 | byte) ^ kSystemRemainders.low[top];
    }
    // Four bytes, the first in the top byte.
    void takeFour(uint32_t four)
    {
        for (int32_t shift = 24; shift >= 0; shift -= 8) {
            take(static_cast<uint8_t>(four >> shift));
        }
    }
    bool clean() const { return (high | low) == 0; }
};

// The check of a data word: its remainder by the generator, one table
// lookup a byte.
struct DataCheck {
    uint32_t remainder = 0;

    void take(uint8_t byte) { remainder = (remainder << 8 | byte) ^ kDataRemainders.reduce[remainder >> 24]; }
    void takeFour(uint32_t four)
    {
        const auto &reduce = kDataFourSteps.reduce;
        remainder = four ^ reduce[3][remainder >> 24] ^ reduce[2][remainder >> 16 & 0xFF] ^
                    reduce[1][remainder >> 8 & 0xFF] ^ reduce[0][remainder & 0xFF];
    }
    bool clean() const { return remainder == 0; }
};

// Gathers Words code words from word first on out of an interleaved page
// into word, the highest coefficient first, and checks them on the way.
// Each step of a check waits on the one before it; the words gathered
// together give one another's steps to do meanwhile. Answers which words
// are clean, word w in bit w.
template <class Check, int32_t Words>
uint32_t gatherClean(const uint8_t *stored, int32_t words, int32_t first, uint8_t (&word)[Words][kCodewordSize])
{
    constexpr int32_t kSingleRows = kCodewordSize % 4;  // taken one at a time, then four at a time
    const size_t stride = static_cast<size_t>(words);
    Check checks[Words];
    int32_t i = kCodewordSize - 1;
    for (; i >= kCodewordSize - kSingleRows; --i) {
        const uint8_t *row = stored + static_cast<size_t>(i) * stride + first;
        for (int32_t w = 0; w < Words; ++w) {
            word[w][i] = row[w];
            checks[w].take(row[w]);
        }
    }
    for (; i >= 3; i -= 4) {
        const uint8_t *row = stored + static_cast<size_t>(i) * stride + first;
        const uint8_t *next = row - stride;
        const uint8_t *third = next - stride;
        const uint8_t *fourth = third - stride;
        for (int32_t w = 0; w < Words; ++w) {
            const uint32_t four =
                uint32_t{row[w]} << 24 | uint32_t{next[w]} << 16 | uint32_t{third[w]} << 8 | fourth[w];
            putLittleEndian32(&word[w][i - 3], four);  // the lowest coefficient first
            checks[w].takeFour(four);
        }
    }
    uint32_t clean = 0;
    for (int32_t w = 0; w < Words; ++w) {
        clean |= checks[w].clean() ? 1u << w : 0u;
    }
    return clean;
}

// Decodes the words from first on, Words at a time, into data; answers the
// worst outcome, and leaves the words that do not fill a group.
template <class Check, int32_t Words>
Outcome decodeGroups(Code code, const uint8_t *stored, int32_t words, int32_t *first, uint8_t *data)
{
    const int32_t keep = dataBytes(code);
    Outcome worst = Outcome::Clean;
    uint8_t word[Words][kCodewordSize];
    for (; *first + Words <= words; *first += Words) {
        const uint32_t clean = gatherClean<Check, Words>(stored, words, *first, word);
        for (int32_t w = 0; w < Words; ++w) {
            const Outcome outcome = (clean >> w & 1) != 0 ? Outcome::Clean : checkAndCorrect(code, word[w]);
            if (outcome == Outcome::Damaged) {
                return outcome;
            }
            worst = outcome > worst ? outcome : worst;
            if (data != nullptr) {
                std::memcpy(data + (*first + w) * keep, word[w], static_cast<size_t>(keep));
            }
        }
    }
    return worst;
}

// A block of sixteen by sixteen bytes of a page, from row `row` and word
// `first` on, turned so that each word's sixteen bytes come out together.
// Rows d apart are interleaved byte by byte, the first halves into the one
// and the second halves into the other, for d = 8, 4, 2 and 1: each round
// moves one bit of a byte's word number from its place in the block to its
// row number, and so four rounds turn the block over.
void takeBlock(const uint8_t *stored, size_t stride, int32_t row, int32_t first, int32_t keep, uint8_t *data)
{
    using Sixteen = uint8_t __attribute__((vector_size(16)));
    Sixteen rows[16];
    for (int32_t r = 0; r < 16; ++r) {
        std::memcpy(&rows[r], stored + static_cast<size_t>(row + r) * stride + static_cast<size_t>(first), 16);
    }
#pragma GCC unroll 4
    for (int32_t apart = 8; apart > 0; apart /= 2) {
#pragma GCC unroll 16
        for (int32_t r = 0; r < 16; ++r) {
            if ((r & apart) == 0) {
                const Sixteen a = rows[r];
                const Sixteen b = rows[r + apart];
                rows[r] = __builtin_shufflevector(a, b, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
                rows[r + apart] =
                    __builtin_shufflevector(a, b, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
            }
        }
    }
    for (int32_t w = 0; w < 16; ++w) {
        std::memcpy(data + static_cast<size_t>(first + w) * static_cast<size_t>(keep) + row, &rows[w], 16);
    }
}

// The start of each block of sixteen along count places: every sixteenth,
// and a last one that ends at count, overlapping the one before it.
int32_t blockStart(int32_t block, int32_t count) { return block * 16 + 16 <= count ? block * 16 : count - 16; }

}  // namespace

// The data pages, which hold nearly all of a file, are checked several
// words at a time; the system pages one.
Outcome decodeInterleaved(Code code, const uint8_t *stored, int32_t words, uint8_t *data)
{
    int32_t first = 0;
    if (code == Code::System) {
        return decodeGroups<SystemCheck, 1>(code, stored, words, &first, data);
    }
    const Outcome groups = decodeGroups<DataCheck, 4>(code, stored, words, &first, data);
    if (groups == Outcome::Damaged) {
        return groups;
    }
    const Outcome rest = decodeGroups<DataCheck, 1>(code, stored, words, &first, data);
    return groups > rest ? groups : rest;
}

// In blocks of sixteen words by sixteen bytes; a page of fewer than sixteen
// words, which only small sections have, a byte at a time.
void takeData(Code code, const uint8_t *stored, int32_t words, uint8_t *data)
{
    const int32_t keep = dataBytes(code);
    const size_t stride = static_cast<size_t>(words);
    if (words < 16) {
        for (int32_t w = 0; w < words; ++w) {
            for (int32_t i = 0; i < keep; ++i) {
                data[w * keep + i] = stored[static_cast<size_t>(i) * stride + static_cast<size_t>(w)];
            }
        }
        return;
    }
    for (int32_t across = 0; across * 16 < words; ++across) {
        for (int32_t down = 0; down * 16 < keep; ++down) {
            takeBlock(stored, stride, blockStart(down, keep), blockStart(across, words), keep, data);
        }
    }
}

}  // namespace rs
