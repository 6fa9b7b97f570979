// The classes a drawing defines number the objects that are not on the
// fixed list of types, and the numbers differ from drawing to drawing: a
// MULTILEADER is the class whose DXF name says so, and so are a table and
// the dimensions kept as classes. Up to R2000 the classes lie in a section
// of the file itself, which its header's locator 1 places; from R2004 on
// in the container's AcDb:Classes section.
#ifndef TQ_R13_CLASSES_H
#define TQ_R13_CLASSES_H

#include <cstdint>

#include "core/dwgglobal.h"

class DrawingContainer;
class MemoryService;

// A drawing defines a few dozen classes, a few kilobytes; those of add-on
// applications hundreds (an architecture drawing's take 158 KB). More than
// this is not read.
constexpr uint32_t kMostClassBytes = 1024 * 1024;

// Class numbers start after the fixed list of types, at 500; a lower one
// would take a listed type's objects for multileaders.
constexpr uint16_t kFirstClassNumber = 500;

// The classes could not be read: a multileader is then told by decoding
// it, as no class number says which objects are.
constexpr uint16_t kMultileaderUnknown = 0xFFFF;

// The class numbers the walk needs, 0 for a class the drawing does not
// define: MULTILEADER's, whose texts are decoded from its fields, and
// those of the format's own entities whose texts lie in a block (a
// table's cells, an arc or large radial dimension's text), whose graphics
// repeat those texts.
struct ClassNumbers {
    uint16_t multileader;
    uint16_t blockText[kBlockTextClasses];
};

// What a classes section that could not be read gives.
constexpr ClassNumbers kClassesUnknown = {kMultileaderUnknown, {}};

// The class numbers in a drawing's classes section, length bytes from its
// sentinel on; none when the section cannot be read. moreSizeWord: the
// section states a second RL after its size (R2010 drawings of
// maintenance release 4 on, and every later release).
ClassNumbers findClassNumbersIn(const uint8_t *bytes, int32_t length, int32_t versionIndex, bool moreSizeWord);

// The same, read from a container's AcDb:Classes section; the multileader
// number is kMultileaderUnknown when the container has no such section or
// cannot give all of it.
ClassNumbers findClassNumbers(MemoryService *memory, DrawingContainer *container, int32_t versionIndex,
                              bool moreSizeWord);

#endif
