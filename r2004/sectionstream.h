// The objects of an R2004 or later drawing, and their map, as one stream.
// The object walk of R13 to R2000 reads a file in which the objects lie
// below the object map and the map's offsets are file offsets. A container
// gives the same picture: its "AcDb:AcDbObjects" section from offset 0 on,
// so that the map's offsets (which count from that section's start) are
// stream offsets, and its "AcDb:Handles" section after it. The stream reads
// them through the container's page cache, window by window, as it reads a
// host's file.
#ifndef TQ_R2004_SECTIONSTREAM_H
#define TQ_R2004_SECTIONSTREAM_H

#include <cstdint>

class DrawingContainer;
class FileStream;
class MemoryService;

struct SectionStream {
    FileStream *stream;
    int64_t mapStart;         // the object map runs from here to the stream's end
    const bool *pageFailed;   // set once a page of either section could not be read
};

// Null in stream when a block cannot be had or the container holds no
// objects. A container without the objects' map gives the objects alone.
SectionStream newSectionStream(DrawingContainer *container, MemoryService *memory);

#endif
