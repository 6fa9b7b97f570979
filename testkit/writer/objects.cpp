#include "objects.h"

#include <stdexcept>

namespace dwgw {

namespace {

// The CRC-16 that closes an object (reflected polynomial 0xA001, begun
// from 0xC0C1), over its size field and data.
std::uint16_t objectCrc(const Bytes& framed) {
    std::uint16_t crc = 0xC0C1;
    for (std::uint8_t byte : framed) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

void writePoint(BitWriter& w, const Point3& p) {
    w.BD(p[0]).BD(p[1]).BD(p[2]);
}

bool since(Layout layout, Layout first) { return static_cast<int>(layout) >= static_cast<int>(first); }

// Up to R2004 a text is bytes among the fields; from R2007 on UTF-16 units
// (each byte widened) in the string stream.
void writeText(BitWriter& w, const ObjectContext& context, const std::string& text,
               const std::optional<std::uint16_t>& declared = std::nullopt) {
    if (since(context.layout, Layout::R2007)) {
        context.strings->BS(declared.value_or(static_cast<std::uint16_t>(text.size())));
        for (unsigned char c : text) context.strings->RS(c);
    } else if (declared) {
        w.T(text, *declared);
    } else {
        w.T(text);
    }
}

// From R2004 on the colour's flag bits say what follows it.
void writeColor(BitWriter& w, const CommonData& c, Layout layout) {
    w.BS(c.color);
    if (!since(layout, Layout::R2004)) return;
    if ((c.color & 0x8000) != 0 && (c.color & 0x4000) == 0) w.BL(c.colorValue);
    if ((c.color & 0x2000) != 0) w.BL(c.transparency);
}

void writeEed(BitWriter& w, const std::vector<EedBlock>& blocks) {
    for (const EedBlock& block : blocks) {
        w.BS(block.length.value_or(static_cast<std::uint16_t>(block.data.size())));
        w.H(block.handleCode, block.handle).raw(block.data);
    }
    w.BS(0);
}

// Type, own handle, extended data, then the entity's graphic, mode, link and
// display fields. The layouts differ only where the object's bit count sits
// and in the few fields some of them lack.
// A graphic's size is an RL before R2010, a BLL after: three bits that
// count its bytes, then those bytes.
void writeGraphic(BitWriter& w, const Bytes& graphic, Layout layout) {
    const auto size = static_cast<std::uint32_t>(graphic.size());
    if (since(layout, Layout::R2010)) {
        const unsigned count = size < 0x100 ? 1 : size < 0x10000 ? 2 : 4;
        w.B(count >> 2 & 1).BB(count & 3);
        for (unsigned i = 0; i < count; ++i) w.RC(static_cast<std::uint8_t>(size >> (8 * i)));
    } else {
        w.RL(size);
    }
    w.raw(graphic);
}

// A CMC among an object's fields: a BS, from R2004 on an RGB and flags,
// whose bit 1 adds a name.
void writeObjectColor(BitWriter& w, const ObjectContext& context, const std::optional<std::string>& name) {
    w.BS(256);
    if (!since(context.layout, Layout::R2004)) return;
    w.BL(0).RC(name ? 1 : 0);
    if (name) writeText(w, context, *name);
}

void writeCommon(BitWriter& w, std::uint16_t type, const CommonData& c, const ObjectContext& context,
                 FieldEnds& ends) {
    const Layout layout = context.layout;
    const bool r2000 = since(layout, Layout::R2000);
    const std::uint32_t dataBits = c.dataSizeBits.value_or(context.dataBits);
    if (since(layout, Layout::R2010)) {
        w.BB(type >= 0x1F0 ? 1 : 0).RC(static_cast<std::uint8_t>(type >= 0x1F0 ? type - 0x1F0 : type));
    } else {
        w.BS(type);
    }
    ends[Field::Type] = w.bitCount();
    if (r2000 && !since(layout, Layout::R2010)) w.RL(dataBits);
    w.H(c.handleCode, context.handle);
    ends[Field::Handle] = w.bitCount();
    writeEed(w, c.eed);
    ends[Field::ExtendedData] = w.bitCount();
    w.B(c.graphicPresent);
    if (!c.graphic.empty()) writeGraphic(w, c.graphic, layout);
    if (!r2000) w.RL(dataBits);
    w.BB(c.entityMode).BL(c.reactors);
    if (since(layout, Layout::R2004)) w.B(true);  // no extension dictionary
    if (since(layout, Layout::R2013)) w.B(false); // nothing in the data store
    if (!r2000) w.B(c.linetypeByLayer);
    if (!since(layout, Layout::R2004)) w.B(c.noLinks);
    writeColor(w, c, layout);
    w.BD(c.linetypeScale);
    if (r2000) w.BB(c.linetypeFlags);
    if (since(layout, Layout::R2007)) w.BB(0).RC(0);  // material and shadow flags
    if (r2000) w.BB(c.plotStyleFlags);
    if (since(layout, Layout::R2010)) w.B(false).B(false).B(false);  // visual styles
    w.BS(c.invisibility);
    if (r2000) w.RC(c.lineweight);
    ends[Field::CommonData] = w.bitCount();
}

}  // namespace

void TextEntity::writeData(BitWriter& w, const ObjectContext& context, FieldEnds& ends) const {
    writeCommon(w, type, common, context, ends);
    if (context.layout == Layout::R13) {
        writeR13Fields(w, ends);
    } else {
        writeR2000Fields(w, ends, context);
    }
    writeAttributeFields(w, context);
}

void TextEntity::writeR13Fields(BitWriter& w, FieldEnds& ends) const {
    w.BD(elevation);
    ends[Field::Elevation] = w.bitCount();
    w.RD(insertion[0]).RD(insertion[1]);
    ends[Field::Insertion] = w.bitCount();
    w.RD(alignment[0]).RD(alignment[1]);
    ends[Field::Alignment] = w.bitCount();
    writePoint(w, extrusion);
    ends[Field::Extrusion] = w.bitCount();
    w.BD(thickness);
    ends[Field::Thickness] = w.bitCount();
    w.BD(oblique);
    ends[Field::Oblique] = w.bitCount();
    w.BD(rotation);
    ends[Field::Rotation] = w.bitCount();
    w.BD(height);
    ends[Field::Height] = w.bitCount();
    w.BD(widthFactor);
    ends[Field::WidthFactor] = w.bitCount();
    w.T(text, textLength.value_or(static_cast<std::uint16_t>(text.size())));
    ends[Field::Text] = w.bitCount();
    w.BS(generation).BS(horizontalAlignment).BS(verticalAlignment);
}

// Each set bit of the data flags leaves one field out: 0x01 elevation,
// 0x02 alignment point, 0x04 oblique, 0x08 rotation, 0x10 width factor,
// 0x20 generation, 0x40 and 0x80 the two alignment codes after the text.
void TextEntity::writeR2000Fields(BitWriter& w, FieldEnds& ends, const ObjectContext& context) const {
    const auto present = [this](unsigned bit) { return (dataFlags & bit) == 0; };
    w.RC(dataFlags);
    ends[Field::DataFlags] = w.bitCount();
    if (present(0x01)) w.RD(elevation);
    ends[Field::Elevation] = w.bitCount();
    w.RD(insertion[0]).RD(insertion[1]);
    ends[Field::Insertion] = w.bitCount();
    if (present(0x02)) w.DD(alignment[0]).DD(alignment[1]);
    ends[Field::Alignment] = w.bitCount();
    w.BE(extrusion[0], extrusion[1], extrusion[2]);
    ends[Field::Extrusion] = w.bitCount();
    w.BT(thickness);
    ends[Field::Thickness] = w.bitCount();
    if (present(0x04)) w.RD(oblique);
    ends[Field::Oblique] = w.bitCount();
    if (present(0x08)) w.RD(rotation);
    ends[Field::Rotation] = w.bitCount();
    w.RD(height);
    ends[Field::Height] = w.bitCount();
    if (present(0x10)) w.RD(widthFactor);
    ends[Field::WidthFactor] = w.bitCount();
    writeText(w, context, multiLine(context) ? std::string() : text, textLength);
    ends[Field::Text] = w.bitCount();
    if (present(0x20)) w.BS(generation);
    if (present(0x40)) w.BS(horizontalAlignment);
    if (present(0x80)) w.BS(verticalAlignment);
}

bool TextEntity::multiLine(const ObjectContext& context) const {
    return since(context.layout, Layout::R2018) && (type == 2 || type == 3) && attributeKind != 1;
}

// ATTRIB: tag, field length, flags; ATTDEF adds the prompt. R2010 put a
// version byte first and R2018 the attribute's kind; a multi-line one
// holds its text as the first text of an embedded MTEXT, whose fields the
// reader does not need.
void TextEntity::writeAttributeFields(BitWriter& w, const ObjectContext& context) const {
    if (type != 2 && type != 3) return;
    if (since(context.layout, Layout::R2010)) w.RC(0);
    if (since(context.layout, Layout::R2018)) w.RC(attributeKind);
    if (multiLine(context)) writeText(w, context, text);
    writeText(w, context, tag);
    w.BS(0).RC(0);
    if (since(context.layout, Layout::R2007)) w.B(false);
    if (type == 3) {
        if (since(context.layout, Layout::R2010)) w.RC(0);
        writeText(w, context, prompt);
    }
}

void MTextEntity::writeData(BitWriter& w, const ObjectContext& context, FieldEnds& ends) const {
    writeCommon(w, type, common, context, ends);
    writePoint(w, insertion);
    ends[Field::Insertion] = w.bitCount();
    writePoint(w, extrusion);
    ends[Field::Extrusion] = w.bitCount();
    writePoint(w, xAxis);
    ends[Field::XAxis] = w.bitCount();
    w.BD(rectWidth);
    ends[Field::RectWidth] = w.bitCount();
    if (since(context.layout, Layout::R2007)) w.BD(rectWidth / 2);  // rectangle height
    w.BD(height);
    ends[Field::Height] = w.bitCount();
    w.BS(attachment);
    ends[Field::Attachment] = w.bitCount();
    w.BS(drawingDirection);
    ends[Field::DrawingDirection] = w.bitCount();
    w.BD(extentsHeight);
    ends[Field::ExtentsHeight] = w.bitCount();
    w.BD(extentsWidth);
    ends[Field::ExtentsWidth] = w.bitCount();
    writeText(w, context, text, textLength);
    ends[Field::Text] = w.bitCount();
    w.BS(1).BD(1.0);  // line spacing style and factor
}

void ToleranceEntity::writeData(BitWriter& w, const ObjectContext& context, FieldEnds& ends) const {
    writeCommon(w, 46, common, context, ends);
    if (context.layout == Layout::R13) w.BS(0).BD(2.5).BD(0.625);  // height and gap
    writePoint(w, {10.0, 20.0, 0.0});
    writePoint(w, {1.0, 0.0, 0.0});
    writePoint(w, {0.0, 0.0, 1.0});
    writeText(w, context, text);
    ends[Field::Text] = w.bitCount();
}

void DimensionEntity::writeData(BitWriter& w, const ObjectContext& context, FieldEnds& ends) const {
    writeCommon(w, type, common, context, ends);
    if (since(context.layout, Layout::R2010)) w.RC(0);
    writePoint(w, {0.0, 0.0, 1.0});
    w.RD(5.0).RD(7.5).BD(0.0).RC(1);  // text middle point, elevation, flags
    writeText(w, context, userText);
    ends[Field::Text] = w.bitCount();
    w.BD(0.0).BD(0.0);  // text rotation, horizontal direction
}

void DimensionEntity::writeHandles(BitWriter& w) const {
    w.H(5, 0x10).H(5, 0x11).H(2, block);
}

void CustomEntity::writeData(BitWriter& w, const ObjectContext& context, FieldEnds& ends) const {
    CommonData withGraphic = common;
    withGraphic.graphicPresent = true;
    withGraphic.graphic = proxyGraphic(texts, since(context.layout, Layout::R2007));
    if (adjustGraphic) adjustGraphic(withGraphic.graphic);
    writeCommon(w, type, withGraphic, context, ends);
    w.raw(Bytes{0x11, 0x22, 0x33});
}

void OpaqueObject::writeData(BitWriter& w, const ObjectContext& context, FieldEnds& ends) const {
    if (since(context.layout, Layout::R2010)) {
        w.BB(2).RS(type);
    } else {
        w.BS(type);
    }
    ends[Field::Type] = w.bitCount();
    w.raw(payload);
}

namespace {

// From R2007 on: the data, then the string stream with its size and the
// bit that says it is there; the handle stream starts after that bit and is
// padded to a byte.
Bytes withStrings(const BitWriter& data, const BitWriter& strings, const BitWriter& handles) {
    BitWriter out;
    out.bits(data);
    if (strings.bitCount() > 0) {
        out.bits(strings);
        const std::size_t size = strings.bitCount();
        if (size >= std::size_t{1} << 31) throw std::length_error("string stream beyond the writer's reach");
        if (size >= 0x8000) out.RS(static_cast<std::uint16_t>(size >> 15));
        out.RS(static_cast<std::uint16_t>(size >= 0x8000 ? (size & 0x7FFF) | 0x8000 : size)).B(true);
    } else {
        out.B(false);
    }
    out.bits(handles);
    return out.bytes();
}

// The size as an MS: one word under 32 KiB, else the low 15 bits with the
// top bit set and the next 15 in a second word.
void writeObjectSize(BitWriter& frame, std::size_t size) {
    if (size < 0x8000) {
        frame.RS(static_cast<std::uint16_t>(size));
    } else {
        frame.RS(static_cast<std::uint16_t>((size & 0x7FFF) | 0x8000)).RS(static_cast<std::uint16_t>(size >> 15));
    }
}

}  // namespace

FramedObject frameObject(const Object& object, Layout layout, std::uint32_t handle) {
    const bool stringStream = since(layout, Layout::R2007);
    BitWriter sizingStrings;
    ObjectContext context{layout, handle, 0, &sizingStrings};
    BitWriter sizing;
    FieldEnds unused;
    object.writeData(sizing, context, unused);
    context.dataBits = static_cast<std::uint32_t>(sizing.bitCount());
    if (stringStream) {
        const std::size_t stringBits = sizingStrings.bitCount();
        const std::size_t sizeBits = stringBits == 0 ? 0 : stringBits < 0x8000 ? 16 : 32;
        context.dataBits += static_cast<std::uint32_t>(stringBits + sizeBits + 1);
    }

    BitWriter data;
    BitWriter strings;
    context.strings = &strings;
    FramedObject framed;
    object.writeData(data, context, framed.fieldEnds);
    BitWriter handles;
    object.writeHandles(handles);
    BitWriter plain;
    plain.bits(data).bits(handles);
    const Bytes body = stringStream ? withStrings(data, strings, handles) : plain.bytes();
    if (body.size() >= std::size_t{1} << 30) throw std::length_error("object larger than its size field");
    BitWriter frame;
    if (object.sizeField) {
        frame.RS(*object.sizeField);
    } else {
        writeObjectSize(frame, body.size());
    }
    if (since(layout, Layout::R2010)) {
        const std::size_t handleBits = body.size() * 8 - context.dataBits;
        frame.RC(static_cast<std::uint8_t>(handleBits));  // a one-byte MC: under 0x80 bits of padding
    }
    frame.raw(body);
    frame.RS(objectCrc(frame.bytes()));
    framed.bytes = frame.bytes();
    return framed;
}

MultileaderEntity::MultileaderEntity() {
    common.graphicPresent = true;
    common.graphic = Bytes(40, 0x5A);
}

void MultileaderEntity::writeData(BitWriter& w, const ObjectContext& context, FieldEnds& ends) const {
    writeCommon(w, type, common, context, ends);
    if (since(context.layout, Layout::R2010)) w.BS(2);
    writeContextData(w, context);
    ends[Field::Text] = w.bitCount();
    writeOwnFields(w, context);
}

void MultileaderEntity::writeContextData(BitWriter& w, const ObjectContext& context) const {
    const Layout layout = context.layout;
    const bool r2010 = since(layout, Layout::R2010);
    w.BL(leaderRoots);
    for (std::uint32_t root = 0; root < leaderRoots; ++root) {
        w.B(true).B(true);
        writePoint(w, {10.0, 10.0, 0.0});
        writePoint(w, {1.0, 0.0, 0.0});
        w.BL(1);  // one break: its start and end
        writePoint(w, {3.5, 3.5, 0.0});
        writePoint(w, {4.5, 4.5, 0.0});
        w.BL(root).BD(8.0);  // index, landing distance
        w.BL(2);             // two lines
        for (std::uint32_t line = 0; line < 2; ++line) {
            w.BL(pointCount.value_or(2));
            writePoint(w, {0.0, 0.0, 0.0});
            writePoint(w, {10.0, 10.0, 0.0});
            w.BL(1).BL(0).BL(2);  // breaks on segment 0: two of them
            for (double at : {2.5, 6.5}) {
                writePoint(w, {at, at, 0.0});
                writePoint(w, {at + 1.5, at + 1.5, 0.0});
            }
            w.BL(line);
            if (r2010) {
                w.BS(1);
                writeObjectColor(w, context, colorName);
                w.BL(0).BD(2.5).BL(0);
            }
        }
        if (r2010) w.BS(0);
    }
    w.BD(1.0);
    writePoint(w, {12.0, 10.0, 0.0});
    w.BD(2.5).BD(2.5).BD(2.0).BS(1).BS(1).BS(0).BS(1);
    w.B(text.has_value());
    if (text) {
        writeText(w, context, *text);
        writePoint(w, {0.0, 0.0, 1.0});
        writePoint(w, {12.0, 10.0, 0.0});
        writePoint(w, {1.0, 0.0, 0.0});
        w.BD(0.0).BD(40.0).BD(0.0).BD(1.0).BS(1);
        writeObjectColor(w, context, colorName);
        w.BS(1).BS(1);
        writeObjectColor(w, context, colorName);
        w.BD(1.5).BL(0).B(false).B(false).BS(0).B(false).BD(0.0).BD(0.0).B(false);
        w.BL(2).BD(17.5).BD(22.5).B(true).B(false);  // two column sizes, word break
    } else {
        w.B(true);
        writePoint(w, {0.0, 0.0, 1.0});
        writePoint(w, {12.0, 10.0, 0.0});
        writePoint(w, {1.0, 1.0, 1.0});
        w.BD(0.0);
        writeObjectColor(w, context, colorName);
        for (int i = 0; i < 16; ++i) w.BD(i % 5 == 0 ? 1.0 : 0.0);
    }
    writePoint(w, {0.0, 0.0, 0.0});
    writePoint(w, {1.0, 0.0, 0.0});
    writePoint(w, {0.0, 1.0, 0.0});
    w.B(false);
    if (r2010) w.BS(9).BS(9);
}

void MultileaderEntity::writeOwnFields(BitWriter& w, const ObjectContext& context) const {
    const Layout layout = context.layout;
    w.BL(0).BS(1);
    writeObjectColor(w, context, colorName);
    w.BL(0).B(true).B(true).BD(8.0).BD(4.0).BS(text ? 2 : 1);
    w.BS(1).BS(1).BS(1).BS(0);
    writeObjectColor(w, context, colorName);
    w.B(false);
    writeObjectColor(w, context, colorName);
    writePoint(w, {1.0, 1.0, 1.0});
    w.BD(0.0).BS(0).B(false);
    if (!since(layout, Layout::R2010)) w.BL(1).B(true);  // one arrow head
    w.BL(labelCount.value_or(static_cast<std::uint32_t>(attributeValues.size())));
    for (const std::string& value : attributeValues) {
        writeText(w, context, value);
        w.BS(0).BD(0.0);
    }
    w.B(false).BS(0).BS(1).BD(1.0);
    if (since(layout, Layout::R2010)) w.BS(0).BS(9).BS(9);
    if (since(layout, Layout::R2013)) w.B(false);
}

}  // namespace dwgw
