// The classes a drawing defines number the objects that are not on the
// fixed list of types, and the numbers differ from drawing to drawing: a
// MULTILEADER is the class whose DXF name says so. From R2004 on the
// classes lie in the container's AcDb:Classes section.
#ifndef TQ_R13_CLASSES_H
#define TQ_R13_CLASSES_H

#include <cstdint>

class DrawingContainer;
class MemoryService;

// The type number of the drawing's MULTILEADER class; 0 when it has none
// or the section cannot be read. moreSizeWord: the section states a second
// RL after its size (R2010 drawings of maintenance release 4 on, and every
// later release).
uint16_t findMultileaderType(MemoryService *memory, DrawingContainer *container, int32_t versionIndex,
                             bool moreSizeWord);

#endif
