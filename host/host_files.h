// Loading a drawing's bytes: whole, for a MemorySource, or as a ByteSource
// that the lean host reads where the library asks.
#ifndef TQHOST_HOST_FILES_H
#define TQHOST_HOST_FILES_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host_lean.h"

namespace tqhost {

// Reads the whole file at path ("-" is standard input) into bytes. On
// failure returns false and puts a message naming the cause into error.
bool readWholeFile(const std::string &path, std::vector<uint8_t> &bytes, std::string &error);

// The drawing at path. A regular file is read piece by piece where it is
// asked for, so that it is never all in memory; a pipe cannot go back, so it
// is read whole. Null on failure, with a message
// naming the cause in error.
std::unique_ptr<ByteSource> openDrawing(const std::string &path, std::string &error);

}  // namespace tqhost

#endif
