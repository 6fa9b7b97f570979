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

// Class numbers start after the fixed list of types, at 500.
constexpr uint16_t kFirstClassNumber = 500;

// A drawing defines a few dozen classes, a few kilobytes; more than this is
// not read.
constexpr uint32_t kMostClassBytes = 64 * 1024;

// The class numbers the walk needs, 0 for a class the drawing does not
// define: MULTILEADER's, whose texts are decoded from its fields, and
// those of the format's own entities whose texts lie in a block (a
// table's cells, an arc or large radial dimension's text), whose graphics
// repeat those texts.
struct ClassNumbers {
    uint16_t multileader;
    uint16_t blockText[kBlockTextClasses];
};

// The class numbers in a drawing's classes section, length bytes from its
// sentinel on; none when the section cannot be read. moreSizeWord: the
// section states a second RL after its size (R2010 drawings of
// maintenance release 4 on, and every later release).
ClassNumbers findClassNumbersIn(const uint8_t *bytes, int32_t length, int32_t versionIndex, bool moreSizeWord);

// The same, read from a container's AcDb:Classes section.
ClassNumbers findClassNumbers(MemoryService *memory, DrawingContainer *container, int32_t versionIndex,
                              bool moreSizeWord);

#endif
