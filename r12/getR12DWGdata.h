// The reader of R10, R11 and R12 drawings: checks the version, reads the
// fixed-layout file header (section addresses, table descriptors, dates),
// walks the entity section, checks the block section and finishes.
#ifndef TQ_R12_GETR12DWGDATA_H
#define TQ_R12_GETR12DWGDATA_H

struct DWGglobal;
class DWGReader;
class MemoryService;

DWGReader *newR12DWGReader(DWGglobal *session, MemoryService *memory);
void deleteR12DWGReader(DWGReader *reader);

#endif
