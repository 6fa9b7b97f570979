// The "\U+" codes that the C API renders are read by the rules of every
// text, in r13/textcodes.h; the C API includes them under this name.
#ifndef TQ_R13_WIDETEXT_H
#define TQ_R13_WIDETEXT_H

#include "r13/textcodes.h"

#endif
