#include "r2007writer.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

#include "r2004/reedsolomon.h"

namespace dwgw {

namespace {

constexpr int kWord = rs::kCodewordSize;
constexpr int kSystemK = rs::dataBytes(rs::Code::System);
constexpr int kDataK = rs::dataBytes(rs::Code::Data);
constexpr std::size_t kPagesBase = 0x480;

// ---- GF(256) and the parity of one code word ----

struct Galois {
    std::array<std::uint8_t, 510> exp{};
    std::array<int, 256> log{};

    explicit Galois(unsigned polynomial)
    {
        unsigned value = 1;
        for (int i = 0; i < 255; ++i) {
            exp[i] = exp[i + 255] = static_cast<std::uint8_t>(value);
            log[value] = i;
            value <<= 1;
            if (value & 0x100) value ^= polynomial;
        }
    }
    std::uint8_t mul(std::uint8_t a, std::uint8_t b) const
    {
        return a == 0 || b == 0 ? 0 : exp[log[a] + log[b]];
    }
};

const Galois& fieldFor(int k)
{
    static const Galois system(rs::fieldPolynomial(rs::Code::System));
    static const Galois data(rs::fieldPolynomial(rs::Code::Data));
    return k == kSystemK ? system : data;
}

// Byte i of a word is the coefficient of x^i and the word must vanish at
// alpha^1 .. alpha^p, data first, parity last. Read backwards (byte 254 as
// x^0) that is an ordinary systematic code whose generator has the roots
// alpha^-1 .. alpha^-p, with the parity as the remainder of the data.
std::array<std::uint8_t, kWord> encodeWord(const std::uint8_t* data, int k)
{
    const Galois& gf = fieldFor(k);
    const int parity = kWord - k;
    std::vector<std::uint8_t> generator{1};
    for (int j = 1; j <= parity; ++j) {
        const std::uint8_t root = gf.exp[255 - j];
        std::vector<std::uint8_t> next(generator.size() + 1, 0);
        for (std::size_t i = 0; i < generator.size(); ++i) {
            next[i + 1] ^= generator[i];
            next[i] ^= gf.mul(generator[i], root);
        }
        generator = next;
    }
    std::array<std::uint8_t, kWord> backwards{};
    for (int i = 0; i < k; ++i) backwards[kWord - 1 - i] = data[i];
    std::array<std::uint8_t, kWord> remainder = backwards;
    for (int m = kWord - 1; m >= parity; --m) {
        const std::uint8_t coefficient = remainder[m];
        if (coefficient == 0) continue;
        for (int i = 0; i <= parity; ++i) remainder[m - parity + i] ^= gf.mul(coefficient, generator[i]);
    }
    std::array<std::uint8_t, kWord> word{};
    std::copy(data, data + k, word.begin());
    for (int m = 0; m < parity; ++m) word[kWord - 1 - m] = remainder[m];
    return word;
}

// ---- the literal shuffle ----

struct Piece {
    int size, offset;
};

// How the decoder lays out the tail of a literal run: pieces in output
// order, each from an offset in the stored run.
const std::vector<std::vector<Piece>>& tailPieces()
{
    static const std::vector<std::vector<Piece>> pieces = {
        {},
        {{1, 0}},
        {{2, 0}},
        {{3, 0}},
        {{4, 0}},
        {{1, 4}, {4, 0}},
        {{1, 5}, {4, 1}, {1, 0}},
        {{2, 5}, {4, 1}, {1, 0}},
        {{8, 0}},
        {{1, 8}, {8, 0}},
        {{1, 9}, {8, 1}, {1, 0}},
        {{2, 9}, {8, 1}, {1, 0}},
        {{4, 8}, {8, 0}},
        {{1, 12}, {4, 8}, {8, 0}},
        {{1, 13}, {4, 9}, {8, 1}, {1, 0}},
        {{2, 13}, {4, 9}, {8, 1}, {1, 0}},
        {{16, 0}},
        {{8, 9}, {1, 8}, {8, 0}},
        {{1, 17}, {16, 1}, {1, 0}},
        {{3, 16}, {16, 0}},
        {{4, 16}, {16, 0}},
        {{1, 20}, {4, 16}, {16, 0}},
        {{2, 20}, {4, 16}, {16, 0}},
        {{3, 20}, {4, 16}, {16, 0}},
        {{8, 16}, {16, 0}},
        {{8, 17}, {1, 16}, {16, 0}},
        {{1, 25}, {8, 17}, {1, 16}, {16, 0}},
        {{2, 25}, {8, 17}, {1, 16}, {16, 0}},
        {{4, 24}, {8, 16}, {16, 0}},
        {{1, 28}, {4, 24}, {8, 16}, {16, 0}},
        {{2, 28}, {4, 24}, {8, 16}, {16, 0}},
        {{1, 30}, {4, 26}, {8, 18}, {16, 2}, {2, 0}},
    };
    return pieces;
}

// Appends to `order` the stored positions that one piece puts down.
void pieceOrder(int base, int size, std::vector<int>& order)
{
    if (size == 2 || size == 3) {
        for (int i = size - 1; i >= 0; --i) order.push_back(base + i);
    } else if (size == 16) {
        pieceOrder(base + 8, 8, order);
        pieceOrder(base, 8, order);
    } else {
        for (int i = 0; i < size; ++i) order.push_back(base + i);
    }
}

// For each output byte of a run of `length`, the stored byte it comes from.
std::vector<int> literalOrder(int length)
{
    std::vector<int> order;
    int base = 0;
    for (; length - base >= 32; base += 32) {
        pieceOrder(base + 16, 16, order);
        pieceOrder(base, 16, order);
    }
    for (const Piece& piece : tailPieces()[length - base]) pieceOrder(base + piece.offset, piece.size, order);
    return order;
}

// ---- the page checksum ----

// Two sums modulo 65521 seeded from the length, over chunks of 0x15B0
// bytes, each 8 bytes taken in the order 6 7 4 5 2 3 0 1.
std::uint32_t pageChecksum(const Bytes& data)
{
    static const std::vector<std::vector<int>> orders = {
        {6, 7, 4, 5, 2, 3, 0, 1}, {0}, {0, 1}, {0, 1, 2}, {2, 3, 0, 1}, {2, 3, 0, 1, 4}, {2, 3, 0, 1, 4, 5}, {2, 3, 0, 1, 4, 5, 6}};
    const std::uint64_t seed = data.size() * 0x343FDull + 0x269EC3;
    std::uint32_t low = seed & 0xFFFF;
    std::uint32_t high = (seed >> 16) & 0xFFFF;
    std::size_t at = 0;
    while (at < data.size()) {
        const std::size_t end = std::min(data.size(), at + 0x15B0);
        while (at < end) {
            const std::size_t group = std::min<std::size_t>(8, end - at);
            for (int i : orders[group % 8]) {
                low += data[at + static_cast<std::size_t>(i)];
                high += low;
            }
            at += group;
        }
        low %= 0xFFF1;
        high %= 0xFFF1;
    }
    return high << 16 | low;
}

// ---- little-endian fields ----

void put64(Bytes& bytes, std::size_t at, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void append64(Bytes& bytes, std::uint64_t value)
{
    bytes.resize(bytes.size() + 8);
    put64(bytes, bytes.size() - 8, value);
}

std::size_t alignUp(std::size_t size, std::size_t to) { return (size + to - 1) / to * to; }

// ---- pages ----

struct Stored {
    Bytes bytes;       // as the file holds them
    std::size_t compressedSize;
    std::size_t repeats;
};

Bytes pageStream(const Bytes& data, bool compress) { return compress ? r2007LiteralStream(data) : data; }

// A map page: its stream padded to 8 bytes, repeated to fill the page,
// encoded as system words; the page at least 0x400 bytes and big enough
// for two copies.
Stored systemPage(const Bytes& data, bool compress)
{
    Bytes stream = pageStream(data, compress);
    const std::size_t compressed = stream.size();
    stream.resize(alignUp(compressed, 8), 0);
    const std::size_t pageBytes =
        std::max<std::size_t>(0x400, alignUp((stream.size() * 2 + kSystemK - 1) / kSystemK * kWord, 0x20));
    const std::size_t repeats = pageBytes / kWord * kSystemK / stream.size();
    Bytes repeated;
    for (std::size_t i = 0; i < repeats; ++i) repeated.insert(repeated.end(), stream.begin(), stream.end());
    Bytes page = r2007CodeWords(repeated, kSystemK);
    page.resize(pageBytes, 0);
    return {page, compressed, repeats};
}

struct DataPage {
    int id;
    std::uint64_t start;
    std::size_t size, compressed;
    std::uint32_t checksum;
    Bytes stored;
};

// A page's stream as code words, or as it is for the sections stored
// plainly.
DataPage dataPage(int id, std::uint64_t start, const Bytes& data, bool plain, const R2007Options& options)
{
    Bytes stream = pageStream(data, options.compress);
    const std::size_t compressed = stream.size();
    stream.resize(alignUp(compressed, 8), 0);
    Bytes stored = plain ? stream : r2007CodeWords(stream, kDataK);
    const std::size_t words = stored.size() / kWord;
    if (auto damage = options.damagedBytes.find(id); damage != options.damagedBytes.end()) {
        for (int place : damage->second) {
            if (place < 0 || place >= kWord) throw std::invalid_argument("a code word has 255 bytes");
            for (std::size_t b = 0; b < words; ++b) stored[place * words + b] ^= 0xA5;
        }
    }
    if (options.destroyedPages.count(id) != 0) {
        for (std::size_t i = 0; i < stored.size(); ++i) stored[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    stored.resize(alignUp(stored.size(), 0x20), 0);
    return {id, start, data.size(), compressed, pageChecksum(data), stored};
}

struct SectionPlan {
    const char* name;
    std::uint32_t hash;
    const Bytes* bytes;
    std::vector<DataPage> pages;
    std::uint64_t lead = 0;  // section bytes before the first, covered by no page
    bool plain = false;      // pages stored as their bytes, not as code words
};

Bytes utf16Name(const char* name)
{
    Bytes bytes;
    for (const char* c = name; *c != 0; ++c) {
        bytes.push_back(static_cast<std::uint8_t>(*c));
        bytes.push_back(0);
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

Bytes sectionMap(const std::vector<SectionPlan>& plans, std::uint32_t pageSize)
{
    Bytes map;
    for (const SectionPlan& plan : plans) {
        const Bytes name = utf16Name(plan.name);
        append64(map, plan.lead + plan.bytes->size());
        append64(map, pageSize);
        append64(map, 0);  // not encrypted
        append64(map, plan.hash);
        append64(map, name.size());
        append64(map, 0);
        append64(map, plan.plain ? 1 : 4);
        append64(map, plan.pages.size());
        map.insert(map.end(), name.begin(), name.end());
        for (const DataPage& page : plan.pages) {
            append64(map, page.start);
            append64(map, page.stored.size());
            append64(map, static_cast<std::uint64_t>(page.id));
            append64(map, page.size);
            append64(map, page.compressed);
            append64(map, page.checksum);
            append64(map, 0);  // CRC: not checked by the reader
        }
    }
    // The closing record without a name, as CAD programs write it.
    for (std::uint64_t value : std::initializer_list<std::uint64_t>{0, pageSize, 0, 0, 0, 0, 4, 0}) append64(map, value);
    return map;
}

void planPages(SectionPlan& plan, int& nextId, const R2007Options& options)
{
    const Bytes& bytes = *plan.bytes;
    for (std::size_t start = 0; start < bytes.size(); start += options.pageSize) {
        const std::size_t end = std::min<std::size_t>(bytes.size(), start + options.pageSize);
        const Bytes data(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.begin() + static_cast<std::ptrdiff_t>(end));
        const bool zeros = std::all_of(data.begin(), data.end(), [](std::uint8_t b) { return b == 0; });
        if (options.omitZeroPages && zeros) continue;
        plan.pages.push_back(dataPage(nextId++, plan.lead + start, data, plan.plain, options));
    }
}

// The 0x110 bytes of header fields: where the maps lie and how they are
// stored. Fields we do not need are zero or what CAD programs write.
Bytes headerFields(std::size_t fileSize, int pageMapId, const Stored& pageMap, std::size_t pageMapSize,
                   int sectionMapId, const Stored& sectionMap, std::size_t sectionMapSize, int pageCount,
                   std::size_t sectionCount)
{
    Bytes fields(0x110, 0);
    put64(fields, 0x00, 0x70);
    put64(fields, 0x08, fileSize);
    put64(fields, 0x18, pageMap.repeats);
    put64(fields, 0x38, 0);  // the page map is the first page
    put64(fields, 0x40, static_cast<std::uint64_t>(pageMapId));
    put64(fields, 0x50, pageMap.compressedSize);
    put64(fields, 0x58, pageMapSize);
    put64(fields, 0x60, static_cast<std::uint64_t>(pageCount));
    put64(fields, 0x68, static_cast<std::uint64_t>(pageCount));
    put64(fields, 0x70, 0x20);
    put64(fields, 0x78, 0x40);
    put64(fields, 0x88, 0xF800);
    put64(fields, 0x90, 4);
    put64(fields, 0x98, 1);
    put64(fields, 0xA0, sectionCount + 1);
    put64(fields, 0xB0, sectionMap.compressedSize);
    put64(fields, 0xC0, static_cast<std::uint64_t>(sectionMapId));
    put64(fields, 0xC8, sectionMapSize);
    put64(fields, 0xD8, sectionMap.repeats);
    put64(fields, 0xE8, 0x60100);
    return fields;
}

// The file header: 32 bytes of checks and sizes, then the fields, the
// whole repeated to fill three system words; then zeros to 0x400.
Bytes fileHeader(const Bytes& fields, bool compress)
{
    const Bytes stream = pageStream(fields, compress);
    Bytes block(32, 0);
    const std::int32_t storedSize = compress ? static_cast<std::int32_t>(stream.size()) : -static_cast<std::int32_t>(stream.size());
    for (int i = 0; i < 4; ++i) block[24 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(storedSize) >> (8 * i));
    block.insert(block.end(), stream.begin(), stream.end());
    block.resize(alignUp(block.size(), 8), 0);
    Bytes repeated;
    while (repeated.size() + block.size() <= 3 * kSystemK) repeated.insert(repeated.end(), block.begin(), block.end());
    repeated.resize(3 * kSystemK, 0);
    Bytes header = r2007CodeWords(repeated, kSystemK);
    header.resize(0x400, 0);
    return header;
}

Bytes openingRecord(std::uint16_t codePage)
{
    Bytes opening(0x80, 0);
    const std::string version = "AC1021";
    std::copy(version.begin(), version.end(), opening.begin());
    opening[0x0C] = 3;
    opening[0x11] = 0x1F;  // the release that wrote the file
    opening[0x13] = static_cast<std::uint8_t>(codePage);
    opening[0x14] = static_cast<std::uint8_t>(codePage >> 8);
    opening[0x28] = 0x80;
    return opening;
}

}  // namespace

Bytes r2007LiteralStream(const Bytes& data)
{
    const std::size_t length = data.size();
    if (length == 0) throw std::invalid_argument("a literal run has at least one byte");
    Bytes stream;
    if (length < 8) {
        stream = {0x20, 0, 0, static_cast<std::uint8_t>(length)};
    } else if (length < 0x17) {
        stream = {static_cast<std::uint8_t>(length - 8)};
    } else {
        stream = {0x0F};
        std::size_t extra = length - 0x17;
        if (extra < 0xFF) {
            stream.push_back(static_cast<std::uint8_t>(extra));
        } else {
            stream.push_back(0xFF);
            extra -= 0xFF;
            for (;; extra -= 0xFFFF) {
                const std::size_t amount = std::min<std::size_t>(extra, 0xFFFF);
                stream.push_back(static_cast<std::uint8_t>(amount));
                stream.push_back(static_cast<std::uint8_t>(amount >> 8));
                if (amount != 0xFFFF) break;
            }
        }
    }
    const std::vector<int> order = literalOrder(static_cast<int>(length));
    Bytes run(length);
    for (std::size_t j = 0; j < length; ++j) run[order[j]] = data[j];
    stream.insert(stream.end(), run.begin(), run.end());
    return stream;
}

Bytes r2007CodeWords(const Bytes& data, int dataBytesPerWord)
{
    const std::size_t words = std::max<std::size_t>(1, (data.size() + dataBytesPerWord - 1) / dataBytesPerWord);
    Bytes padded = data;
    padded.resize(words * dataBytesPerWord, 0);
    Bytes out(words * kWord);
    for (std::size_t b = 0; b < words; ++b) {
        const auto word = encodeWord(padded.data() + b * dataBytesPerWord, dataBytesPerWord);
        for (int i = 0; i < kWord; ++i) out[i * words + b] = word[i];
    }
    return out;
}

Bytes composeR2007Container(const R2007Sections& sections, const R2007Options& options)
{
    if (options.pageSize == 0) throw std::invalid_argument("pages hold at least one byte");
    std::vector<SectionPlan> plans = {
        {"AcDb:Header", 0x32B803D9, &sections.header, {}},
        {"AcDb:Classes", 0x3F54045F, &sections.classes, {}},
        {"AcDb:Handles", 0x3F6E0450, &sections.handles, {}},
        {"AcDb:AcDbObjects", 0x674C05A9, &sections.objects, {}, options.objectsAt},
    };
    if (!sections.summaryInfo.empty()) plans.push_back({"AcDb:SummaryInfo", 0x717A060F, &sections.summaryInfo, {}, 0, true});
    if (!sections.appInfo.empty()) plans.push_back({"AcDb:AppInfo", 0x3FA0043E, &sections.appInfo, {}, 0, true});
    int nextId = 1;
    for (SectionPlan& plan : plans) planPages(plan, nextId, options);
    const int sectionMapId = nextId++;
    const int pageMapId = nextId;
    const Bytes sectionMapBytes = sectionMap(plans, options.pageSize);
    const Stored sectionMapPage = systemPage(sectionMapBytes, options.compress);

    // The page map's size depends only on how many pages it lists.
    std::vector<std::pair<std::size_t, int>> layout;  // (size, id) in file order
    const std::size_t pageMapSize = static_cast<std::size_t>(pageMapId) * 16;
    const Stored pageMapSizing = systemPage(Bytes(pageMapSize, 0), options.compress);
    layout.emplace_back(pageMapSizing.bytes.size(), pageMapId);
    for (const SectionPlan& plan : plans) {
        for (const DataPage& page : plan.pages) layout.emplace_back(page.stored.size(), page.id);
    }
    layout.emplace_back(sectionMapPage.bytes.size(), sectionMapId);
    if (options.adjustPageMap) options.adjustPageMap(layout);
    Bytes pageMapBytes;
    for (const auto& [size, id] : layout) {
        append64(pageMapBytes, size);
        append64(pageMapBytes, static_cast<std::uint64_t>(id));
    }
    const Stored pageMapPage = systemPage(pageMapBytes, options.compress);
    if (pageMapPage.bytes.size() != pageMapSizing.bytes.size()) throw std::logic_error("the page map changed size");

    Bytes body = pageMapPage.bytes;
    for (const SectionPlan& plan : plans) {
        for (const DataPage& page : plan.pages) body.insert(body.end(), page.stored.begin(), page.stored.end());
    }
    body.insert(body.end(), sectionMapPage.bytes.begin(), sectionMapPage.bytes.end());

    const std::size_t fileSize = kPagesBase + body.size();
    Bytes fields = headerFields(fileSize, pageMapId, pageMapPage, pageMapBytes.size(), sectionMapId, sectionMapPage,
                                sectionMapBytes.size(), pageMapId, plans.size());
    if (options.adjustHeaderFields) options.adjustHeaderFields(fields);
    Bytes file = openingRecord(sections.codePage);
    const Bytes header = fileHeader(fields, options.compress);
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

}  // namespace dwgw
