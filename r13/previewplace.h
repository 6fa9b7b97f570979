// The preview area of an R13 or later drawing. The file header gives, at
// offset 13, its address. The area opens with a 16-byte sentinel and the
// size of what follows up to its closing sentinel (the complement of the
// opening one): a count of entries, for each a code (1 a header of no use
// to us, 2 a BMP device-independent bitmap, 3 a WMF metafile, 6 a PNG
// image from R2013 on) with the file offset and size of its data, then
// that data.
#ifndef TQ_R13_PREVIEWPLACE_H
#define TQ_R13_PREVIEWPLACE_H

#include <cstdint>

#include "core/properties.h"

class FileStream;

// The first image the area lists; {0, 0, None} when it lists none. Whether
// the image's bytes are all there is learnt by reading them.
PreviewPlace findPreview(FileStream *file);

// Where the area ends by its own size, from R13c3 on the end of the whole
// drawing; 0 when the file header gives no address. A size the file's end
// cuts off counts as none, and the stream notes that it ran out.
uint64_t previewAreaEnd(FileStream *file);

#endif
