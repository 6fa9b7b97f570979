// The containers of R2004 and later drawings. From R2004 on, a drawing is no
// longer one run of sections at known offsets: its sections are cut into
// pages, each page compressed on its own and scattered through the file,
// with a page map and a section map that say where each piece lies. R2004,
// R2010, R2013 and R2018 share one container; R2007 has one of its own,
// coded with Reed-Solomon. Both hand the readers the same thing: the bytes
// of a named section as one run, decompressed a page at a time through a
// small cache, so that host memory does not grow with the drawing.
#ifndef TQ_R2004_CONTAINER_H
#define TQ_R2004_CONTAINER_H

#include <cstdint>

class FileStream;
class MemoryService;
struct DWGglobal;

// The sections the readers take from a container.
enum class SectionName : int32_t {
    Header,   // "AcDb:Header"
    Classes,  // "AcDb:Classes"
    Handles,  // "AcDb:Handles": the object map
    Objects,  // "AcDb:AcDbObjects"
    SummaryInfo,  // "AcDb:SummaryInfo": the document properties
    AppInfo,      // "AcDb:AppInfo": the program that saved the drawing
    Count
};

// The sections only our own reader reads, for the document properties.
inline bool holdsProperties(SectionName name) { return name == SectionName::SummaryInfo || name == SectionName::AppInfo; }

// The name a section has in the maps ("AcDb:Handles"); "" for Count.
const char *sectionNameText(SectionName name);

// Both containers open with the record of the plain file header, which
// gives the drawing's code page as a 16-bit number here.
inline constexpr uint32_t kCodePageAt = 0x13;

// The maps give a section's size as a 64-bit number; a section larger than
// this is refused, so that positions in a section, and the sum of two
// sections' sizes, stay well within a signed 64-bit number.
inline constexpr uint64_t kLargestSection = uint64_t{1} << 48;

class DrawingContainer {
public:
    // The decompressed size of a section; 0 for a section the drawing
    // does not have.
    virtual uint64_t sectionSize(SectionName name) const = 0;

    // Copies up to count bytes of a section from offset on into buffer.
    // Returns the bytes copied: fewer than count at the end of the section,
    // or at the first page that cannot be read (missing from the file,
    // damaged, or failing to decompress), which is reported once. Never
    // writes past buffer + count.
    virtual int32_t readSection(SectionName name, uint64_t offset, void *buffer, int32_t count) = 0;

    // The page that holds offset, as where it starts in the section and its
    // decompressed length; {offset, 0} where no page does. And the length of
    // the section's largest page. A reader that reads a section in whole
    // pages, each into a buffer of its own, has each made straight there:
    // readSection copies only what a read takes of a page in part.
    struct PageSpan {
        uint64_t start;
        uint32_t length;
    };
    virtual PageSpan pageAt(SectionName name, uint64_t offset) const = 0;
    virtual uint32_t largestPage(SectionName name) const = 0;
    // The first offset from offset on that a page of the section covers;
    // the section's size when no page does.
    virtual uint64_t heldFrom(SectionName name, uint64_t offset) const = 0;

    // True when the maps could not be read and the objects section was
    // put together from the pages found by their headers: it is then served
    // with the classes, when their pages were found, and no other section,
    // and its objects are read in file order.
    virtual bool pagesFound() const = 0;
    // True when a part of the container was damaged and read from a copy
    // or found without the maps: the drawing is damaged though every text
    // may come out.
    virtual bool repaired() const = 0;

    // The drawing's code page as its file header gives it.
    virtual int32_t codePage() const = 0;

    // Gives back every block the container holds, then the container.
    virtual void destroy() = 0;

protected:
    ~DrawingContainer() = default;
};

// Open a container on the whole file. Null, after a report through the
// session, when the file header or the maps cannot be read (from R2004
// on: nor any page of the objects found without them).
DrawingContainer *newR2004Container(DWGglobal *session, MemoryService *memory, FileStream *file);
DrawingContainer *newR2007Container(DWGglobal *session, MemoryService *memory, FileStream *file);

#endif
