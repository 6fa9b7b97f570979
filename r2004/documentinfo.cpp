#include "r2004/documentinfo.h"

#include <cstring>

#include "core/dwgglobal.h"
#include "core/messages.h"
#include "core/versions.h"
#include "r2004/container.h"
#include "support/bytereader.h"
#include "support/component.h"

static const char kModule[] = "documentinfo";

namespace {

// The most of either section we read: far more than any properties dialog
// fills, and all that the properties' pool could keep anyway.
constexpr uint32_t kMostSectionBytes = 0x10000;

// The program's information: the texts that follow a checksum are
// preceded by its 16 bytes.
constexpr uint32_t kChecksumBytes = 16;

// The fields and counted texts of a section's bytes: a text is a count of
// characters (bytes, or UTF-16 units), then the characters.
class InfoReader : public ByteReader {
public:
    InfoReader(const uint8_t *bytes, uint32_t length, InfoCharacters characters)
        : ByteReader(bytes, length), unit_(characters == InfoCharacters::Utf16 ? 2 : 1)
    {
    }

    JulianTime time()
    {
        JulianTime read{};
        read.day = static_cast<int32_t>(number(4));
        read.milliseconds = static_cast<int32_t>(number(4));
        read.present = !cut();
        return read;
    }

    // A counted text, kept without its trailing zeros; into stays as it
    // was when the bytes end before it, or the pool has no room for it.
    void text(DrawingProperties *properties, PropertyText *into)
    {
        const uint32_t size = number(2) * unit_;
        const uint8_t *start = cut() ? nullptr : take(size);
        if (start == nullptr) {
            return;
        }
        uint32_t kept = size;
        while (kept >= unit_ && p_isZero(start + kept - unit_)) {
            kept -= unit_;
        }
        properties->keep(into, start, kept, unit_ == 2 ? DWG_CHARSET_UTF16BE : DWG_CHARSET_BYTES);
    }

private:
    bool p_isZero(const uint8_t *unit) const { return unit[0] == 0 && (unit_ == 1 || unit[1] == 0); }

    uint32_t unit_;
};

constexpr PropertyKey kSummaryTexts[] = {PropertyKey::Title,    PropertyKey::Subject,     PropertyKey::Author,
                                         PropertyKey::Keywords, PropertyKey::Comments,    PropertyKey::LastSavedBy,
                                         PropertyKey::Revision, PropertyKey::HyperlinkBase};

PropertyText *standardText(DrawingProperties *properties, PropertyKey key)
{
    return &properties->standard[static_cast<int32_t>(key)];
}

// The characters of a kept text, whichever their width (UTF-16 is kept
// high byte first): a character past ASCII reads as 0.
class KeptCharacters {
public:
    KeptCharacters(const DrawingProperties *properties, const PropertyText &text)
        : bytes_(properties->bytesOf(text)),
          unit_(text.charset == DWG_CHARSET_UTF16BE ? 2 : 1),
          count_(text.present ? text.length / unit_ : 0)
    {
    }

    uint32_t count() const { return count_; }
    char at(uint32_t i) const
    {
        const uint8_t low = bytes_[i * unit_ + unit_ - 1];
        return (unit_ == 2 && bytes_[i * 2] != 0) || low > 0x7F ? '\0' : static_cast<char>(low);
    }
    bool startsWith(const char *prefix) const
    {
        uint32_t i = 0;
        for (; prefix[i] != '\0'; ++i) {
            if (i == count_ || at(i) != prefix[i]) {
                return false;
            }
        }
        return true;
    }

private:
    const uint8_t *bytes_;
    uint32_t unit_;
    uint32_t count_;
};

// The value of an attribute of the product element, <ProductInformation
// name ="Drafter" build_version="9.1" .../>: spaces may surround the equals
// sign, and programs write the quotes escaped (\") as often as not. Not
// present when the element has no such attribute.
PropertyText attributeOf(const DrawingProperties *properties, const PropertyText &element, const char *attribute)
{
    const KeptCharacters text(properties, element);
    const uint32_t unit = element.charset == DWG_CHARSET_UTF16BE ? 2 : 1;
    const uint32_t nameLength = static_cast<uint32_t>(strlen(attribute));
    for (uint32_t start = 1; start + nameLength < text.count(); ++start) {
        uint32_t i = 0;
        while (i < nameLength && text.at(start + i) == attribute[i]) {
            ++i;
        }
        if (i < nameLength || text.at(start - 1) != ' ') {
            continue;
        }
        i += start;
        auto skip = [&](const char *characters) {
            while (i < text.count() && strchr(characters, text.at(i)) != nullptr && text.at(i) != '\0') {
                ++i;
            }
        };
        skip(" ");
        if (i == text.count() || text.at(i) != '=') {
            continue;
        }
        ++i;
        skip(" \\\"");
        const uint32_t valueStart = i;
        while (i < text.count() && text.at(i) != '"' && text.at(i) != '\\') {
            ++i;
        }
        return PropertyText{element.at + valueStart * unit, (i - valueStart) * unit, element.charset, true};
    }
    return PropertyText{};
}

// The layout R2004's programs write: texts of bytes, the list's name, a
// number, a text of no use to us, the product, then the version.
bool decodeByteAppInfo(InfoReader &in, DrawingProperties *properties, PropertyText *product, PropertyText *version)
{
    PropertyText ignored{};
    in.text(properties, &ignored);
    in.number(4);
    in.text(properties, &ignored);
    in.text(properties, product);
    in.text(properties, version);
    return !in.cut();
}

// The layout of later programs: UTF-16 texts, a number, the list's name,
// then a count of entries, each a 16-byte checksum and a text. Programs
// write two (a comment and the product element) or three (the version
// first): the product is the entry that is an element (some programs
// quote it), the version one that starts with a digit.
bool decodeUtf16AppInfo(InfoReader &in, DrawingProperties *properties, PropertyText *product, PropertyText *version)
{
    PropertyText ignored{};
    in.number(4);
    in.text(properties, &ignored);
    const uint32_t entries = in.number(4);
    for (uint32_t i = 0; i < entries && !in.cut(); ++i) {
        in.skip(kChecksumBytes);
        PropertyText entry{};
        in.text(properties, &entry);
        const KeptCharacters text(properties, entry);
        if (text.startsWith("<") || text.startsWith("\"<")) {
            *product = entry;
        } else if (text.count() > 0 && text.at(0) >= '0' && text.at(0) <= '9') {
            *version = entry;
        }
    }
    return !in.cut();
}

// Reads up to kMostSectionBytes of a section into a block of its own:
// null when none can be had; what the reading gave is *length.
uint8_t *readSectionStart(MemoryService *memory, DrawingContainer *container, SectionName name, uint32_t *length)
{
    const uint32_t size = container->sectionSize(name);
    const uint32_t wanted = size < kMostSectionBytes ? size : kMostSectionBytes;
    auto *bytes = static_cast<uint8_t *>(memory->allocate(wanted));
    const int32_t got = bytes == nullptr ? 0 : container->readSection(name, 0, bytes, static_cast<int32_t>(wanted));
    *length = got > 0 ? static_cast<uint32_t>(got) : 0;
    return bytes;
}

// A section cut by a page that cannot be read, or longer than we read,
// decodes as far as its bytes go.
void readInfoSection(DWGglobal *session, MemoryService *memory, DrawingContainer *container, SectionName name,
                     DrawingProperties *properties, bool utf16)
{
    if (container->sectionSize(name) == 0) {
        return;
    }
    uint32_t length = 0;
    uint8_t *bytes = readSectionStart(memory, container, name, &length);
    const bool decoded = name == SectionName::SummaryInfo
                             ? decodeSummaryInfo(bytes, length, utf16 ? InfoCharacters::Utf16 : InfoCharacters::Bytes,
                                                 properties)
                             : decodeAppInfo(bytes, length, properties);
    memory->free(bytes);
    if (!decoded) {
        reportf(session, msg::kPropertiesCut, sectionNameText(name), static_cast<int32_t>(length), HERE);
    }
}

}  // namespace

bool decodeSummaryInfo(const uint8_t *bytes, uint32_t length, InfoCharacters characters,
                       DrawingProperties *properties)
{
    InfoReader in(bytes, length, characters);
    for (PropertyKey key : kSummaryTexts) {
        in.text(properties, standardText(properties, key));
    }
    properties->editingTime = in.time();
    properties->created = in.time();
    properties->modified = in.time();
    const uint32_t pairs = in.number(2);
    for (uint32_t i = 0; i < pairs && !in.cut(); ++i) {
        const int32_t slot = properties->customCount;
        if (slot == DrawingProperties::kMaxCustom) {
            properties->capped = true;
            break;
        }
        PropertyText name{};
        PropertyText value{};
        in.text(properties, &name);
        in.text(properties, &value);
        if (name.present && value.present) {
            properties->customNames[slot] = name;
            properties->customValues[slot] = value;
            ++properties->customCount;
        }
    }
    return !in.cut();
}

// The two layouts open differently: R2004's with the count of the list
// name's bytes and then its first letters, the later one with a 32-bit
// number whose high bytes are zero. The program's name is the product
// element's name attribute (or the whole product text when it is no
// element); its version, where no entry gives it, the element's
// build_version.
bool decodeAppInfo(const uint8_t *bytes, uint32_t length, DrawingProperties *properties)
{
    const bool utf16 = bytes != nullptr && length >= 4 && bytes[2] == 0 && bytes[3] == 0;
    InfoReader in(bytes, length, utf16 ? InfoCharacters::Utf16 : InfoCharacters::Bytes);
    PropertyText product{};
    PropertyText version{};
    const bool whole = utf16 ? decodeUtf16AppInfo(in, properties, &product, &version)
                             : decodeByteAppInfo(in, properties, &product, &version);
    const PropertyText name = attributeOf(properties, product, "name");
    *standardText(properties, PropertyKey::Application) = name.present ? name : product;
    *standardText(properties, PropertyKey::ApplicationVersion) =
        version.present ? version : attributeOf(properties, product, "build_version");
    return whole;
}

void readDocumentInfo(DWGglobal *session, MemoryService *memory, DrawingContainer *container)
{
    if (container->sectionSize(SectionName::SummaryInfo) == 0 && container->sectionSize(SectionName::AppInfo) == 0) {
        return;
    }
    DrawingProperties *properties = newIn<DrawingProperties>(memory);
    if (properties == nullptr) {
        reportf(session, msg::kAllocationFailed, HERE);
        return;
    }
    const bool utf16 = versionAtLeast(session->versionIndex, kAC1021);
    readInfoSection(session, memory, container, SectionName::SummaryInfo, properties, utf16);
    readInfoSection(session, memory, container, SectionName::AppInfo, properties, utf16);
    if (properties->capped) {
        reportf(session, msg::kPropertiesCapped, static_cast<int32_t>(DrawingProperties::kPoolSize),
                DrawingProperties::kMaxCustom, HERE);
    }
    session->properties = properties;
}
