// Loading a drawing's bytes for a MemorySource.
#ifndef TQHOST_HOST_FILES_H
#define TQHOST_HOST_FILES_H

#include <cstdint>
#include <string>
#include <vector>

namespace tqhost {

// Reads the whole file at path ("-" is standard input) into bytes. On
// failure returns false and puts a message naming the cause into error.
bool readWholeFile(const std::string &path, std::vector<uint8_t> &bytes, std::string &error);

}  // namespace tqhost

#endif
