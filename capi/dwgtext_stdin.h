// Standard input as a drawing, for the dwgtext program, which links the C
// API in: not a call of the shared library.
#ifndef DWGTEXT_STDIN_H
#define DWGTEXT_STDIN_H

#include <cstdint>

#include "dwgtext.h"

namespace dwgtext {

// dwgtext_open_path for standard input, taken as a stream of up to
// streamLimit bytes.
int openStandardInput(unsigned flags, uint64_t streamLimit, dwgtext_drawing **drawing);

}  // namespace dwgtext

#endif
