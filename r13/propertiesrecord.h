// The document properties of R13 to R2000 drawings. They lie in a record of
// group-coded data (an XRECORD) that the named-object dictionary lists
// under the name DWGPROPS. Its data is a run of groups, each a 16-bit group
// code and a value whose kind the code gives, as in DXF: a text is a 16-bit
// length, a byte naming its code page, then the bytes. The record opens
// with the text "DWGPROPS COOKIE" (group 1) and holds, by group code:
//
//   2 title, 3 subject, 4 author, 6 comments, 7 keywords, 8 last saved by,
//   9 revision, 300 to 309 ten custom pairs as "name=value", 40 to 42 the
//   editing, creation and update times (doubles: the header has them too),
//   1 the hyperlink base, then 90 a count of further custom pairs, each two
//   texts (name, value).
//
// Texts are kept as bytes in the drawing's code page.
#ifndef TQ_R13_PROPERTIESRECORD_H
#define TQ_R13_PROPERTIESRECORD_H

#include <cstdint>

#include "core/properties.h"
#include "support/bitcursor.h"

// The record's marker and the groups of its custom pairs: ten "name=value"
// texts, then the count of those given as two texts each.
inline constexpr char kPropertiesMarker[] = "DWGPROPS COOKIE";
inline constexpr uint16_t kFirstNamedPairGroup = 300;
inline constexpr uint16_t kLastNamedPairGroup = 309;
inline constexpr uint16_t kPropertiesPairCountGroup = 90;

// The standard text a text group of the record holds (the hyperlink base
// for group 1, which is the marker only first): null for one that holds
// none.
PropertyText *propertiesStandardText(DrawingProperties *properties, uint16_t code);

// Keeps a custom pair in the charset given; one with an empty name is a
// slot the program left unused and gives none.
void addPropertiesPair(DrawingProperties *properties, const uint8_t *name, uint32_t nameLength, const uint8_t *value,
                       uint32_t valueLength, int32_t charset);

// "name=value" split at the first equals sign; without one, all is name.
struct PropertiesPairSplit {
    uint32_t nameLength;
    uint32_t valueAt;
};
PropertiesPairSplit splitPropertiesPair(const uint8_t *pair, uint32_t length);

// The handle of the entry called name in the dictionary object the cursor
// stands at the start of (its size field); 0 when it has none, or the
// object's bytes end before its handle.
uint64_t findDictionaryEntry(BitCursor &in, int32_t versionIndex, const char *name);

// The groups of a properties record's data: false when they end inside a
// group, or a group is not one the record holds, or the data does not open
// with the record's marker; the properties read before stay.
bool decodePropertiesGroups(const uint8_t *bytes, uint32_t length, DrawingProperties *properties);

// The record object the cursor stands at the start of: its data's bytes,
// up to room of them, are copied to scratch and decoded. More than room
// sets properties->capped; false when the data claims more bytes than the
// object holds, or its groups cannot be read whole.
bool decodePropertiesRecord(BitCursor &in, int32_t versionIndex, uint8_t *scratch, uint32_t room,
                            DrawingProperties *properties);

#endif
