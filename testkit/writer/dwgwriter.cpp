#include "dwgwriter.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <stdexcept>

namespace dwgw {

namespace {

using Sentinel = std::array<std::uint8_t, 16>;

constexpr Sentinel kHeaderEnd{0x95, 0xA0, 0x4E, 0x28, 0x99, 0x82, 0x1A, 0xE5,
                              0x5E, 0x41, 0xE0, 0x5F, 0x9D, 0x3A, 0x4D, 0x00};
constexpr Sentinel kVariablesStart{0xCF, 0x7B, 0x1F, 0x23, 0xFD, 0xDE, 0x38, 0xA9,
                                   0x5F, 0x7C, 0x68, 0xB8, 0x4E, 0x6D, 0x33, 0x5F};
constexpr Sentinel kVariablesEnd{0x30, 0x84, 0xE0, 0xDC, 0x02, 0x21, 0xC7, 0x56,
                                 0xA0, 0x83, 0x97, 0x47, 0xB1, 0x92, 0xCC, 0xA0};
constexpr Sentinel kClassesStart{0x8D, 0xA1, 0xC4, 0xB8, 0xC4, 0xA9, 0xF8, 0xC5,
                                 0xC0, 0xDC, 0xF4, 0x5F, 0xE7, 0xCF, 0xB6, 0x8A};
constexpr Sentinel kClassesEnd{0x72, 0x5E, 0x3B, 0x47, 0x3B, 0x56, 0x07, 0x3A,
                               0x3F, 0x23, 0x0B, 0xA0, 0x18, 0x30, 0x49, 0x75};

constexpr std::size_t kCodePageAt = 0x13;
constexpr std::size_t kMaxLocators = 8;
// Version, code page, count, room for kMaxLocators records, CRC, sentinel.
constexpr std::size_t kFileHeaderSize = 25 + 9 * kMaxLocators + 2 + 16;
constexpr std::size_t kPaddingSize = 512;
constexpr std::uint32_t kLastRecordSize = 4;
constexpr std::uint32_t kFirstHandle = 1;
constexpr std::uint16_t kSectionCrc = 0x5AA5;

const char* versionString(BitVersion version) {
    switch (version) {
        case BitVersion::AC1012: return "AC1012";
        case BitVersion::AC1013: return "AC1013";
        case BitVersion::AC1014: return "AC1014";
        case BitVersion::AC1015: return "AC1015";
        case BitVersion::AC1018: return "AC1018";
        case BitVersion::AC1021: return "AC1021";
        case BitVersion::AC1024: return "AC1024";
        case BitVersion::AC1027: return "AC1027";
        case BitVersion::AC1032: return "AC1032";
    }
    throw std::invalid_argument("unknown version");
}

BitWriter& sentinel(BitWriter& w, const Sentinel& s) {
    return w.raw(Bytes(s.begin(), s.end()));
}

// Sentinel, RL size of the data, the data, CRC, sentinel.
Bytes sentinelledSection(const Sentinel& start, const Bytes& data, const Sentinel& end) {
    BitWriter w;
    sentinel(w, start).RL(static_cast<std::uint32_t>(data.size())).raw(data).RS(kSectionCrc);
    return sentinel(w, end).bytes();
}

Bytes headerVariablesSection(const std::optional<Bytes>& variables) {
    return sentinelledSection(kVariablesStart, variables.value_or(Bytes(32, 0)), kVariablesEnd);
}

// The classes: MLEADERSTYLE (500, an object) and MULTILEADER (501, an
// entity) when there are multileaders, and a class for each custom entity
// that names one; or none. A BS number, BS flags, three names, a zombie
// bit and a BS item class; from R2004 on five BLs follow. Up to R2004 the
// names are T fields that count a closing zero; in R2004 a BS (the highest
// number), two bytes and a bit come first. From R2007 on the names lie in
// a string stream, which a count of bits taken from where the count stands
// reaches the end of; a BL and a bit come first; from R2013 on a second
// size word comes before the count.
Bytes classSection(Layout layout, const std::vector<ClassEntry>& classes) {
    if (classes.empty()) return sentinelledSection(kClassesStart, {}, kClassesEnd);
    const bool paged = layout >= Layout::R2004;
    const bool wide = layout >= Layout::R2007;
    BitWriter data;
    BitWriter strings;
    const std::uint16_t highest = classes.back().number;
    if (wide) data.BL(highest).B(false); else if (paged) data.BS(highest).RC(0).RC(0).B(true);
    for (const ClassEntry& c : classes) {
        data.BS(c.number).BS(0);
        for (const std::string& text : {c.application, c.cppName, c.dxfName}) {
            if (wide) {
                strings.BS(static_cast<std::uint16_t>(text.size()));
                for (unsigned char ch : text) strings.RS(ch);
            } else {
                data.BS(static_cast<std::uint16_t>(text.size() + 1)).raw(text).RC(0);
            }
        }
        data.B(false).BS(c.item);
        if (paged) data.BL(0).BL(0).BL(0).BL(0).BL(0);
    }
    BitWriter body;
    if (wide) {
        data.bits(strings).RS(static_cast<std::uint16_t>(strings.bitCount())).B(true);
        body.RL(static_cast<std::uint32_t>(32 + data.bitCount())).bits(data);
    } else {
        body.bits(data);
    }
    const Bytes bodyBytes = body.bytes();
    BitWriter section;
    section.raw(Bytes(kClassesStart.begin(), kClassesStart.end())).RL(static_cast<std::uint32_t>(bodyBytes.size()));
    if (layout >= Layout::R2013) section.RL(0);
    section.raw(bodyBytes).RS(kSectionCrc).raw(Bytes(kClassesEnd.begin(), kClassesEnd.end()));
    return section.bytes();
}

std::uint32_t u32(std::size_t value) {
    return static_cast<std::uint32_t>(value);
}

std::vector<std::size_t> consecutiveOffsets(const std::vector<FramedObject>& framed, std::size_t at) {
    std::vector<std::size_t> offsets;
    for (const FramedObject& object : framed) {
        offsets.push_back(at);
        at += object.bytes.size();
    }
    return offsets;
}

}  // namespace

std::vector<ClassEntry> Drawing::drawingClasses() const {
    std::vector<ClassEntry> classes;
    if (multileaderClasses_) {
        classes.push_back({500, "ObjectDBX Classes", "AcDbMLeaderStyle", "MLEADERSTYLE", 0x1F3});
        classes.push_back({501, "ObjectDBX Classes", "AcDbMLeader", "MULTILEADER", 0x1F2});
    }
    for (const auto& object : objects_) {
        const auto* custom = dynamic_cast<const CustomEntity*>(object.get());
        if (custom != nullptr && custom->dxfName) {
            classes.push_back({custom->type, "TestKit", "TkCustom", *custom->dxfName, 0x1F2});
        }
    }
    std::sort(classes.begin(), classes.end(), [](const ClassEntry& a, const ClassEntry& b) { return a.number < b.number; });
    return classes;
}

struct Drawing::Placement {
    std::vector<std::size_t> objectOffsets;
    std::size_t objectsAt = 0;
    std::size_t mapAt = 0;
    Bytes map;
    std::size_t end = 0;  // of the objects and the map, whichever comes last
};

std::size_t ComposedDrawing::endOfField(std::size_t index, Field field) const {
    return objectOffsets.at(index) + 2 + (fieldEnds.at(index).at(field) + 7) / 8;
}

Drawing::Drawing(BitVersion version) : version_(version) {}

template <class T> T& Drawing::add(std::unique_ptr<T> object) {
    T& added = *object;
    objects_.push_back(std::move(object));
    return added;
}

TextEntity& Drawing::addText(std::string text) {
    auto entity = std::make_unique<TextEntity>();
    entity->text = std::move(text);
    return add(std::move(entity));
}

TextEntity& Drawing::addAttrib(std::string value, std::string tag) {
    TextEntity& entity = addText(std::move(value));
    entity.type = 2;
    entity.tag = std::move(tag);
    return entity;
}

TextEntity& Drawing::addAttdef(std::string value, std::string tag, std::string prompt) {
    TextEntity& entity = addAttrib(std::move(value), std::move(tag));
    entity.type = 3;
    entity.prompt = std::move(prompt);
    return entity;
}

MTextEntity& Drawing::addMText(std::string text) {
    auto entity = std::make_unique<MTextEntity>();
    entity->text = std::move(text);
    return add(std::move(entity));
}

MultileaderEntity& Drawing::addMultileader(std::optional<std::string> text, std::vector<std::string> attributeValues) {
    auto entity = std::make_unique<MultileaderEntity>();
    entity->text = std::move(text);
    entity->attributeValues = std::move(attributeValues);
    multileaderClasses_ = true;
    return add(std::move(entity));
}

CustomEntity& Drawing::addCustomEntity(std::vector<std::string> texts) {
    auto entity = std::make_unique<CustomEntity>();
    entity->texts = std::move(texts);
    return add(std::move(entity));
}

ToleranceEntity& Drawing::addTolerance(std::string text) {
    auto entity = std::make_unique<ToleranceEntity>();
    entity->text = std::move(text);
    return add(std::move(entity));
}

DimensionEntity& Drawing::addDimension(std::string userText, std::uint32_t block) {
    auto entity = std::make_unique<DimensionEntity>();
    entity->userText = std::move(userText);
    entity->block = block;
    return add(std::move(entity));
}

OpaqueObject& Drawing::addObject(std::uint16_t type, Bytes payload) {
    auto object = std::make_unique<OpaqueObject>();
    object->type = type;
    object->payload = std::move(payload);
    return add(std::move(object));
}

namespace {

// The bytes after the type of an object that is no entity, R13 to R2000:
// the data's size in bits (behind the type from R2000 on, after the
// extended data before), the object's handle, no extended data, no
// reactors, then its own fields and its handles. The size counts from the
// type, a BS of 10 bits for the types written here.
Bytes nonEntityPayload(bool r2000, std::uint32_t handle, const BitWriter& fields, const BitWriter& handles)
{
    constexpr std::size_t kTypeBits = 10;
    BitWriter own;
    own.H(0, handle).BS(0);
    const auto handlesAt = static_cast<std::uint32_t>(kTypeBits + 32 + own.bitCount() + 2 + fields.bitCount());
    BitWriter w;
    if (r2000) w.RL(handlesAt);
    w.bits(own);
    if (!r2000) w.RL(handlesAt);
    w.BL(0).bits(fields).bits(handles);
    return w.bytes();
}

}  // namespace

// Names end with a zero from R14 on; R14 keeps a byte after the count,
// R2000 a cloning flag and a hard-owner byte. The record's owner is the
// dictionary; neither has an extension dictionary.
std::uint32_t Drawing::addPropertiesRecord(const Bytes& data, std::optional<std::uint32_t> claimed) {
    constexpr std::uint16_t kDictionaryType = 42;
    constexpr std::uint16_t kRecordType = 79;
    if (layout() != Layout::R13 && layout() != Layout::R2000)
        throw std::invalid_argument("addPropertiesRecord: R13 to R2000 only");
    const bool r2000 = layout() == Layout::R2000;
    const auto dictionary = static_cast<std::uint32_t>(objects_.size() + 1);
    const std::uint32_t record = dictionary + 1;

    BitWriter entries;
    entries.BL(1);
    if (version_ == BitVersion::AC1014) entries.RC(0);
    if (r2000) entries.BS(1).RC(0);
    entries.T(version_ < BitVersion::AC1014 ? std::string("DWGPROPS") : std::string("DWGPROPS", 9));
    BitWriter entryHandles;
    entryHandles.H(4, 0).H(3, 0).H(2, record);
    addObject(kDictionaryType, nonEntityPayload(r2000, dictionary, entries, entryHandles));

    BitWriter fields;
    fields.BL(claimed.value_or(static_cast<std::uint32_t>(data.size()))).raw(data);
    if (r2000) fields.BS(1);
    BitWriter recordHandles;
    recordHandles.H(4, dictionary).H(3, 0);
    addObject(kRecordType, nonEntityPayload(r2000, record, fields, recordHandles));
    return dictionary;
}

Bytes Drawing::encodeMap(const std::vector<std::size_t>& objectOffsets, std::uint64_t lead) const {
    if (options.mapBytes) return *options.mapBytes;
    std::vector<MapEntry> entries;
    for (std::size_t i = 0; i < objectOffsets.size(); ++i) {
        entries.push_back({kFirstHandle + u32(i), static_cast<std::int64_t>(lead + objectOffsets[i])});
    }
    if (options.adjustMap) options.adjustMap(entries);
    ObjectMapWriter map;
    const std::size_t perSection = std::max<std::size_t>(options.entriesPerMapSection, 1);
    for (std::size_t first = 0; first < entries.size(); first += perSection) {
        const auto last = entries.begin() + static_cast<std::ptrdiff_t>(std::min(first + perSection, entries.size()));
        map.section({entries.begin() + static_cast<std::ptrdiff_t>(first), last});
    }
    return map.bytes();
}

ComposedDrawing Drawing::compose() const {
    return compose(options.mapBeforeObjects);
}

Layout Drawing::layout() const {
    switch (version_) {
        case BitVersion::AC1012:
        case BitVersion::AC1013:
        case BitVersion::AC1014: return Layout::R13;
        case BitVersion::AC1015: return Layout::R2000;
        case BitVersion::AC1018: return Layout::R2004;
        case BitVersion::AC1021: return Layout::R2007;
        case BitVersion::AC1024: return Layout::R2010;
        case BitVersion::AC1027: return Layout::R2013;
        case BitVersion::AC1032: return Layout::R2018;
    }
    throw std::invalid_argument("unknown version");
}

std::vector<FramedObject> Drawing::frameObjects() const {
    std::vector<FramedObject> framed;
    for (std::size_t i = 0; i < objects_.size(); ++i) {
        framed.push_back(frameObject(*objects_[i], layout(), objects_[i]->handle.value_or(kFirstHandle + u32(i))));
    }
    return framed;
}

// With the map first, object offsets depend on the map's size and the map's
// size on the offsets: the room for the map grows until the map fits.
Drawing::Placement Drawing::placeObjects(const std::vector<FramedObject>& framed, std::size_t areaAt,
                                bool mapFirst) const {
    Placement place;
    for (std::size_t room = 0;; room = place.map.size()) {
        place.objectsAt = mapFirst ? areaAt + room : areaAt;
        place.objectOffsets = consecutiveOffsets(framed, place.objectsAt);
        place.map = encodeMap(place.objectOffsets);
        if (!mapFirst || place.map.size() <= room) break;
    }
    const std::size_t objectsEnd = framed.empty() ? place.objectsAt
                                                  : place.objectOffsets.back() + framed.back().bytes.size();
    place.mapAt = mapFirst ? areaAt : objectsEnd;
    place.end = mapFirst ? objectsEnd : objectsEnd + place.map.size();
    return place;
}

void Drawing::writeFileHeader(BitWriter& file, std::vector<Locator> locators) const {
    if (options.adjustLocators) options.adjustLocators(locators);
    file.raw(options.versionText.value_or(versionString(version_))).padTo(kCodePageAt);
    file.RS(options.codePage).RL(options.locatorCount.value_or(u32(locators.size())));
    for (const Locator& locator : locators) file.RC(locator.number).RL(locator.seeker).RL(locator.size);
    sentinel(file.RS(kSectionCrc), kHeaderEnd).padTo(kFileHeaderSize);
}

ComposedDrawing Drawing::composePaged() const {
    constexpr std::uint32_t kObjectsSectionStart = 0x0DCA;
    const std::vector<FramedObject> framed = frameObjects();
    BitWriter objects;
    objects.RL(kObjectsSectionStart);
    const std::vector<std::size_t> offsets = consecutiveOffsets(framed, objects.byteCount());
    for (const FramedObject& object : framed) objects.raw(object.bytes);
    ContainerSections sections;
    sections.objects = objects.bytes();
    sections.handles = encodeMap(offsets, version_ == BitVersion::AC1021 ? options.r2007.objectsAt : options.container.objectsAt);
    sections.header = Bytes(32, 0);
    const std::vector<ClassEntry> classes = drawingClasses();
    if (!classes.empty()) sections.classes = classSection(layout(), classes);
    sections.codePage = options.codePage;
    sections.summaryInfo = options.summaryInfo;
    sections.appInfo = options.appInfo;
    Bytes file = version_ == BitVersion::AC1021
                     ? composeR2007Container({sections.header, sections.classes, sections.handles,
                                              sections.objects, sections.summaryInfo, sections.appInfo,
                                              sections.codePage},
                                             options.r2007)
                     : composePagedContainer(versionString(version_), sections, options.container);
    if (options.versionText) std::copy_n(options.versionText->begin(), 6, file.begin());
    ComposedDrawing out{std::move(file), offsets, {}, 0, sections.handles.size()};
    for (const FramedObject& object : framed) out.fieldEnds.push_back(object.fieldEnds);
    return out;
}

ComposedDrawing Drawing::compose(bool mapFirst) const {
    if (layout() >= Layout::R2004) return composePaged();
    const std::vector<FramedObject> framed = frameObjects();
    const Bytes variables = headerVariablesSection(options.headerVariables);
    const Bytes classes = classSection(layout(), drawingClasses());
    const std::size_t classesAt = kFileHeaderSize + variables.size();
    const std::size_t areaAt = classesAt + classes.size() + kPaddingSize;
    const Placement place = placeObjects(framed, areaAt, mapFirst);

    // Record 4 is four bytes that end the file, as in real drawings: the
    // header then records the whole file whichever way the rest is laid out.
    BitWriter file;
    writeFileHeader(file, {{0, u32(kFileHeaderSize), u32(variables.size())},
                           {1, u32(classesAt), u32(classes.size())},
                           {2, u32(place.mapAt), u32(place.map.size())},
                           {3, 0, 0},
                           {4, u32(place.end), kLastRecordSize}});
    file.raw(variables).raw(classes).padTo(areaAt);
    if (mapFirst) file.raw(place.map).padTo(place.objectsAt);
    for (const FramedObject& object : framed) file.raw(object.bytes);
    if (!mapFirst) file.raw(place.map);
    file.raw(Bytes(kLastRecordSize, 0));

    ComposedDrawing out{file.bytes(), place.objectOffsets, {}, place.mapAt, place.map.size()};
    for (const FramedObject& object : framed) out.fieldEnds.push_back(object.fieldEnds);
    return out;
}

Bytes Drawing::build() const {
    return compose().bytes;
}

Bytes Drawing::buildCutAfter(Field field) const {
    if (objects_.empty()) throw std::logic_error("no object to cut");
    ComposedDrawing composed = compose(true);
    composed.bytes.resize(composed.endOfField(objects_.size() - 1, field));
    return composed.bytes;
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) throw std::runtime_error("cannot write " + path);
}

}  // namespace dwgw
