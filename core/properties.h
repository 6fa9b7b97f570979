// The document properties of a drawing: what its properties dialog holds
// (title, author and the rest, custom name/value pairs), when it was made
// and last saved, how long it was edited, and which program saved it. A
// reader fills them in once, when it opens the drawing, into one block of
// fixed size: however many properties a drawing claims, or however long,
// what does not fit is left out and the properties say so.
#ifndef TQ_CORE_PROPERTIES_H
#define TQ_CORE_PROPERTIES_H

#include <cstdint>

// The texts every drawing may hold, in the order they are given out.
enum class PropertyKey : int32_t {
    Title,
    Subject,
    Author,
    Keywords,
    Comments,
    LastSavedBy,
    Revision,
    HyperlinkBase,
    Application,
    ApplicationVersion,
    Count
};
inline constexpr int32_t kPropertyKeyCount = static_cast<int32_t>(PropertyKey::Count);

// A text of the properties: its bytes in the pool, in the character set
// given (DWG_CHARSET_BYTES in the drawing's code page, or
// DWG_CHARSET_UTF16BE, as for texts).
struct PropertyText {
    uint32_t at;
    uint32_t length;
    int32_t charset;
    bool present;
};

// A moment as drawings record it: a Julian day number and the milliseconds
// into that day. Also a span of time (the editing time): whole days and
// the milliseconds past them.
struct JulianTime {
    int32_t day;
    int32_t milliseconds;
    bool present;
};

// The preview image R13 and later drawings keep as they are stored, at
// the place the file header gives: its bytes in the file, and its kind.
enum class PreviewFormat : int32_t { None, Bmp, Wmf, Png };
struct PreviewPlace {
    uint32_t at;
    uint32_t size;
    PreviewFormat format;
};

struct DrawingProperties {
    static constexpr int32_t kMaxCustom = 256;
    static constexpr uint32_t kPoolSize = 32768;

    PropertyText standard[kPropertyKeyCount];
    PropertyText customNames[kMaxCustom];
    PropertyText customValues[kMaxCustom];
    int32_t customCount;
    JulianTime created;
    JulianTime modified;
    JulianTime editingTime;
    bool capped;  // the drawing holds more than fitted: the rest was left out
    uint32_t used;
    uint8_t pool[kPoolSize];

    // Keeps a text in the pool; one it has no room for leaves text as it
    // was, and sets capped.
    void keep(PropertyText *text, const uint8_t *bytes, uint32_t length, int32_t charset);
    const uint8_t *bytesOf(const PropertyText &text) const { return pool + text.at; }
};

#endif
