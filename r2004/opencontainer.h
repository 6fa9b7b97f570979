// How both container layouts are made: in a block of the session's memory,
// then opened on the file through the cursor given; a container that cannot
// open gives its blocks back at once.
#ifndef TQ_R2004_OPENCONTAINER_H
#define TQ_R2004_OPENCONTAINER_H

#include <cstdint>

#include "core/dwgglobal.h"
#include "core/messages.h"
#include "r2004/container.h"
#include "support/component.h"

class FileStream;

// Null, after a report through the session naming module and line, when the
// block cannot be had; null when the container does not open.
template <class Container>
DrawingContainer *openContainer(DWGglobal *session, MemoryService *memory, FileStream *file, int32_t cursor,
                                const char *module, int32_t line)
{
    Container *container = newIn<Container>(memory, session, memory, file, cursor);
    if (container == nullptr) {
        reportf(session, msg::kAllocationFailed, module, line);
        return nullptr;
    }
    if (!container->open()) {
        container->destroy();
        return nullptr;
    }
    return container;
}

#endif
