// Everything the library can say to the host's report operation, in one
// place. Hosts and their users match these texts byte for byte, so they
// stay exactly as they have always been, spelling included. Where a text
// ends in "[%s/%d]", the module and the source line fill it in.
#ifndef TQ_CORE_MESSAGES_H
#define TQ_CORE_MESSAGES_H

namespace msg {

// Before a session exists, when the host's memory fails.
inline constexpr char kNoMemory[] = "Memory allocation error";
inline constexpr char kNoSessionMemory[] = "Memory allocation error(pDWGglobal)";

// Making a reader or one of its parts.
inline constexpr char kAllocationFailed[] = "*** ERROR *** Memory allocation failed[%s/%d].";
inline constexpr char kTextDataAllocation[] = "*** ERROR *** Memory allocation failed(newTextData[%s/%d]).";
// The version text (%s first) of a drawing the reader cannot take.
inline constexpr char kVersionNotSupported[] = "*** ERROR *** This version[%s] has not been supported[%s/%d].";

// File headers.
inline constexpr char kSectionsPosition[] = "*** ERROR *** p_getSectionsPosition failed[%s/%d].";
inline constexpr char kSectionsPosition1[] = "*** ERROR *** p_getSectionsPosition1 failed[%s/%d].";
inline constexpr char kSectionsPosition2[] = "*** ERROR *** p_getSectionsPosition2 failed[%s/%d].";

// Walking entities and objects: the type or size (%x) of a record that is
// passed over, or cannot be.
inline constexpr char kUnknownEntityType[] = "*** WARNING *** The entity type[0x%x] dosen't exist\n";
inline constexpr char kBadEntitySize[] = "*** WARNING *** Illigal entity size[0x%x]\n";
inline constexpr char kUnknownObjectType[] = "*** WARNING *** OBJCT TYPE[0x%x] dosen't exist\n";
inline constexpr char kBadObjectSize[] = "*** WARNING *** Illigal OBJCT size[0x%x]\n";
inline constexpr char kGetDWGText[] = "*** ERROR *** getDWGText()[%s/%d]";
inline constexpr char kGetDWGMText[] = "*** ERROR *** getDWGMText()[%s/%d]";
inline constexpr char kGetDWGTolerance[] = "*** ERROR *** getDWGTolerance()[%s/%d]";
inline constexpr char kGetDWGDimension[] = "*** ERROR *** getDWGDimension()[%s/%d]";
inline constexpr char kGetDWGMultileader[] = "*** ERROR *** getDWGMultileader()[%s/%d]";
inline constexpr char kPutProxyTexts[] = "*** ERROR *** putProxyTexts()[%s/%d]";
inline constexpr char kMultileaderEnd[] = "*** ERROR *** multileader fields do not end where its data does[%s/%d]";

// Decoding a text object: the field that could not be read, then the
// object that is stepped over because of it.
inline constexpr char kGetR13CommonData[] = "*** ERROR *** getR13_DWGCommonData()[%s/%d]";
inline constexpr char kGetR2KCommonData[] = "*** ERROR *** getR2K_DWGCommonData()[%s/%d]";
inline constexpr char kGetRC[] = "*** ERROR *** getRC()[%s/%d]";
inline constexpr char kGetBD[] = "*** ERROR *** getBD()[%s/%d]";
inline constexpr char kGetRD[] = "*** ERROR *** getRD()[%s/%d]";
inline constexpr char kGetBS[] = "*** ERROR *** getBS()[%s/%d]";
inline constexpr char kGet2RD[] = "*** ERROR *** get2RD()[%s/%d]";
inline constexpr char kGet3BD[] = "*** ERROR *** get3BD()[%s/%d]";
inline constexpr char kGetT[] = "*** ERROR *** getT()[%s/%d]";
inline constexpr char kDwgText[] = "*** ERROR *** p_dwgText()[%s/%d]";

// Handing texts to the host and leaving the object behind.
inline constexpr char kCreateObject[] = "*** ERROR *** fpCreateObject()[%s/%d]";
inline constexpr char kTextBuffer[] = "*** ERROR *** PubSnormalmalloc()[%s/%d]";
inline constexpr char kSeekPos[] = "*** ERROR *** SeekPos()[%s/%d]";

// The containers of R2004 and later: the part that cannot be read. %x is
// a file address, the first %s a section's name, %d a page's number.
inline constexpr char kR2004FileHeader[] = "*** ERROR *** R2004 file header damaged[%s/%d].";
inline constexpr char kR2004HeaderCopy[] =
    "*** WARNING *** R2004 file header damaged, its copy at the end of the file read[%s/%d].";
inline constexpr char kR2004SystemPage[] = "*** ERROR *** R2004 map page at [0x%x] cannot be read[%s/%d].";
inline constexpr char kR2004SectionMap[] = "*** ERROR *** R2004 section map damaged[%s/%d].";
inline constexpr char kR2004PageList[] = "*** ERROR *** R2004 page list of section[%s] damaged[%s/%d].";
inline constexpr char kR2004PageOutside[] = "*** ERROR *** R2004 page[%d] of section[%s] outside the file[%s/%d].";
inline constexpr char kR2004PageDamaged[] = "*** ERROR *** R2004 page[%d] of section[%s] damaged[%s/%d].";
inline constexpr char kR2004PageDecompress[] = "*** ERROR *** R2004 page[%d] of section[%s] not decompressible[%s/%d].";
// Where the maps cannot be read, the objects' pages are looked for by
// their headers: %d pages were found, or none opens the objects.
inline constexpr char kR2004PagesFound[] =
    "*** WARNING *** R2004 maps unreadable: %d pages of the objects found by their headers, read in file order[%s/%d].";
inline constexpr char kR2004NoObjectPages[] =
    "*** ERROR *** R2004 maps unreadable, and no page of the objects found by its header[%s/%d].";

// The R2007 container. Its file header, page map and section map (named
// by %s first), then the pages of a section, named by page id (%d first).
inline constexpr char kR2007Unreadable[] = "*** ERROR *** The R2007 %s cannot be read[%s/%d].";
inline constexpr char kR2007Damaged[] = "*** ERROR *** The R2007 %s is damaged beyond correction[%s/%d].";
inline constexpr char kR2007Corrected[] = "*** WARNING *** The R2007 %s was damaged and has been corrected[%s/%d].";
// The section's name (%s first) when it is stored in a way we do not read.
inline constexpr char kR2007SectionStorage[] = "*** ERROR *** The R2007 section %s is encrypted or not interleaved[%s/%d].";
inline constexpr char kR2007PageMissing[] = "*** ERROR *** R2007 page %d lies outside the file[%s/%d].";
inline constexpr char kR2007PageDamaged[] = "*** ERROR *** R2007 page %d is damaged beyond correction[%s/%d].";
inline constexpr char kR2007PageCorrected[] = "*** WARNING *** R2007 page %d was damaged and has been corrected[%s/%d].";
inline constexpr char kR2007PageDecompress[] = "*** ERROR *** R2007 page %d does not decompress[%s/%d].";

// An object map that cannot be read from its part at offset %x (in the
// section or file named by %s) on: a size that runs past the map, a pair
// that does not decode, or bytes that cannot be read.
inline constexpr char kObjectMapUnreadable[] =
    "*** ERROR *** The object map cannot be read from its part at [0x%x] of [%s]: the objects are read in file order[%s/%d].";

// What became of a drawing from R2004 on whose container could not be read
// whole, said once when its reading ends: cut short when what it records
// lies past the end of the file, damaged otherwise. The C API tells its
// statuses apart by these two texts up to their "[".
inline constexpr char kDrawingCutShort[] =
    "*** ERROR *** The drawing is cut short: parts it records lie past the end of the file[%s/%d].";
inline constexpr char kDrawingDamaged[] = "*** ERROR *** The drawing is damaged: parts it records cannot be read[%s/%d].";

// A DXF file whose bytes at the offset (%x) are no group: the reading
// stops there.
inline constexpr char kDxfGroup[] = "*** ERROR *** The DXF group at 0x%x cannot be read[%s/%d].";

// The document properties, read for our own reader only: a section (named
// by %s first) whose properties end early, after %d bytes; properties past
// the pool's bytes (%d) or its custom pairs (%d), left out.
inline constexpr char kPropertiesCut[] =
    "*** WARNING *** The properties in section[%s] end early: those past its %d bytes are missing[%s/%d].";
inline constexpr char kPropertiesCapped[] =
    "*** WARNING *** The properties exceed %d bytes or %d custom pairs: the rest were left out[%s/%d].";

}  // namespace msg

#endif
