// The pages of an R2004-R2018 container found without its maps. The page
// map and the section map lie at the end of the file, so a drawing cut
// short loses both, and one overwritten there loses them too; yet every
// data page opens with a sealed header that gives its section, its start
// in the section and the sums of its bytes. The finder walks the file from
// the first page on, from page to page where headers hold and in steps of
// the page alignment where they do not, and keeps each page the file holds
// whole. Its sums are checked when it is read, as those of any page are: a
// page cut short or damaged gives nothing.
//
// Of the sections, the readers need the objects, and the classes that
// number the multileaders among them. Their names are in the lost section
// map, so each is told by its content: the objects' first page opens with
// the long 0x0DCA, which no other section begins with (the header
// variables, classes and preview open with sentinels of their own, the
// object map with a big-endian size of at most 2 032, the others with
// their own counts and marks), the classes' with their sentinel. Their
// pages are laid out as the section map would have laid them out; what
// lies between two pages found reads as zeros.
#ifndef TQ_R2004_PAGEFINDER_H
#define TQ_R2004_PAGEFINDER_H

#include "r2004/pagedmaps.h"

class ContainerFile;
class MemoryService;
struct DWGglobal;

// Lays out the objects section in layout from the pages found, and the
// classes when a page opens them. False, after a report, when no page
// opens the objects section or a block cannot be had.
bool findObjectPages(DWGglobal *session, MemoryService *memory, ContainerFile *file, ContainerLayout *layout);

#endif
