#include "r12writer.h"

#include <stdexcept>

namespace dwgw {

namespace {

constexpr std::size_t kSectionAddressesAt = 0x14;
constexpr std::size_t kTimesAt = 0x31F;
constexpr std::size_t kHeaderSize = 0x6CF;
// The first five descriptors follow the section addresses; these are the
// places of the other five.
constexpr std::array<std::size_t, 5> kLaterDescriptorAt{0x3EF, 0x500, 0x512, 0x522, 0x69F};

const char* versionString(R12Version version) {
    switch (version) {
        case R12Version::AC1006: return "AC1006";
        case R12Version::AC1009: return "AC1009";
        case R12Version::AC1010: return "AC1010";
    }
    throw std::invalid_argument("unknown version");
}

// A writer that starts with a 2D point.
BitWriter startWithPoint() {
    BitWriter w;
    w.RD(10.0).RD(20.0);
    return w;
}

// BLOCK named NOREAD: 4 head + 4 common + 16 point + 2 + 6 string = 32 bytes.
Bytes defaultTrailer() {
    R12Entity block;
    block.type = 12;
    block.body = startWithPoint().raw(r12String("NOREAD")).bytes();
    return encodeR12Entity(block);
}

// Point, an 8-byte value, the strings, then two bytes of further fields.
Bytes attributeBody(const std::vector<std::string_view>& strings) {
    BitWriter w = startWithPoint();
    w.RD(2.5);
    for (std::string_view s : strings) w.raw(r12String(s));
    return w.RS(0).bytes();
}

// The common part between the head and the type-specific part, each piece
// present by its flag in the order of the record.
void writeCommon(BitWriter& w, const R12Entity& e, R12Version version) {
    const std::uint8_t extra = (e.flags & 0x40) ? e.extraFlags : 0;
    w.RS(e.firstWord).RS(e.optionWord);
    if (e.flags & 0x40) w.RC(e.extraFlags);
    if (extra & 0x02) w.RS(e.eed.size.value_or(static_cast<std::uint16_t>(e.eed.items.size()))).raw(e.eed.items);
    if (e.flags & 0x01) w.RC(e.colour);
    if ((e.flags & 0x02) && version == R12Version::AC1006) w.RC(static_cast<std::uint8_t>(e.linetype));
    if ((e.flags & 0x02) && version != R12Version::AC1006) w.RS(e.linetype);
    if ((e.flags & 0x04) && e.type > 2 && e.type != 22) w.RD(e.elevation);
    if (e.flags & 0x08) w.RD(e.thickness);
    if (e.flags & 0x20) w.RC(static_cast<std::uint8_t>(e.counted.size())).raw(e.counted);
    if (extra & 0x04) w.RS(e.extraWord);
}

void writeDescriptor(BitWriter& w, const R12TableDescriptor& d) {
    w.RS(d.entrySize).RL(d.count).RL(d.start);
}

}  // namespace

R12Eed& R12Eed::string(std::string_view text, std::uint8_t extra) {
    const Bytes bytes = BitWriter().RC(0).RC(static_cast<std::uint8_t>(text.size())).RC(extra).raw(text).bytes();
    items.insert(items.end(), bytes.begin(), bytes.end());
    return *this;
}

R12Eed& R12Eed::item(std::uint8_t code, const Bytes& payload) {
    items.push_back(code);
    items.insert(items.end(), payload.begin(), payload.end());
    return *this;
}

Bytes r12String(std::string_view text) {
    if (text.size() > 0xFFFF) throw std::invalid_argument("string longer than an RS length can declare");
    return r12String(text, static_cast<std::uint16_t>(text.size()));
}

Bytes r12String(std::string_view text, std::uint16_t declaredLength) {
    return BitWriter().RS(declaredLength).raw(text).bytes();
}

Bytes encodeR12Entity(const R12Entity& entity, R12Version version) {
    BitWriter rest;
    writeCommon(rest, entity, version);
    rest.raw(entity.body);
    const std::size_t length = 4 + rest.byteCount();
    if (length > 0xFFFF) throw std::length_error("entity record larger than its length field");
    return BitWriter()
        .RC(entity.type)
        .RC(entity.flags)
        .RS(entity.length.value_or(static_cast<std::uint16_t>(length)))
        .raw(rest.bytes())
        .bytes();
}

R12Drawing::R12Drawing(R12Version version) : version_(version) {}

R12Entity& R12Drawing::addText(std::string_view text) {
    // Point, height, the string, then the rotation.
    return addEntity(7, startWithPoint().RD(2.5).raw(r12String(text)).RD(0.0).bytes());
}

R12Entity& R12Drawing::addBlock(std::string_view name) {
    return addEntity(12, startWithPoint().raw(r12String(name)).bytes());
}

R12Entity& R12Drawing::addBlock(std::string_view name, std::string_view second) {
    R12Entity& block = addEntity(12, startWithPoint().raw(r12String(name)).raw(r12String(second)).bytes());
    block.optionWord |= 0x02;
    return block;
}

R12Entity& R12Drawing::addAttdef(std::string_view first, std::string_view second, std::string_view third) {
    return addEntity(15, attributeBody({first, second, third}));
}

R12Entity& R12Drawing::addAttrib(std::string_view first, std::string_view second) {
    return addEntity(16, attributeBody({first, second}));
}

R12Entity& R12Drawing::addEntity(std::uint8_t type, Bytes body) {
    R12Entity& entity = (inBlocks_ ? blocks_ : entities_).emplace_back();
    entity.type = type;
    entity.body = std::move(body);
    return entity;
}

void R12Drawing::beginBlocks() {
    inBlocks_ = true;
}

void R12Drawing::writeHeader(BitWriter& file, std::size_t sectionEnd, std::size_t blocksEnd) const {
    const auto address = [](std::optional<std::int32_t> value, std::size_t computed) {
        return static_cast<std::uint32_t>(value.value_or(static_cast<std::int32_t>(computed)));
    };
    file.raw(options.versionText.value_or(versionString(version_))).padTo(kSectionAddressesAt);
    file.RL(address(options.entitySectionStart, kHeaderSize));
    file.RL(address(options.entitySectionEnd, sectionEnd));
    // The sizes that follow the block and extra sections' addresses carry a
    // flag in their top bits, as real drawings set them.
    file.RL(address(options.blockSectionStart, sectionEnd)).RL(0x40000000);
    file.RL(address(options.fourthAddress, blocksEnd)).RL(0x80000000);
    for (std::size_t i = 0; i < 5; ++i) writeDescriptor(file, options.tables[i]);
    file.padTo(kTimesAt);
    for (std::int32_t part : options.times) file.RL(static_cast<std::uint32_t>(part));
    for (std::size_t i = 0; i < kLaterDescriptorAt.size(); ++i) {
        writeDescriptor(file.padTo(kLaterDescriptorAt[i]), options.tables[5 + i]);
    }
    file.padTo(kHeaderSize);
}

Bytes R12Drawing::encodeSection(const std::deque<R12Entity>& records, std::size_t at,
                                std::vector<std::size_t>& offsets) const {
    BitWriter section;
    for (const R12Entity& entity : records) {
        offsets.push_back(at + section.byteCount());
        section.raw(encodeR12Entity(entity, version_));
    }
    return section.bytes();
}

ComposedR12 R12Drawing::compose() const {
    ComposedR12 out;
    BitWriter section;
    section.raw(encodeSection(entities_, kHeaderSize, out.entityOffsets));
    section.raw(options.entityTrailer.value_or(defaultTrailer()));
    const std::size_t sectionEnd = kHeaderSize + section.byteCount();
    BitWriter blocks;
    blocks.raw(encodeSection(blocks_, sectionEnd, out.blockOffsets)).raw(options.blockSection);

    BitWriter file;
    writeHeader(file, sectionEnd, sectionEnd + blocks.byteCount());
    file.raw(section.bytes()).raw(blocks.bytes());
    if (version_ != R12Version::AC1006) writeAddressCopy(file, sectionEnd);
    out.bytes = file.bytes();
    return out;
}

// From R11 on the file ends with a copy of the section addresses between
// two sentinels (the closing one zeros here: readers do not check it). The
// copy's second word is its length.
void R12Drawing::writeAddressCopy(BitWriter& file, std::size_t sectionEnd) const {
    static const Bytes kOpening = {0x2A, 0x06, 0x2C, 0x44, 0xF5, 0x56, 0x96, 0x59, 0x32, 0xE3, 0x78,
                                   0x38, 0x11, 0x7F, 0xB4, 0xE8, 0x29, 0x8D, 0xD1, 0x49, 0xA9, 0x73,
                                   0x1F, 0xEA, 0x99, 0xDE, 0x32, 0xF9, 0x4D, 0x0A, 0xE0, 0x19};
    constexpr std::uint16_t kCopyLength = 4 + 4 * 4;
    const auto extras = static_cast<std::uint32_t>(file.byteCount());
    file.raw(kOpening).RS(0x10).RS(kCopyLength);
    file.RL(kHeaderSize).RL(static_cast<std::uint32_t>(sectionEnd)).RL(static_cast<std::uint32_t>(sectionEnd)).RL(extras);
    file.raw(Bytes(16, 0));
}

Bytes R12Drawing::build() const {
    return compose().bytes;
}

}  // namespace dwgw
