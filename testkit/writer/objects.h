// Object encoders for composing R13 to R2018 test drawings.
//
// An object in the file is
//
//   MS       size: bytes of the object's data, counted from the type onward
//            (one word; two from 32 KiB on, the first with its top bit set)
//   data     bit data padded to a whole byte; it starts with the type as BS
//   2 bytes  CRC (not verified by the reader)
//
// so the next object starts at start + size + 4 (+ 2 for a two-word size). Entities begin their data
// with the common entity data, whose layout differs between R13/R14 and
// R2000, then their own fields. The entity records below are aggregates with
// usable defaults: a test changes only the fields its case is about.
//
// From R2007 on texts are UTF-16 (the writer widens each byte of `text`,
// and "\U+" codes stay as they are written) and lie in a string stream at
// the end of the object's data: the texts, their size in bits (RS, and
// before it a high part when the size takes more than 15 bits), and a
// set bit that says the stream is there. From R2010 on the size is followed
// by the handle stream's size in bits (MC) and the type is coded as OT; the
// size then counts the bytes after that MC.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bitwriter.h"

namespace dwgw {

// R13 covers AC1012 to AC1014; each later one its release.
enum class Layout { R13, R2000, R2004, R2007, R2010, R2013, R2018 };

// Fields after which an encoded object can be cut (see FieldEnds).
enum class Field {
    Type, Handle, ExtendedData, CommonData,
    DataFlags, Elevation, Insertion, Alignment, Extrusion, Thickness,
    Oblique, Rotation, Height, WidthFactor,
    XAxis, RectWidth, Attachment, DrawingDirection, ExtentsHeight, ExtentsWidth,
    Text,
};

// For every field written: the bit position just past it, counted from the
// first bit of the type. A field that its flags leave out ends where it
// would have started.
using FieldEnds = std::map<Field, std::size_t>;

using Point2 = std::array<double, 2>;
using Point3 = std::array<double, 3>;

// One block of extended entity data: BS length, the application handle
// (code nibble, byte-count nibble, value bytes), then `length` data bytes.
struct EedBlock {
    unsigned handleCode = 5;
    Bytes handle{0x12};
    Bytes data{'e', 'e', 'd'};
    std::optional<std::uint16_t> length;  // default: data.size()
};

// The common entity data of both layouts; a field the layout lacks is not
// written.
struct CommonData {
    unsigned handleCode = 0;           // code nibble of the object's own handle
    std::vector<EedBlock> eed;         // written before the terminating BS 0
    bool graphicPresent = false;       // texts with 1 are refused
    Bytes graphic;                     // when not empty: its size (BLL from R2010, RL before) and these bytes
    std::optional<std::uint32_t> dataSizeBits;  // default: the data's bit count
    unsigned entityMode = 0;           // BB
    std::uint32_t reactors = 0;
    bool linetypeByLayer = true;       // R13 only
    bool noLinks = true;
    std::uint16_t color = 256;         // from R2004 on with its flag bits
    std::uint32_t colorValue = 0;      // R2004 on: RGB when color has 0x8000 without 0x4000
    std::uint32_t transparency = 0;    // R2004 on: when color has 0x2000
    double linetypeScale = 1.0;
    unsigned linetypeFlags = 0;        // R2000 only, BB
    unsigned plotStyleFlags = 0;       // R2000 only, BB
    std::uint16_t invisibility = 0;
    std::uint8_t lineweight = 29;      // R2000 only
};

struct ObjectContext {
    Layout layout = Layout::R13;
    std::uint32_t handle = 0;     // the object's own handle, also listed in the map
    std::uint32_t dataBits = 0;   // bit count of the object's data
    BitWriter* strings = nullptr; // R2007 on: the object's string stream
};

class Object {
public:
    virtual ~Object() = default;
    // Appends the data from the type onward and marks the end of each field.
    virtual void writeData(BitWriter& w, const ObjectContext& context, FieldEnds& ends) const = 0;
    // Appends the object's handles, after its data (and string stream).
    virtual void writeHandles(BitWriter&) const {}

    std::optional<std::uint16_t> sizeField;  // default: the data's byte count
    std::optional<std::uint32_t> handle;     // default: its place in the order added
};

// TEXT (1), ATTRIB (2) and ATTDEF (3). The fields after the text (alignment
// codes, tag, prompt) are written so that tests can prove they are never
// emitted.
class TextEntity : public Object {
public:
    void writeData(BitWriter& w, const ObjectContext& context, FieldEnds& ends) const override;

    std::uint16_t type = 1;
    CommonData common;
    std::uint8_t dataFlags = 0;  // R2000: set bits leave optional fields out
    double elevation = 0.0;
    Point2 insertion{0.0, 0.0};
    Point2 alignment{0.0, 0.0};
    Point3 extrusion{0.0, 0.0, 1.0};
    double thickness = 0.0;
    double oblique = 0.0;
    double rotation = 0.0;
    double height = 2.5;
    double widthFactor = 1.0;
    std::string text;
    std::optional<std::uint16_t> textLength;  // declared length; default: text.size()
    std::uint16_t generation = 0;
    std::uint16_t horizontalAlignment = 0;
    std::uint16_t verticalAlignment = 0;
    std::string tag;     // ATTRIB and ATTDEF
    std::string prompt;  // ATTDEF
    // R2018 ATTRIB and ATTDEF: 1 single line; 2 (ATTRIB) and 4 (ATTDEF) keep
    // `text` in an embedded MTEXT and leave the value empty.
    std::uint8_t attributeKind = 1;

private:
    void writeR13Fields(BitWriter& w, FieldEnds& ends) const;
    void writeR2000Fields(BitWriter& w, FieldEnds& ends, const ObjectContext& context) const;
    bool multiLine(const ObjectContext& context) const;
    void writeAttributeFields(BitWriter& w, const ObjectContext& context) const;
};

// MTEXT (44). Paragraphs are separated by "\P" inside `text`.
class MTextEntity : public Object {
public:
    void writeData(BitWriter& w, const ObjectContext& context, FieldEnds& ends) const override;

    std::uint16_t type = 44;
    CommonData common;
    Point3 insertion{0.0, 0.0, 0.0};
    Point3 extrusion{0.0, 0.0, 1.0};
    Point3 xAxis{1.0, 0.0, 0.0};
    double rectWidth = 100.0;
    double height = 2.5;
    std::uint16_t attachment = 1;
    std::uint16_t drawingDirection = 1;
    double extentsHeight = 2.5;
    double extentsWidth = 50.0;
    std::string text;
    std::optional<std::uint16_t> textLength;  // declared length; default: text.size()
};

// MULTILEADER, whose type is the number of the drawing's class for it:
// leader roots of two lines each, with breaks in both, then an MTEXT content
// in two columns (`text`) or, without one,
// a block content whose attributes hold `attributeValues`. It carries a
// picture of itself as a graphic, as real drawings' multileaders do.
class MultileaderEntity : public Object {
public:
    MultileaderEntity();
    void writeData(BitWriter& w, const ObjectContext& context, FieldEnds& ends) const override;
    std::uint16_t type = 501;
    CommonData common;
    std::optional<std::string> text;
    std::vector<std::string> attributeValues;
    std::uint32_t leaderRoots = 1;
    std::optional<std::uint32_t> labelCount;  // declared count of block labels; default: attributeValues.size()
    std::optional<std::uint32_t> pointCount;  // declared count of each leader line's points; default: 2, as written
    std::optional<std::string> colorName;     // R2004 on: the name every colour of it carries

private:
    void writeContextData(BitWriter& w, const ObjectContext& context) const;
    void writeOwnFields(BitWriter& w, const ObjectContext& context) const;
};

// TOLERANCE (46): its frame's string, with "%%v" separators and GD&T
// font codes as a drawing keeps them.
class ToleranceEntity : public Object {
public:
    void writeData(BitWriter& w, const ObjectContext& context, FieldEnds& ends) const override;

    CommonData common;
    std::string text;
};

// A DIMENSION (20 to 26; the fields after the common dimension data are
// left out, as nothing reads them) with its user text. Its handles are
// the layer's, the style's and last its anonymous block's: 0 is a
// dimension without its block.
class DimensionEntity : public Object {
public:
    void writeData(BitWriter& w, const ObjectContext& context, FieldEnds& ends) const override;
    void writeHandles(BitWriter& w) const override;

    std::uint16_t type = 21;
    CommonData common;
    std::string userText;
    std::uint32_t block = 0x30;
};

// A graphic, as an entity of a custom class carries it for programs that
// lack its application: a polyline, then a text primitive for each of
// `texts`, the first, third... of the plain kind (type 10, or 36 when
// wide), the others with a length and a style (11, 38). Programs write
// the wide kinds (UTF-16, each byte widened here) from R2007 on.
Bytes proxyGraphic(const std::vector<std::string>& texts, bool wide);

// An entity of a custom class (type 500 on) that carries the graphic of
// `texts`, of the kinds its release writes; adjustGraphic sees the graphic
// before it is written. Its own fields are a few bytes the reader never
// looks at. The drawing's classes list it when it has a DXF name.
class CustomEntity : public Object {
public:
    void writeData(BitWriter& w, const ObjectContext& context, FieldEnds& ends) const override;

    std::uint16_t type = 600;
    CommonData common;
    std::vector<std::string> texts;
    std::function<void(Bytes&)> adjustGraphic;
    std::optional<std::string> dxfName;
};

// Any other object: its type, then payload bytes the reader never looks at.
class OpaqueObject : public Object {
public:
    void writeData(BitWriter& w, const ObjectContext& context, FieldEnds& ends) const override;

    std::uint16_t type = 0;
    Bytes payload;
};

struct FramedObject {
    Bytes bytes;       // size field, data, CRC
    FieldEnds fieldEnds;
};

// The object as it lies in the file. The common data's bit count is taken
// from a first writing of the data, since it is written inside that data.
FramedObject frameObject(const Object& object, Layout layout, std::uint32_t handle);

}  // namespace dwgw
