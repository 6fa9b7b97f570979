// Writing to standard output with every write checked.
#ifndef DWGTEXT_OUTPUT_H
#define DWGTEXT_OUTPUT_H

#include <string>
#include <string_view>

namespace dwgtext {

// Writes all of bytes to the file descriptor, going on after short writes
// and interrupted calls. 0 when done, else the errno of the failed write.
int writeAll(int fd, std::string_view bytes);

// What to say when standard output failed with error: nothing for a reader
// that went away (EPIPE: `dwgtext ... | head`), otherwise a line naming
// standard output and the error.
std::string writeFailureMessage(int error);

}  // namespace dwgtext

#endif
