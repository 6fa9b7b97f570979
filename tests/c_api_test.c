/* The public header compiles as C, and a C host can drive a session: with a
   source that is not a drawing, startSrcDWG refuses it, reports nothing and
   gives every block back. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "TQDUDADE.h"

typedef struct {
    HostSource source;
    const char *bytes;
    int32_t size;
    int32_t position;
} MemorySource;

static int32_t blocksInUse;

static int32_t sourceOpen(HostSource *src) { (void)src; return 1; }
static void sourceClose(HostSource *src) { (void)src; }

static int32_t sourceRead(HostSource *src, void *buffer, int32_t count)
{
    MemorySource *m = (MemorySource *)src;
    int32_t left = m->size - m->position;
    int32_t n = count < left ? count : left;
    memcpy(buffer, m->bytes + m->position, (size_t)n);
    m->position += n;
    return n;
}

static int32_t sourceSeek(HostSource *src, int32_t offset, int32_t origin)
{
    MemorySource *m = (MemorySource *)src;
    int32_t target = origin == 2 ? m->size + offset : offset;
    if (target < 0 || target > m->size) return 0;
    m->position = target;
    return 1;
}

static int32_t sourceTell(HostSource *src) { return ((MemorySource *)src)->position; }

static void *blockNew(HostServices *svc, uint32_t count, uint32_t size)
{
    (void)svc;
    ++blocksInUse;
    return calloc(count, size);
}

static void *blockResize(HostServices *svc, void *block, uint32_t size) { (void)svc; return realloc(block, size); }

static void blockFree(HostServices *svc, void *block)
{
    (void)svc;
    --blocksInUse;
    free(block);
}

int main(void)
{
    static const char notADrawing[] = "AC1018 is a later version than this library reads";
    MemorySource m;
    HostServices services;
    HostOpenParams params;
    memset(&m, 0, sizeof m);
    memset(&services, 0, sizeof services);
    memset(&params, 0, sizeof params);
    m.source.fpOpen = sourceOpen;
    m.source.fpRead = sourceRead;
    m.source.fpSeek = sourceSeek;
    m.source.fpTell = sourceTell;
    m.source.fpClose = sourceClose;
    m.bytes = notADrawing;
    m.size = (int32_t)sizeof notADrawing;
    services.PubSnormalmalloc = blockNew;
    services.PubSrealloc = blockResize;
    services.PubSfree = blockFree;
    params.services = &services;

    if (startSrcDWG(&m.source, &params) != NULL) {
        fprintf(stderr, "a version the library does not read was accepted\n");
        return 1;
    }
    if (blocksInUse != 0) {
        fprintf(stderr, "%d blocks left behind\n", (int)blocksInUse);
        return 1;
    }
    shutDownDWGsrc(NULL);
    if (getDWGobject(NULL) != 0) {
        fprintf(stderr, "a null session produced objects\n");
        return 1;
    }
    return 0;
}
