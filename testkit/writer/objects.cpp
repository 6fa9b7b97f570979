#include "objects.h"

#include <stdexcept>

namespace dwgw {

namespace {

constexpr std::uint16_t kObjectCrc = 0xC3C3;

void writePoint(BitWriter& w, const Point3& p) {
    w.BD(p[0]).BD(p[1]).BD(p[2]);
}

void writeText(BitWriter& w, const std::string& text, const std::optional<std::uint16_t>& declared) {
    if (declared) {
        w.T(text, *declared);
    } else {
        w.T(text);
    }
}

void writeEed(BitWriter& w, const std::vector<EedBlock>& blocks) {
    for (const EedBlock& block : blocks) {
        w.BS(block.length.value_or(static_cast<std::uint16_t>(block.data.size())));
        w.H(block.handleCode, block.handle).raw(block.data);
    }
    w.BS(0);
}

// Type, own handle, extended data, then the entity's graphic, mode, link and
// display fields. The two layouts differ only where the object's bit count
// sits and in the few fields one of them lacks.
void writeCommon(BitWriter& w, std::uint16_t type, const CommonData& c, const ObjectContext& context,
                 FieldEnds& ends) {
    const bool r2000 = context.layout == Layout::R2000;
    const std::uint32_t dataBits = c.dataSizeBits.value_or(context.dataBits);
    w.BS(type);
    ends[Field::Type] = w.bitCount();
    if (r2000) w.RL(dataBits);
    w.H(c.handleCode, context.handle);
    ends[Field::Handle] = w.bitCount();
    writeEed(w, c.eed);
    ends[Field::ExtendedData] = w.bitCount();
    w.B(c.graphicPresent);
    if (!r2000) w.RL(dataBits);
    w.BB(c.entityMode).BL(c.reactors);
    if (!r2000) w.B(c.linetypeByLayer);
    w.B(c.noLinks).BS(c.color).BD(c.linetypeScale);
    if (r2000) w.BB(c.linetypeFlags).BB(c.plotStyleFlags);
    w.BS(c.invisibility);
    if (r2000) w.RC(c.lineweight);
    ends[Field::CommonData] = w.bitCount();
}

}  // namespace

void TextEntity::writeData(BitWriter& w, const ObjectContext& context, FieldEnds& ends) const {
    writeCommon(w, type, common, context, ends);
    if (context.layout == Layout::R2000) {
        writeR2000Fields(w, ends);
    } else {
        writeR13Fields(w, ends);
    }
    writeAttributeFields(w);
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
    writeText(w, text, textLength);
    ends[Field::Text] = w.bitCount();
    w.BS(generation).BS(horizontalAlignment).BS(verticalAlignment);
}

// Each set bit of the data flags leaves one field out: 0x01 elevation,
// 0x02 alignment point, 0x04 oblique, 0x08 rotation, 0x10 width factor,
// 0x20 generation, 0x40 and 0x80 the two alignment codes after the text.
void TextEntity::writeR2000Fields(BitWriter& w, FieldEnds& ends) const {
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
    writeText(w, text, textLength);
    ends[Field::Text] = w.bitCount();
    if (present(0x20)) w.BS(generation);
    if (present(0x40)) w.BS(horizontalAlignment);
    if (present(0x80)) w.BS(verticalAlignment);
}

// ATTRIB: tag, field length, flags; ATTDEF adds the prompt.
void TextEntity::writeAttributeFields(BitWriter& w) const {
    if (type != 2 && type != 3) return;
    w.T(tag).BS(0).RC(0);
    if (type == 3) w.T(prompt);
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
    writeText(w, text, textLength);
    ends[Field::Text] = w.bitCount();
    w.BS(1).BD(1.0);  // line spacing style and factor
}

void OpaqueObject::writeData(BitWriter& w, const ObjectContext&, FieldEnds& ends) const {
    w.BS(type);
    ends[Field::Type] = w.bitCount();
    w.raw(payload);
}

FramedObject frameObject(const Object& object, Layout layout, std::uint32_t handle) {
    ObjectContext context{layout, handle, 0};
    BitWriter sizing;
    FieldEnds unused;
    object.writeData(sizing, context, unused);
    context.dataBits = static_cast<std::uint32_t>(sizing.bitCount());

    BitWriter data;
    FramedObject framed;
    object.writeData(data, context, framed.fieldEnds);
    if (data.byteCount() > 0xFFFF && !object.sizeField) throw std::length_error("object larger than its size field");
    BitWriter frame;
    frame.RS(object.sizeField.value_or(static_cast<std::uint16_t>(data.byteCount())));
    frame.raw(data.bytes()).RS(kObjectCrc);
    framed.bytes = frame.bytes();
    return framed;
}

}  // namespace dwgw
