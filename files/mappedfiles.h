// Regular files mapped into memory, for a program that reads many large
// drawings: the library then reads a file's bytes where they lie, with no
// copy through the kernel, and the pages it has left behind are given back
// as it goes, so that memory stays bounded whatever the file's size.
//
// A file that another program cuts short while it is mapped would end the
// process with SIGBUS at the first read past its new end. A program that
// maps files therefore installs a guard first, once: it answers such a
// fault by putting a page of zeros where the file's page was and noting
// that the file changed, and a reading that met one ends as that of a cut
// drawing. The guard is process-wide; a library must not install it behind
// its caller's back, so only our programs do, and everything else reads
// files piece by piece.
#ifndef DWGFILES_MAPPEDFILES_H
#define DWGFILES_MAPPEDFILES_H

#include <cstdint>
#include <memory>

#include "bytesource.h"

namespace dwgfiles {

// Installs the guard; from then on openDrawing maps regular files. False
// where files cannot be mapped (Windows) or the guard cannot be installed.
bool guardMappedFiles();

// The regular file open on descriptor, of size bytes, mapped; null when the
// guard is not installed or the file cannot be mapped. The descriptor stays
// the caller's.
std::unique_ptr<ByteSource> mapRegularFile(int descriptor, uint64_t size);

}  // namespace dwgfiles

#endif
