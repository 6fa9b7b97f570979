// Where the preview image of an R13 or later drawing lies. The file header
// gives, at offset 13, the address of the image's directory: a 16-byte
// sentinel, the size of the area, a count of entries, and for each a code
// (1 a header of no use to us, 2 a BMP device-independent bitmap, 3 a
// WMF metafile, 6 a PNG image from R2013 on) with the file offset and size
// of its data.
#ifndef TQ_R13_PREVIEWPLACE_H
#define TQ_R13_PREVIEWPLACE_H

#include <cstdint>

#include "core/properties.h"

class FileStream;

// The first image the directory lists, when it lies whole in the file;
// {0, 0, None} otherwise.
PreviewPlace findPreview(FileStream *file);

#endif
