// R10-R12 drawing composer for tests.
//
// These drawings are byte records, little-endian. Layout produced:
//
//   0x000   12-byte version text: the version, then six zero bytes
//   0x014   RL entity section start, RL entity section end,
//           RL block section start, 4 bytes, RL fourth address, 4 bytes
//   0x02C   table descriptors BLOCK, LAYER, STYLE, LTYPE, VIEW
//           (10 bytes each: RS entry size, RL count, RL start)
//   0x31F   three times (created, updated, editing): RL day, RL milliseconds
//   0x3EF   descriptor UCS; 0x500 VPORT; 0x512 APPID; 0x522 DIMSTYLE;
//   0x69F   P13; the rest of the header is zero and it ends at 0x6CF
//   0x6CF   the entity section: the entity records, then 32 trailing bytes
//           that are not read as entities
//   ...     the block section: the records added after beginBlocks(), then
//           options.blockSection (32 zero bytes by default, the tail that
//           is not read as entities); the fourth address is its end
//   ...     from R11 on, a copy of the section addresses between sentinels
//
// Entity record: RC type, RC flags, RS length of the whole record, the common
// part (RS first word, RS option word, then the fields the flags announce:
// extra flags, extended data, colour, linetype, elevation, thickness,
// handle, viewport word), then the type-specific part.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bitwriter.h"

namespace dwgw {

enum class R12Version { AC1006, AC1009, AC1010 };

// Extended entity data: RS size S, then S bytes of items, each an RC code and
// its bytes (code 0: RC length, one extra byte, the string).
struct R12Eed {
    Bytes items;
    std::optional<std::uint16_t> size;  // default: items.size()

    R12Eed& string(std::string_view text, std::uint8_t extra = 0);
    R12Eed& item(std::uint8_t code, const Bytes& payload);
};

struct R12Entity {
    std::uint8_t type = 1;
    std::uint8_t flags = 0;
    std::optional<std::uint16_t> length;  // default: the record's byte count
    std::uint16_t firstWord = 0;
    std::uint16_t optionWord = 0;
    std::uint8_t extraFlags = 0;    // present when flags & 0x40
    R12Eed eed;                     // present when extra flags & 0x02
    std::uint8_t colour = 7;        // present when flags & 0x01
    std::uint16_t linetype = 0;     // flags & 0x02: RC in AC1006, RS after
    double elevation = 0.0;         // flags & 0x04, types above 2 but 22
    double thickness = 0.0;         // flags & 0x08
    Bytes counted;                  // flags & 0x20: RC count, then these bytes
    std::uint16_t extraWord = 0;    // extra flags & 0x04
    Bytes body;                     // the type-specific part
};

Bytes encodeR12Entity(const R12Entity& entity, R12Version version = R12Version::AC1009);
// RS length, then the bytes; the second form declares any length.
Bytes r12String(std::string_view text);
Bytes r12String(std::string_view text, std::uint16_t declaredLength);

struct R12TableDescriptor {
    std::uint16_t entrySize = 0;
    std::uint32_t count = 0;
    std::uint32_t start = 0;
};

struct R12Options {
    std::optional<std::string> versionText;  // up to 12 bytes, zero-padded
    std::optional<std::int32_t> entitySectionStart;
    std::optional<std::int32_t> entitySectionEnd;
    std::optional<std::int32_t> blockSectionStart;
    std::optional<std::int32_t> fourthAddress;
    // BLOCK, LAYER, STYLE, LTYPE, VIEW, UCS, VPORT, APPID, DIMSTYLE, P13.
    std::array<R12TableDescriptor, 10> tables{{{37}, {37}, {197}, {189}, {58}, {121}, {195}, {37}, {326}, {24}}};
    // Day and milliseconds of the creation and update times and of the
    // editing time.
    std::array<std::int32_t, 6> times{2451545, 50000000, 2451546, 25000000, 1, 61000000};
    // Ends the entity section. Default: a 32-byte BLOCK named NOREAD, whose
    // text shows up if a reader walks into the trailing bytes.
    std::optional<Bytes> entityTrailer;
    Bytes blockSection = Bytes(32, 0);
};

struct ComposedR12 {
    Bytes bytes;
    std::vector<std::size_t> entityOffsets;  // in the order added
    std::vector<std::size_t> blockOffsets;   // the block section's records, in the order added
};

class R12Drawing {
public:
    explicit R12Drawing(R12Version version = R12Version::AC1009);

    R12Entity& addText(std::string_view text);                          // type 7
    R12Entity& addBlock(std::string_view name);                         // type 12
    R12Entity& addBlock(std::string_view name, std::string_view second);  // sets option bit 0x02
    R12Entity& addAttdef(std::string_view first, std::string_view second, std::string_view third);  // 15
    R12Entity& addAttrib(std::string_view first, std::string_view second);                         // 16
    R12Entity& addEntity(std::uint8_t type, Bytes body = Bytes(24, 0));
    // What is added from here on goes into the block section.
    void beginBlocks();

    ComposedR12 compose() const;
    Bytes build() const;

    R12Options options;

private:
    void writeHeader(BitWriter& file, std::size_t sectionEnd, std::size_t blocksEnd) const;
    void writeAddressCopy(BitWriter& file, std::size_t sectionEnd) const;
    Bytes encodeSection(const std::deque<R12Entity>& records, std::size_t at,
                        std::vector<std::size_t>& offsets) const;

    R12Version version_;
    std::deque<R12Entity> entities_;  // a deque keeps returned references valid
    std::deque<R12Entity> blocks_;
    bool inBlocks_ = false;
};

}  // namespace dwgw
