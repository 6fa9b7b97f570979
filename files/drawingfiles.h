// Loading a drawing's bytes: whole, or as a ByteSource that the library
// reads where it asks.
#ifndef DWGFILES_DRAWINGFILES_H
#define DWGFILES_DRAWINGFILES_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bytesource.h"

namespace dwgfiles {

// Reads the whole file at path ("-" is standard input) into bytes. A
// stream is looked at and limited as openDrawing does. On failure returns
// false and puts a message naming the cause into error.
bool readWholeFile(const std::string &path, std::vector<uint8_t> &bytes, std::string &error);

// How many bytes of a stream (a pipe, a device, standard input) are taken
// before it is given up, unless told otherwise.
constexpr uint64_t kDefaultStreamLimit = uint64_t{1} << 30;

// The drawing at path. A regular file is read piece by piece where it is
// asked for, so that it is never all in memory, or mapped once the program
// has installed the guard of mappedfiles.h. A stream cannot go back:
// its first bytes are looked at first, and one that does not start as a
// drawing is read no further (the library then says what it is); a
// drawing is copied to a temporary file, up to streamLimit bytes, and read
// there. Null on failure, with a message naming the cause in error.
std::unique_ptr<ByteSource> openDrawing(const std::string &path, std::string &error,
                                        uint64_t streamLimit = kDefaultStreamLimit);

// The same for standard input, which stays open.
std::unique_ptr<ByteSource> openStandardInput(std::string &error, uint64_t streamLimit = kDefaultStreamLimit);

}  // namespace dwgfiles

#endif
