#include "extent.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

namespace dwgtext {

namespace {

// The bytes of a drawing through a few windows of their own. The map lists
// objects by handle, and a real drawing keeps them in a handful of regions
// of the file that the walk goes back and forth between: each region keeps
// a window, so every byte is read from the source about once. The window
// used least recently gives way to a new one.
class ByteWindows {
public:
    explicit ByteWindows(tqhost::ByteSource &source) : source_(source), size_(source.size()) {}

    tqhost::ByteSource &source() const { return source_; }
    uint64_t size() const { return size_; }

    // The byte at offset, below size(); 0 when it cannot be read.
    uint8_t operator[](uint64_t offset)
    {
        const uint8_t *byte = span(offset, 1);
        return byte != nullptr ? *byte : 0;
    }

    // The count bytes at offset read in place, when one window holds them
    // all; else null.
    const uint8_t *span(uint64_t offset, uint64_t count)
    {
        Window *window = current_;
        if (offset - window->start >= window->length)
            window = find(offset);
        const uint64_t at = offset - window->start;
        return at < window->length && count <= window->length - at ? window->bytes.data() + at : nullptr;
    }

private:
    static constexpr std::size_t kWindowSize = 16 * 1024;
    static constexpr std::size_t kWindowCount = 8;

    struct Window {
        std::vector<uint8_t> bytes;
        uint64_t start = 0;
        uint64_t length = 0;
        uint64_t lastUse = 0;
    };

    Window *find(uint64_t offset)
    {
        const uint64_t start = offset - offset % kWindowSize;
        Window *oldest = &windows_[0];
        for (Window &window : windows_) {
            if (window.start == start && window.length > 0)
                return use(&window);
            if (window.lastUse < oldest->lastUse)
                oldest = &window;
        }
        fill(*oldest, start);
        return use(oldest);
    }

    Window *use(Window *window)
    {
        window->lastUse = ++uses_;
        current_ = window;
        return window;
    }

    void fill(Window &window, uint64_t start)
    {
        window.bytes.resize(kWindowSize);
        window.start = start;
        const int64_t n = source_.readAt(start, window.bytes.data(), kWindowSize);
        window.length = n > 0 ? static_cast<uint64_t>(n) : 0;
    }

    tqhost::ByteSource &source_;
    uint64_t size_;
    std::array<Window, kWindowCount> windows_;
    Window *current_ = &windows_[0];
    uint64_t uses_ = 0;
};

constexpr std::string_view kR12Versions[] = {"AC1006", "AC1009", "AC1010"};
constexpr std::string_view kR13Versions[] = {"AC1012", "AC1013", "AC1014", "AC1015"};

// R10 to R12: a header of fixed layout up to the entity section, which
// starts at 0x6CF in R11 and R12 but earlier in R10, whose header lacks the
// last descriptors.
constexpr std::size_t kR12EntitySectionStart = 0x14;
constexpr std::size_t kR12EntitySectionEnd = 0x18;
// Table descriptors (RS entry size, RL entry count, RL start) of the BLOCK,
// LAYER, STYLE, LTYPE, VIEW, UCS, VPORT, APPID, DIMSTYLE and P13 tables.
constexpr std::size_t kR12DescriptorSize = 10;
constexpr std::array<std::size_t, 10> kR12TableDescriptors = {0x2C,  0x36,  0x40,  0x4A,  0x54,
                                                              0x3EF, 0x500, 0x512, 0x522, 0x69F};
constexpr uint64_t kR12FirstDescriptorsEnd = 0x5E;

// R13 to R2000: the locator count at 21, then 9-byte locators (record
// number, RL seeker, RL size). The library needs at least five and reads
// the first three; no release writes more than eight, so a larger count is
// damage, not a longer header.
constexpr std::size_t kLocatorCountAt = 21;
constexpr std::size_t kLocatorsAt = 25;
constexpr std::size_t kLocatorSize = 9;
constexpr uint32_t kLeastLocators = 5;
constexpr uint32_t kMostLocators = 8;
constexpr std::size_t kObjectMapLocator = 2;

// The object map: sections of a 16-bit big-endian size (counting itself and
// the entries), modular-char pairs (handle delta, offset delta), and a
// 2-byte check value; a section of size 2 closes the map.
constexpr uint16_t kClosingSectionSize = 2;
constexpr std::size_t kCheckValueLength = 2;
constexpr int kMostModularCharBytes = 6;

bool versionIn(ByteWindows &bytes, std::span<const std::string_view> versions)
{
    if (bytes.size() < 6)
        return false;
    std::string version(6, '\0');
    for (std::size_t i = 0; i < version.size(); ++i)
        version[i] = static_cast<char>(bytes[i]);
    return std::find(versions.begin(), versions.end(), version) != versions.end();
}

// Little-endian numbers; 0 when they are not all in the file.
uint64_t le(ByteWindows &bytes, std::size_t at, std::size_t width)
{
    if (at + width > bytes.size())
        return 0;
    uint64_t value = 0;
    for (std::size_t i = width; i > 0; --i)
        value = value << 8 | bytes[at + i - 1];
    return value;
}

uint64_t r12Extent(ByteWindows &bytes)
{
    const uint64_t headerEnd = le(bytes, kR12EntitySectionStart, 4);
    uint64_t extent = std::max<uint64_t>({kR12FirstDescriptorsEnd, headerEnd, le(bytes, kR12EntitySectionEnd, 4)});
    for (std::size_t at : kR12TableDescriptors) {
        if (at + kR12DescriptorSize > headerEnd)
            continue;
        const uint64_t entrySize = le(bytes, at, 2);
        const uint64_t count = le(bytes, at + 2, 4);
        const uint64_t start = le(bytes, at + 6, 4);
        if (count > 0)
            extent = std::max<uint64_t>(extent, start + entrySize * count);
    }
    return extent;
}

// Bytes a window holds, by their offsets in the file.
struct InPlace {
    const uint8_t *first;
    std::size_t start;

    uint8_t operator[](std::size_t offset) const { return first[offset - start]; }
};

// The entries of one map section, read through a window byte by byte or,
// when one window holds the whole section, in place.
template <class Bytes>
struct MapReader {
    Bytes &bytes;
    std::size_t at;
    std::size_t end;

    // A modular char: seven value bits a byte, low group first, 0x80 when
    // another byte follows; the last byte has six value bits and the sign.
    // False when the value runs past the end.
    bool modularChar(int64_t &value)
    {
        uint64_t magnitude = 0;
        for (int i = 0; i < kMostModularCharBytes && at < end; ++i) {
            const uint8_t byte = bytes[at++];
            if ((byte & 0x80) == 0 || i + 1 == kMostModularCharBytes) {
                magnitude |= static_cast<uint64_t>(byte & 0x3F) << (7 * i);
                value = byte & 0x40 ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
                return true;
            }
            magnitude |= static_cast<uint64_t>(byte & 0x7F) << (7 * i);
        }
        return false;
    }
};

// The end of the object at offset: its modular-short size (15 bits a
// 2-byte unit, 0x8000 when another follows), the data, the check value. A
// size field cut by the end of the file gives the first byte missing + 1.
uint64_t objectEnd(ByteWindows &bytes, uint64_t offset)
{
    if (const uint8_t *unit = bytes.span(offset, 2); unit != nullptr && (unit[1] & 0x80) == 0)
        return offset + 2 + (static_cast<uint64_t>(unit[1]) << 8 | unit[0]) + kCheckValueLength;
    uint64_t size = 0;
    uint64_t at = offset;
    for (int shift = 0;; shift += 15) {
        if (at + 2 > bytes.size())
            return std::max<uint64_t>(at + 2, bytes.size() + 1);
        const uint64_t unit = le(bytes, at, 2);
        at += 2;
        size |= (unit & 0x7FFF) << shift;
        if ((unit & 0x8000) == 0 || shift >= 30)
            return at + size + kCheckValueLength;
    }
}

// The furthest end of the objects one section lists, and extent.
template <class Bytes>
uint64_t sectionExtent(MapReader<Bytes> reader, ByteWindows &objects, uint64_t extent)
{
    int64_t offset = 0;
    for (int64_t handleDelta = 0, offsetDelta = 0; reader.modularChar(handleDelta) && reader.modularChar(offsetDelta);) {
        offset += offsetDelta;
        if (offset > 0)
            extent = std::max<uint64_t>(extent, objectEnd(objects, static_cast<uint64_t>(offset)));
    }
    return extent;
}

// The furthest object end of the map at [start, start + size), and the
// map's own end when it runs past the file.
uint64_t objectMapExtent(ByteWindows &bytes, uint64_t start, uint64_t size)
{
    const std::size_t mapEnd = static_cast<std::size_t>(std::min<uint64_t>(start + size, bytes.size()));
    uint64_t extent = start + size;
    ByteWindows objects(bytes.source());
    std::size_t at = static_cast<std::size_t>(std::min<uint64_t>(start, bytes.size()));
    while (at + 2 <= mapEnd) {
        const uint16_t sectionSize = static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]);
        if (sectionSize <= kClosingSectionSize)
            break;
        const std::size_t entries = at + 2;
        const std::size_t end = std::min<std::size_t>(at + sectionSize, mapEnd);
        if (const uint8_t *first = entries < end ? bytes.span(entries, end - entries) : nullptr) {
            InPlace section{first, entries};
            extent = sectionExtent(MapReader<InPlace>{section, entries, end}, objects, extent);
        } else {
            extent = sectionExtent(MapReader<ByteWindows>{bytes, entries, end}, objects, extent);
        }
        at += sectionSize + kCheckValueLength;
    }
    return extent;
}

uint64_t r13Extent(ByteWindows &bytes)
{
    const uint64_t count = le(bytes, kLocatorCountAt, 4);
    const uint64_t locators = std::clamp<uint64_t>(count, kLeastLocators, kMostLocators);
    uint64_t extent = kLocatorsAt + kLeastLocators * kLocatorSize;
    for (std::size_t i = 0; i < locators; ++i) {
        const std::size_t at = kLocatorsAt + i * kLocatorSize;
        const uint64_t seeker = le(bytes, at + 1, 4);
        const uint64_t size = le(bytes, at + 5, 4);
        extent = std::max<uint64_t>(extent, at + kLocatorSize);
        if (size == 0)
            continue;
        extent = std::max<uint64_t>(extent, i == kObjectMapLocator ? objectMapExtent(bytes, seeker, size) : seeker + size);
    }
    return extent;
}

}  // namespace

uint64_t recordedExtent(std::span<const uint8_t> bytes)
{
    tqhost::MemoryBytes source(bytes);
    return recordedExtent(source);
}

uint64_t recordedExtent(tqhost::ByteSource &source)
{
    ByteWindows bytes(source);
    if (versionIn(bytes, kR12Versions))
        return r12Extent(bytes);
    if (versionIn(bytes, kR13Versions))
        return r13Extent(bytes);
    return 0;
}

}  // namespace dwgtext
