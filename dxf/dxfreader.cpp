#include "dxf/dxfreader.h"

#include <cstring>
#include <string_view>

#include "core/codepages.h"
#include "core/dwgglobal.h"
#include "core/dwgreader.h"
#include "core/messages.h"
#include "core/versions.h"
#include "dxf/dxftext.h"
#include "dxf/dxftokens.h"
#include "r13/propertiesrecord.h"
#include "support/component.h"
#include "support/filestrmio.h"

static const char kModule[] = "dxfreader";
[[gnu::used]] static const char kIdent[] = "@(#)dxfreader(DXF): Version 1.00.00";

namespace {

// Where the walk stands: between sections, at a section's name, or in a
// section of one of the kinds it reads (the header's variables, the
// entities of BLOCKS and ENTITIES), or in one it passes over.
enum class Place : uint8_t { Between, SectionName, Header, Entities, Other, Ended };

// The entities that give texts, by their type's name.
enum class Entity : uint8_t { None, Text, Attrib, Attdef, MText, Multileader, Tolerance, Dimension };

struct EntityName {
    std::string_view name;
    Entity entity;
};
constexpr EntityName kTextEntities[] = {
    {"TEXT", Entity::Text},           {"ATTRIB", Entity::Attrib},       {"ATTDEF", Entity::Attdef},
    {"MTEXT", Entity::MText},         {"MULTILEADER", Entity::Multileader}, {"MLEADER", Entity::Multileader},
    {"TOLERANCE", Entity::Tolerance}, {"DIMENSION", Entity::Dimension},
};

// The header variables the reader keeps.
enum class Variable : uint8_t { None, Version, CodePage, Created, Modified, EditingTime };
struct VariableName {
    std::string_view name;
    Variable variable;
};
constexpr VariableName kVariables[] = {
    {"$ACADVER", Variable::Version},   {"$DWGCODEPAGE", Variable::CodePage}, {"$TDCREATE", Variable::Created},
    {"$TDUPDATE", Variable::Modified}, {"$TDINDWG", Variable::EditingTime},
};

// Groups of the entities: the text, the further chunks of a long one
// (MTEXT), an attribute definition's prompt, a dimension's block, and the
// marker after which an R2018 attribute's embedded MTEXT follows (an MTEXT's
// own column data, which holds no text, follows the same marker).
constexpr int32_t kTextGroup = 1;
constexpr int32_t kBlockNameGroup = 2;
constexpr int32_t kChunkGroup = 3;
constexpr int32_t kEmbeddedGroup = 101;
// A multileader's data opens a context section (300 ... 301) which holds
// its MTEXT content (304) and its leaders (302 ... 303), which hold lines
// (304 ... 305); the values of its block's attributes (302) come after the
// context.
constexpr int32_t kContextOpens = 300;
constexpr int32_t kContextCloses = 301;
constexpr int32_t kLeaderOpensOrValue = 302;
constexpr int32_t kLeaderCloses = 303;
constexpr int32_t kContentOrLine = 304;

// From R2007 on a DXF file's texts are UTF-8.
constexpr char kFirstUtf8Version[] = "AC1021";
// R13 brought the OBJECTS section, where the properties record lies, and
// the codes in texts.
constexpr char kFirstR13Version[] = "AC1012";

bool valueIs(const DxfGroup &group, std::string_view name)
{
    const auto length = static_cast<int32_t>(name.size());
    int32_t end = group.length;
    while (end > length && (group.value[end - 1] == ' ' || group.value[end - 1] == '\t')) {
        --end;
    }
    return end == length && memcmp(group.value, name.data(), static_cast<size_t>(length)) == 0;
}

// Where the properties record's marker last stands in bytes; -1 nowhere.
// Its K is looked for, a letter few groups hold.
int64_t lastMarker(const uint8_t *bytes, int32_t length)
{
    constexpr auto kLength = static_cast<int32_t>(sizeof kPropertiesMarker - 1);
    constexpr int32_t kRareAt = 12;
    static_assert(kPropertiesMarker[kRareAt] == 'K');
    int64_t last = -1;
    for (int32_t at = kRareAt; at < length;) {
        const auto *found = static_cast<const uint8_t *>(memchr(bytes + at, 'K', static_cast<size_t>(length - at)));
        if (found == nullptr) {
            break;
        }
        const auto start = static_cast<int32_t>(found - bytes) - kRareAt;
        if (start >= 0 && start + kLength <= length && memcmp(bytes + start, kPropertiesMarker, kLength) == 0) {
            last = start;
        }
        at = start + kRareAt + 1;
    }
    return last;
}

class DxfReader final : public DWGReader {
public:
    DxfReader(DWGglobal *session, MemoryService *memory, FileStream *stream)
        : session_(session), memory_(memory), stream_(stream), tokens_(stream, memory, 0), texts_(session, memory)
    {
    }

    PhaseResult runPhase(int32_t index) override { return index == 0 ? p_walk() : p_finish(); }
    void destroy() override;
    bool open();

private:
    PhaseResult p_walk();
    PhaseResult p_finish();
    bool p_step();
    void p_takeGroup(const DxfGroup &group);
    void p_takeStructure(const DxfGroup &group);
    void p_takeVariable(const DxfGroup &group);
    void p_beginEntity(const DxfGroup &group);
    void p_takeEntityGroup(const DxfGroup &group);
    void p_takeMultileaderGroup(const DxfGroup &group);
    void p_endEntity();
    void p_noteVersion(const DxfGroup &group);
    void p_readProperties();
    void p_readPropertiesRecord(int64_t at);
    void p_takePropertiesGroup(const DxfGroup &group);
    int64_t p_findPropertiesMarker();
    int64_t p_groupStartBefore(int64_t valueAt);

    DWGglobal *session_;
    MemoryService *memory_;
    FileStream *stream_;
    DxfTokens tokens_;
    DxfTexts texts_;
    Place place_ = Place::Between;
    Variable variable_ = Variable::None;
    Entity entity_ = Entity::None;
    bool embedded_ = false;     // past the entity's group 101
    bool hasBlock_ = false;     // a dimension names its block
    bool inContext_ = false;    // a multileader's context section
    bool inLeader_ = false;     // a leader within it
    bool cut_ = false;
    bool damaged_ = false;
    bool lateVersion_ = false;  // of R13 or later: the file may hold properties, its texts codes
    bool pairsCounted_ = false; // the properties record's counted pairs began
    DrawingProperties *properties_ = nullptr;
    JulianTime times_[3] = {};
};

// The HEADER section comes first, when a file has one: the reader reads
// on until the walk has left it, then finds the properties.
bool DxfReader::open()
{
    if (!tokens_.recognise()) {
        return false;
    }
    session_->versionText[0] = '\0';
    session_->versionIndex = kNoVersion;
    texts_.setCaretCodes(tokens_.encoding() == DxfEncoding::Ascii);
    while ((place_ == Place::Between || place_ == Place::SectionName || place_ == Place::Header) && p_step()) {
    }
    p_readProperties();
    // The properties were looked for through the default cursor, whose
    // window the walk's tokens hold.
    tokens_.leaveWindow();
    return true;
}

// Reads groups until a text went to the sink or the file ended.
PhaseResult DxfReader::p_walk()
{
    const uint64_t before = session_->textsToSink;
    while (place_ != Place::Ended && p_step()) {
        if (session_->textsToSink != before) {
            return PhaseResult::Again;
        }
    }
    return PhaseResult::Done;
}

// One group: false once the file ended or its bytes are no group. A file
// that ends without its EOF group was cut short. The entity the end came
// in gives nothing: its groups may not all have been read.
bool DxfReader::p_step()
{
    DxfGroup group{};
    const TokenResult result = tokens_.next(&group);
    if (result == TokenResult::Group) {
        p_takeGroup(group);
        return true;
    }
    entity_ = Entity::None;
    if (result == TokenResult::Malformed) {
        reportf(session_, msg::kDxfGroup, static_cast<uint32_t>(tokens_.groupStart()), HERE);
        damaged_ = true;
    } else if (place_ != Place::Ended) {
        cut_ = true;
    }
    place_ = Place::Ended;
    return false;
}

void DxfReader::p_takeGroup(const DxfGroup &group)
{
    if (group.code == 0 || place_ == Place::SectionName || place_ == Place::Between) {
        p_takeStructure(group);
    } else if (place_ == Place::Header) {
        p_takeVariable(group);
    } else if (place_ == Place::Entities) {
        p_takeEntityGroup(group);
    }
}

// Sections open with 0 SECTION and 2 and their name, and end with
// 0 ENDSEC; the file ends with 0 EOF. In the entities' sections every
// other group 0 opens an entity (BLOCK and ENDBLK, which frame a block
// definition, among them).
void DxfReader::p_takeStructure(const DxfGroup &group)
{
    if (place_ == Place::SectionName) {
        const bool entities = valueIs(group, "ENTITIES") || valueIs(group, "BLOCKS");
        place_ = group.code != kBlockNameGroup ? Place::Other
                 : valueIs(group, "HEADER")    ? Place::Header
                 : entities                    ? Place::Entities
                                               : Place::Other;
        return;
    }
    if (group.code != 0) {
        return;
    }
    p_endEntity();
    if (valueIs(group, "SECTION")) {
        place_ = Place::SectionName;
    } else if (valueIs(group, "ENDSEC")) {
        place_ = Place::Between;
    } else if (valueIs(group, "EOF")) {
        place_ = Place::Ended;
    } else if (place_ == Place::Entities) {
        p_beginEntity(group);
    }
}

// A variable is a group 9 with its name, then its value's groups.
void DxfReader::p_takeVariable(const DxfGroup &group)
{
    if (group.code == 9) {
        variable_ = Variable::None;
        for (const VariableName &known : kVariables) {
            if (valueIs(group, known.name)) {
                variable_ = known.variable;
            }
        }
        return;
    }
    switch (variable_) {
    case Variable::Version:
        p_noteVersion(group);
        break;
    case Variable::CodePage:
        session_->codePage = codePageNumber(group.value, group.length);
        break;
    case Variable::Created:
    case Variable::Modified:
    case Variable::EditingTime:
        tokens_.julianOf(group, &times_[static_cast<int32_t>(variable_) - static_cast<int32_t>(Variable::Created)]);
        break;
    case Variable::None:
        break;
    }
    variable_ = Variable::None;
}

// The version names the release as a DWG file's first bytes do, and it
// is kept as those are. A file without one is read as R12's are, its
// texts as stored, in the code page.
void DxfReader::p_noteVersion(const DxfGroup &group)
{
    const int32_t length = group.length < kVersionTextSize ? group.length : kVersionTextSize;
    memcpy(session_->versionText, group.value, static_cast<size_t>(length));
    session_->versionText[length] = '\0';
    session_->versionIndex =
        length == kVersionTextSize ? matchVersion(session_->versionText, kAC1006, kAC1032) : kNoVersion;
    texts_.setUtf8(strcmp(session_->versionText, kFirstUtf8Version) >= 0);
    lateVersion_ = strcmp(session_->versionText, kFirstR13Version) >= 0;
    texts_.setCodesDecoded(lateVersion_);
}

void DxfReader::p_beginEntity(const DxfGroup &group)
{
    entity_ = Entity::None;
    for (const EntityName &known : kTextEntities) {
        if (valueIs(group, known.name)) {
            entity_ = known.entity;
        }
    }
    embedded_ = false;
    hasBlock_ = false;
    inContext_ = false;
    inLeader_ = false;
    texts_.clear();
}

// The groups of the entity's text are gathered, and given when it ends;
// a multileader's come out as they are met, in the order DWG gives them.
void DxfReader::p_takeEntityGroup(const DxfGroup &group)
{
    if (entity_ == Entity::None) {
        return;
    }
    if (entity_ == Entity::Multileader) {
        p_takeMultileaderGroup(group);
        return;
    }
    if (group.code == kEmbeddedGroup) {
        embedded_ = true;
        texts_.clearText();
        return;
    }
    if (embedded_ && entity_ == Entity::MText) {
        return;
    }
    switch (group.code) {
    case kTextGroup:
        texts_.setText(group);
        break;
    case kChunkGroup:
        if (entity_ == Entity::Attdef && !embedded_) {
            texts_.setPrompt(group);
        } else if (entity_ == Entity::MText || embedded_) {
            texts_.addChunk(group);
        }
        break;
    case kBlockNameGroup:
        hasBlock_ = hasBlock_ || group.length > 0;
        break;
    default:
        break;
    }
}

void DxfReader::p_takeMultileaderGroup(const DxfGroup &group)
{
    switch (group.code) {
    case kContextOpens:
        inContext_ = true;
        break;
    case kContextCloses:
        inContext_ = false;
        break;
    case kLeaderOpensOrValue:
        if (inContext_) {
            inLeader_ = true;
        } else {
            texts_.put(group, false, TextKind::Multileader);
        }
        break;
    case kLeaderCloses:
        inLeader_ = false;
        break;
    case kContentOrLine:
        if (inContext_ && !inLeader_) {
            texts_.put(group, true, TextKind::Multileader);
        }
        break;
    default:
        break;
    }
}

// What the entity gathered goes out as DWG gives it: an MTEXT's and a
// multi-line attribute's paragraph by paragraph, an attribute definition's
// default and then its prompt, a dimension's user text only when it has no
// block (whose entities show that text).
void DxfReader::p_endEntity()
{
    switch (entity_) {
    case Entity::Text:
        texts_.putGathered(false, TextKind::Text);
        break;
    case Entity::Attrib:
        texts_.putGathered(embedded_, TextKind::Attrib);
        break;
    case Entity::Attdef:
        texts_.putGathered(embedded_, TextKind::Attdef);
        texts_.putPrompt();
        break;
    case Entity::MText:
        texts_.putGathered(true, TextKind::MText);
        break;
    case Entity::Tolerance:
        texts_.putGathered(false, TextKind::Tolerance);
        break;
    case Entity::Dimension:
        if (!hasBlock_) {
            texts_.putGathered(false, TextKind::Dimension);
        }
        break;
    case Entity::Multileader:
    case Entity::None:
        break;
    }
    entity_ = Entity::None;
}

PhaseResult DxfReader::p_finish()
{
    p_endEntity();
    reportDrawingState(session_, cut_, damaged_, HERE);
    return finishSession(session_);
}

// The header's times, and the properties record when the file holds one.
void DxfReader::p_readProperties()
{
    properties_ = newIn<DrawingProperties>(memory_);
    if (properties_ == nullptr) {
        reportf(session_, msg::kAllocationFailed, HERE);
        return;
    }
    properties_->created = times_[0];
    properties_->modified = times_[1];
    properties_->editingTime = times_[2];
    const int64_t at = lateVersion_ ? p_findPropertiesMarker() : -1;
    if (at >= 0) {
        p_readPropertiesRecord(at);
    }
    session_->properties = properties_;
}

// The record's groups after its marker, read with a cursor of their own,
// up to the next entity or object.
void DxfReader::p_readPropertiesRecord(int64_t at)
{
    DxfTokens record(stream_, memory_, stream_->newCursor());
    record.resumeAs(tokens_, at);
    DxfGroup group{};
    if (record.next(&group) != TokenResult::Group || group.code != kTextGroup ||
        !valueIs(group, kPropertiesMarker)) {
        return;
    }
    while (record.next(&group) == TokenResult::Group && group.code != 0) {
        p_takePropertiesGroup(group);
    }
}

// After the marker group 1 is the hyperlink base, and after the count
// (90) each counted pair's name and value; 300 to 309 are pairs as
// "name=value".
void DxfReader::p_takePropertiesGroup(const DxfGroup &group)
{
    if (group.code == kPropertiesPairCountGroup) {
        pairsCounted_ = true;
        return;
    }
    if (group.code >= kFirstNamedPairGroup && group.code <= kLastNamedPairGroup) {
        texts_.keepNamedPair(properties_, group);
    } else if (pairsCounted_ && group.code <= 9) {
        texts_.keepCountedPair(properties_, group);
    } else if (group.code <= 9) {
        texts_.keepProperty(properties_, propertiesStandardText(properties_, static_cast<uint16_t>(group.code)), group);
    }
}

// The record is found by its marker, looked for from the file's end, where
// the OBJECTS section lies; what stands before the marker must be its
// group's code.
int64_t DxfReader::p_findPropertiesMarker()
{
    constexpr auto kMarkerLength = static_cast<int64_t>(sizeof kPropertiesMarker - 1);
    constexpr int64_t kStep = 1 << 16;
    for (int64_t end = static_cast<int64_t>(stream_->size()); end >= kMarkerLength;) {
        const int64_t start = end > kStep ? end - kStep : 0;
        const FileStream::Span span = stream_->span(start, static_cast<int32_t>(end - start));
        const int64_t found = lastMarker(span.bytes, span.length);
        if (found >= 0) {
            return p_groupStartBefore(start + found);
        }
        if (start == 0 || span.length == 0) {
            break;
        }
        end = start + kMarkerLength - 1;
    }
    return -1;
}

// Where the group starts whose value starts at valueAt: in binary its code
// stands just before, in ASCII on the line before.
int64_t DxfReader::p_groupStartBefore(int64_t valueAt)
{
    const int32_t codeBytes = tokens_.encoding() == DxfEncoding::Binary16 ? 2 : 1;
    if (tokens_.encoding() != DxfEncoding::Ascii) {
        return valueAt >= codeBytes ? valueAt - codeBytes : -1;
    }
    constexpr int32_t kLookBack = 64;
    const int64_t from = valueAt > kLookBack ? valueAt - kLookBack : 0;
    const FileStream::Span span = stream_->span(from, static_cast<int32_t>(valueAt - from));
    int32_t at = span.length;
    while (at > 0 && (span.bytes[at - 1] == '\n' || span.bytes[at - 1] == '\r')) {
        --at;
    }
    while (at > 0 && span.bytes[at - 1] != '\n' && span.bytes[at - 1] != '\r') {
        --at;
    }
    return at > 0 || from == 0 ? from + at : -1;
}

void DxfReader::destroy()
{
    texts_.release();
    deleteIn(memory_, this);
}

}  // namespace

DWGReader *newDxfReader(DWGglobal *session, MemoryService *memory, FileStream *stream)
{
    if (session == nullptr || memory == nullptr || stream == nullptr) {
        return nullptr;
    }
    DxfReader *reader = newIn<DxfReader>(memory, session, memory, stream);
    if (reader == nullptr) {
        reportf(session, msg::kAllocationFailed, HERE);
        return nullptr;
    }
    if (!reader->open()) {
        reader->destroy();
        return nullptr;
    }
    return reader;
}
