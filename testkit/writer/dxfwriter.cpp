#include "dxfwriter.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace dwgw {

namespace {

// The longest piece of a text one group holds; MTEXT writes a longer one
// as chunks (group 3) and the rest (group 1).
constexpr std::size_t kChunk = 250;
const std::string kBinarySentinel("AutoCAD Binary DXF\r\n\x1a", 22);

std::string versionText(BitVersion version) {
    static const char* const kTexts[] = {"AC1012", "AC1013", "AC1014", "AC1015", "AC1018",
                                         "AC1021", "AC1024", "AC1027", "AC1032"};
    return kTexts[static_cast<int>(version)];
}

class GroupWriter {
public:
    GroupWriter(const DxfOptions& options, bool wideCodes) : options_(options), wideCodes_(wideCodes) {
        if (binary()) out_.assign(kBinarySentinel.begin(), kBinarySentinel.end());
    }

    void text(int code, const std::string& value) {
        if (!binary()) return line(code, carets(value));
        writeCode(code);
        out_.insert(out_.end(), value.begin(), value.end());
        out_.push_back(0);
    }
    void real(int code, double value) {
        if (!binary()) {
            char digits[64];
            std::snprintf(digits, sizeof digits, "%.10f", value);
            return line(code, digits);
        }
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        number(code, bits, 8);
    }
    void integer(int code, std::int64_t value, int size) {
        if (!binary()) return line(code, std::to_string(value));
        number(code, static_cast<std::uint64_t>(value), size);
    }
    void point(int code, double x, double y) {
        real(code, x);
        real(code + 10, y);
        real(code + 20, 0.0);
    }
    Bytes take() { return std::move(out_); }

private:
    bool binary() const { return options_.encoding == DxfEncoding::Binary; }

    void line(int code, const std::string& value) {
        char padded[16];
        std::snprintf(padded, sizeof padded, "%3d", code);
        for (const std::string& part : {std::string(padded), options_.lineEnd, value, options_.lineEnd})
            out_.insert(out_.end(), part.begin(), part.end());
    }
    // A control character as a caret and the character 64 places on, the
    // caret itself as a caret and a space.
    static std::string carets(const std::string& value) {
        std::string out;
        for (const char c : value) {
            if (c == '^') {
                out += "^ ";
            } else if (static_cast<unsigned char>(c) < 0x20) {
                out += '^';
                out += static_cast<char>(c + 0x40);
            } else {
                out += c;
            }
        }
        return out;
    }
    void writeCode(int code) {
        if (wideCodes_) return appendLittle(static_cast<std::uint64_t>(code), 2);
        if (code < 255) return out_.push_back(static_cast<std::uint8_t>(code));
        out_.push_back(255);
        appendLittle(static_cast<std::uint64_t>(code), 2);
    }
    void number(int code, std::uint64_t value, int size) {
        writeCode(code);
        appendLittle(value, size);
    }
    void appendLittle(std::uint64_t value, int size) {
        for (int i = 0; i < size; ++i) out_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }

    const DxfOptions& options_;
    bool wideCodes_;
    Bytes out_;
};

class DxfComposer {
public:
    DxfComposer(const Drawing& drawing, const DxfOptions& options)
        : drawing_(drawing), options_(options), version_(options.version.value_or(versionText(drawing.version()))),
          utf8_(version_ >= "AC1021"), groups_(options, version_ >= "AC1012") {}

    Bytes compose() {
        header();
        std::size_t entities = 0;
        section("BLOCKS");
        if (options_.entitiesInBlock > 0) {
            entity("BLOCK", "AcDbBlockBegin");
            groups_.text(2, "TITLE");
            groups_.integer(70, 0, 2);
            groups_.point(10, 0, 0);
            groups_.text(3, "TITLE");
            for (; entities < drawing_.objects().size() && written_ < options_.entitiesInBlock; ++entities)
                object(*drawing_.objects()[entities]);
            entity("ENDBLK", "AcDbBlockEnd");
        }
        endSection();
        section("ENTITIES");
        for (; entities < drawing_.objects().size(); ++entities) object(*drawing_.objects()[entities]);
        endSection();
        if (options_.properties) objects(*options_.properties);
        groups_.text(0, "EOF");
        return groups_.take();
    }

private:
    void section(const char* name) {
        groups_.text(0, "SECTION");
        groups_.text(2, name);
    }
    void endSection() { groups_.text(0, "ENDSEC"); }

    static double julian(const DayTime& time) { return time.day + time.milliseconds / 86'400'000.0; }

    void header() {
        section("HEADER");
        groups_.text(9, "$ACADVER");
        groups_.text(1, version_);
        groups_.text(9, "$DWGCODEPAGE");
        groups_.text(3, options_.codePage);
        if (options_.properties) {
            const SummaryInfo& info = *options_.properties;
            for (const auto& [name, time] : {std::pair{"$TDCREATE", &info.created}, {"$TDUPDATE", &info.modified},
                                              {"$TDINDWG", &info.editingTime}}) {
                groups_.text(9, name);
                groups_.real(40, julian(*time));
            }
        }
        endSection();
    }

    // An entity's type, handle, layer and the subclass of its own groups.
    void entity(const char* type, const char* subclass) {
        groups_.text(0, type);
        groups_.text(5, handle());
        groups_.text(100, "AcDbEntity");
        groups_.text(8, "0");
        groups_.text(100, subclass);
    }
    std::string handle() {
        char text[16];
        std::snprintf(text, sizeof text, "%X", nextHandle_++);
        return text;
    }

    // A DWG text as this release's DXF holds it.
    std::string dxfText(const std::string& text) const {
        if (!utf8_) return text;
        std::string out;
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x80) {
                out += c;
            } else {
                out += static_cast<char>(0xC0 | byte >> 6);
                out += static_cast<char>(0x80 | (byte & 0x3F));
            }
        }
        return out;
    }

    // A long text: chunks in group 3, the rest in group 1.
    void chunked(const std::string& text) {
        std::size_t at = 0;
        for (; text.size() - at > kChunk; at += kChunk) groups_.text(3, text.substr(at, kChunk));
        groups_.text(1, text.substr(at));
    }

    void object(const Object& object) {
        if (const auto* text = dynamic_cast<const TextEntity*>(&object)) {
            textEntity(*text);
        } else if (const auto* mtext = dynamic_cast<const MTextEntity*>(&object)) {
            entity("MTEXT", "AcDbMText");
            groups_.point(10, mtext->insertion[0], mtext->insertion[1]);
            groups_.real(40, mtext->height);
            groups_.real(41, mtext->rectWidth);
            groups_.integer(71, mtext->attachment, 2);
            groups_.integer(72, mtext->drawingDirection, 2);
            chunked(dxfText(mtext->text));
        } else if (const auto* tolerance = dynamic_cast<const ToleranceEntity*>(&object)) {
            entity("TOLERANCE", "AcDbFcf");
            groups_.text(3, "STANDARD");
            groups_.point(10, 0, 0);
            groups_.text(1, dxfText(tolerance->text));
        } else if (const auto* dimension = dynamic_cast<const DimensionEntity*>(&object)) {
            entity("DIMENSION", "AcDbDimension");
            if (dimension->block != 0) groups_.text(2, "*D" + std::to_string(dimension->block));
            groups_.point(10, 0, 0);
            groups_.integer(70, 1, 2);
            groups_.text(1, dxfText(dimension->userText));
            groups_.text(3, "STANDARD");
        } else if (const auto* leader = dynamic_cast<const MultileaderEntity*>(&object)) {
            multileader(*leader);
        } else {
            return;
        }
        ++written_;
    }

    // TEXT, ATTRIB or ATTDEF; from R2018 a multi-line attribute keeps its
    // text in an embedded MTEXT after group 101.
    void textEntity(const TextEntity& text) {
        static const char* const kTypes[] = {"TEXT", "ATTRIB", "ATTDEF"};
        const bool multiLine = version_ >= "AC1032" && text.type != 1 && text.attributeKind != 1;
        entity(kTypes[text.type - 1], "AcDbText");
        groups_.point(10, text.insertion[0], text.insertion[1]);
        groups_.real(40, text.height);
        groups_.text(1, multiLine ? std::string() : dxfText(text.text));
        if (text.type == 2) groups_.text(100, "AcDbAttribute");
        if (text.type == 3) {
            groups_.text(100, "AcDbAttributeDefinition");
            groups_.text(3, dxfText(text.prompt));
        }
        if (text.type != 1) {
            groups_.text(2, dxfText(text.tag));
            groups_.integer(70, 0, 2);
        }
        if (multiLine) {
            groups_.text(101, "Embedded Object");
            groups_.point(10, text.insertion[0], text.insertion[1]);
            groups_.real(40, text.height);
            chunked(dxfText(text.text));
        }
    }

    // The context section holds the MTEXT content and one leader with one
    // line; the block's attribute values follow it.
    void multileader(const MultileaderEntity& leader) {
        entity("MULTILEADER", "AcDbMLeader");
        groups_.integer(270, 2, 2);
        groups_.text(300, "CONTEXT_DATA{");
        groups_.real(40, 1.0);
        groups_.point(10, 0, 0);
        groups_.integer(290, leader.text ? 1 : 0, 1);
        if (leader.text) {
            groups_.text(304, dxfText(*leader.text));
            groups_.point(12, 0, 0);
        }
        groups_.integer(296, leader.text ? 0 : 1, 1);
        for (std::uint32_t root = 0; root < leader.leaderRoots; ++root) {
            groups_.text(302, "LEADER{");
            groups_.point(10, 0, 0);
            groups_.text(304, "LEADER_LINE{");
            groups_.point(10, 1, 1);
            groups_.text(305, "}");
            groups_.text(303, "}");
        }
        groups_.text(301, "}");
        groups_.integer(170, 1, 2);
        for (std::size_t i = 0; i < leader.attributeValues.size(); ++i) {
            groups_.text(330, handle());
            groups_.integer(177, static_cast<std::int64_t>(i), 2);
            groups_.real(44, 0.0);
            groups_.text(302, dxfText(leader.attributeValues[i]));
        }
    }

    // The root dictionary lists the record as DWGPROPS. Its groups are
    // those of the DWG record's data: the marker, the texts, ten pairs as
    // "name=value", the times, the hyperlink base, then the other pairs
    // after their count.
    void objects(const SummaryInfo& info) {
        constexpr std::size_t kNamedPairs = 10;
        section("OBJECTS");
        const std::string dictionary = handle();
        const std::string record = handle();
        groups_.text(0, "DICTIONARY");
        groups_.text(5, dictionary);
        groups_.text(100, "AcDbDictionary");
        groups_.text(3, "DWGPROPS");
        groups_.text(350, record);
        groups_.text(0, "XRECORD");
        groups_.text(5, record);
        groups_.text(330, dictionary);
        groups_.text(100, "AcDbXrecord");
        groups_.integer(280, 1, 2);
        groups_.text(1, "DWGPROPS COOKIE");
        for (const auto& [code, value] : {std::pair{2, &info.title}, {3, &info.subject}, {4, &info.author},
                                          {6, &info.comments}, {7, &info.keywords}, {8, &info.lastSavedBy},
                                          {9, &info.revision}}) {
            groups_.text(code, *value);
        }
        for (std::size_t i = 0; i < kNamedPairs; ++i) {
            const bool held = i < info.custom.size();
            groups_.text(300 + static_cast<int>(i), held ? info.custom[i].first + "=" + info.custom[i].second : "=");
        }
        groups_.real(40, julian(info.editingTime));
        groups_.real(41, julian(info.created));
        groups_.real(42, julian(info.modified));
        groups_.text(1, info.hyperlinkBase);
        const std::size_t counted = info.custom.size() > kNamedPairs ? info.custom.size() - kNamedPairs : 0;
        groups_.integer(90, static_cast<std::int64_t>(counted), 4);
        for (std::size_t i = kNamedPairs; i < info.custom.size(); ++i) {
            groups_.text(1, info.custom[i].first);
            groups_.text(1, info.custom[i].second);
        }
        endSection();
    }

    const Drawing& drawing_;
    const DxfOptions& options_;
    std::string version_;
    bool utf8_;
    GroupWriter groups_;
    unsigned nextHandle_ = 0x100;
    std::size_t written_ = 0;
};

}  // namespace

Bytes composeDxf(const Drawing& drawing, const DxfOptions& options) {
    return DxfComposer(drawing, options).compose();
}

}  // namespace dwgw
