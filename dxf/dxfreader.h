// The reader of DXF files, for our own reader only: the host's protocol
// reads DWG drawings and is never offered this one. As it opens it reads
// the HEADER section (release, code page, times) and the document
// properties, which lie in the OBJECTS section at the file's end; then it
// walks the file once, in file order, giving the texts of the entities of
// the BLOCKS section (every block definition's) and the ENTITIES section,
// of the same kinds and rendered as DWG's are.
#ifndef TQ_DXF_DXFREADER_H
#define TQ_DXF_DXFREADER_H

struct DWGglobal;
class DWGReader;
class FileStream;
class MemoryService;

// Null, without a report, when the stream holds no DXF file; null after a
// report when the reader cannot be made.
DWGReader *newDxfReader(DWGglobal *session, MemoryService *memory, FileStream *stream);

#endif
