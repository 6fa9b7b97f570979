// Components live in blocks of the session's memory service: newIn takes a
// block and constructs the object in it, deleteIn runs the destructor and
// gives the block back. Blocks come zero-filled from the host, and members
// carry their own initialisers, so every component starts from zero.
#ifndef TQ_SUPPORT_COMPONENT_H
#define TQ_SUPPORT_COMPONENT_H

#include <new>
#include <utility>

#include "publicstorage.h"

template <class T, class... Args>
T *newIn(MemoryService *memory, Args &&...args)
{
    if (memory == nullptr) {
        return nullptr;
    }
    void *block = memory->allocate(sizeof(T));
    if (block == nullptr) {
        return nullptr;
    }
    return ::new (block) T(std::forward<Args>(args)...);
}

template <class T>
void deleteIn(MemoryService *memory, T *object)
{
    if (object == nullptr) {
        return;
    }
    object->~T();
    memory->free(object);
}

#endif
