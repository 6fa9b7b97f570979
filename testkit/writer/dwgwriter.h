// Test drawing writer: composes whole drawings from entities, so that a test
// reads "a drawing with one TEXT 'AB' whose data flags are 0x1F" instead of a
// hex dump. Used by tests, fuzz seeds, benchmarks and samples; never shipped.
//
//   dwgw::R2000Drawing d;
//   d.addText("AB").dataFlags = 0x1F;
//   dwgw::writeFile("one_text.dwg", d.build());
//
// This header brings in the whole writer: BitWriter (bitwriter.h), the object
// map (objectmap.h), the R13-R2000 objects (objects.h), the R10-R12
// composer (r12writer.h) and the R2004-R2018 paged container (r2004writer.h).
//
// R13-R2000 file layout produced by Drawing:
//
//   0         version string, 6 bytes
//   0x13      code page, RS
//   21        number of section locators, RL
//   25        locators, 9 bytes each: record number, RL seeker, RL size;
//             0 header variables, 1 classes, 2 object map, 3 and 4 empty
//             then a CRC and the end-of-header sentinel
//   ...       header variables: sentinel, RL size, filler, CRC, sentinel
//   ...       classes: sentinel, RL size, the multileader classes or none, CRC, sentinel
//   ...       512 bytes of padding after the end of the class section
//   ...       the objects in the order added, then the object map
//             (or the map first, see DrawingOptions::mapBeforeObjects)
//
// Handles are given in the order the objects were added, from 1 up, and the
// map lists the objects in that order at their absolute file offsets.
//
// R2004 and later (AC1018, AC1021, AC1024, AC1027, AC1032): the objects section
// opens with the RL 0x0DCA and holds the objects in the order added, the
// map lists them at their offsets in that section, and the paged container
// of r2004writer.h (r2007writer.h for AC1021) holds both. Offsets in ComposedDrawing are then offsets
// in the objects section, and bytes the whole file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bitwriter.h"
#include "documentinfo.h"
#include "objectmap.h"
#include "objects.h"
#include "r12writer.h"
#include "r2004writer.h"
#include "r2007writer.h"

namespace dwgw {

enum class BitVersion { AC1012, AC1013, AC1014, AC1015, AC1018, AC1021, AC1024, AC1027, AC1032 };

struct Locator {
    std::uint8_t number = 0;
    std::uint32_t seeker = 0;
    std::uint32_t size = 0;
};

struct DrawingOptions {
    std::optional<std::string> versionText;  // replaces the 6 version bytes
    std::uint16_t codePage = 30;
    std::optional<std::uint32_t> locatorCount;  // default: records written
    // Sees the five computed records and may change, reorder, add (up to
    // eight in all) or drop them before they are written.
    std::function<void(std::vector<Locator>&)> adjustLocators;
    // Sees the computed map entries (handle, absolute offset) in map order and
    // may change, reorder, add or drop them before they are encoded.
    std::function<void(std::vector<MapEntry>&)> adjustMap;
    std::optional<Bytes> mapBytes;  // replaces the whole encoded map
    std::size_t entriesPerMapSection = 100;
    // Map right after the padding, objects after it: the last object is then
    // the end of the file, so cutting the file cuts that object (the reader
    // finds its objects through the map alone).
    bool mapBeforeObjects = false;
    // R2004 and later: how the container is put together (R2007's its own).
    ContainerOptions container;
    R2007Options r2007;
    // R13 to R2000: the header variables (documentinfo.h's
    // encodeHeaderTimes); 32 zero bytes when none.
    std::optional<Bytes> headerVariables;
    // R2004 and later: the bytes of the document properties' sections
    // (documentinfo.h); none when empty.
    Bytes summaryInfo, appInfo;
};

struct ComposedDrawing {
    Bytes bytes;
    std::vector<std::size_t> objectOffsets;  // each object's size field, in the order added
    std::vector<FieldEnds> fieldEnds;        // per object
    std::size_t mapOffset = 0;
    std::size_t mapSize = 0;

    // File offset of the first byte after `field` of object `index`. A field
    // ending inside a byte shares it with the next field, so a file cut
    // there still holds the start of the next field.
    std::size_t endOfField(std::size_t index, Field field) const;
};

// One class of the drawing's classes section.
struct ClassEntry {
    std::uint16_t number = 0;
    std::string application, cppName, dxfName;
    std::uint16_t item = 0;  // 0x1F2 an entity, 0x1F3 an object
};

class Drawing {
public:
    explicit Drawing(BitVersion version);

    TextEntity& addText(std::string text);
    TextEntity& addAttrib(std::string value, std::string tag);
    TextEntity& addAttdef(std::string value, std::string tag, std::string prompt);
    MTextEntity& addMText(std::string text);
    OpaqueObject& addObject(std::uint16_t type, Bytes payload = {0x11, 0x22, 0x33});
    ToleranceEntity& addTolerance(std::string text);
    // block 0: a dimension whose anonymous block is not in the drawing.
    DimensionEntity& addDimension(std::string userText, std::uint32_t block);
    // The drawing's classes then number MLEADERSTYLE 500 and MULTILEADER
    // 501. No text: a block content with these values.
    MultileaderEntity& addMultileader(std::optional<std::string> text, std::vector<std::string> attributeValues = {});
    CustomEntity& addCustomEntity(std::vector<std::string> texts);

    // R13 to R2000: the named-object dictionary, which lists the next
    // object as DWGPROPS, and that record (an XRECORD) holding data
    // (encodePropertiesRecord), its byte count stated as claimed when
    // given. Returns the dictionary's handle, for HeaderTimes::namedObjects.
    std::uint32_t addPropertiesRecord(const Bytes& data, std::optional<std::uint32_t> claimed = {});

    ComposedDrawing compose() const;
    Bytes build() const;
    // What the drawing holds, for writers of other formats (dxfwriter.h).
    BitVersion version() const { return version_; }
    const std::vector<std::unique_ptr<Object>>& objects() const { return objects_; }
    // The drawing with the map before the objects, ending right after
    // `field` of the last object added. The next field fails to read if it
    // needs a bit beyond that byte: give it a value without a short code
    // (e.g. an extrusion of (0.5, 0, 1)) when the field must fail.
    Bytes buildCutAfter(Field field) const;

    DrawingOptions options;

private:
    struct Placement;

    template <class T> T& add(std::unique_ptr<T> object);
    std::vector<FramedObject> frameObjects() const;
    Bytes encodeMap(const std::vector<std::size_t>& objectOffsets, std::uint64_t lead = 0) const;
    Placement placeObjects(const std::vector<FramedObject>& framed, std::size_t areaAt, bool mapFirst) const;
    void writeFileHeader(BitWriter& file, std::vector<Locator> locators) const;
    ComposedDrawing compose(bool mapFirst) const;
    ComposedDrawing composePaged() const;
    Layout layout() const;
    std::vector<ClassEntry> drawingClasses() const;

    BitVersion version_;
    std::vector<std::unique_ptr<Object>> objects_;
    bool multileaderClasses_ = false;
};

struct R13Drawing : Drawing {
    R13Drawing() : Drawing(BitVersion::AC1012) {}
};
struct R14Drawing : Drawing {
    R14Drawing() : Drawing(BitVersion::AC1014) {}
};
struct R2000Drawing : Drawing {
    R2000Drawing() : Drawing(BitVersion::AC1015) {}
};
struct R2004Drawing : Drawing {
    R2004Drawing() : Drawing(BitVersion::AC1018) {}
};
struct R2007Drawing : Drawing {
    R2007Drawing() : Drawing(BitVersion::AC1021) {}
};
struct R2010Drawing : Drawing {
    R2010Drawing() : Drawing(BitVersion::AC1024) {}
};
struct R2013Drawing : Drawing {
    R2013Drawing() : Drawing(BitVersion::AC1027) {}
};
struct R2018Drawing : Drawing {
    R2018Drawing() : Drawing(BitVersion::AC1032) {}
};

// Throws std::runtime_error when the file cannot be written whole.
void writeFile(const std::string& path, const Bytes& bytes);

}  // namespace dwgw
