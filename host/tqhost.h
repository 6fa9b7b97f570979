// The recording host: byte sources, counted blocks, the object chain, the
// fault plan and the event recorder. host_library.h adds the binding to the
// reader's entry points for programs that link it.
#ifndef TQHOST_TQHOST_H
#define TQHOST_TQHOST_H

#include "host_blocks.h"
#include "host_context.h"
#include "host_events.h"
#include "host_faults.h"
#include "drawingfiles.h"
#include "host_services.h"
#include "host_session.h"
#include "host_source.h"

#endif
