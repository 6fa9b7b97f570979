/* A whole host of the library in C: prints the texts of the drawing named
   on the command line, one per line, as the library delivers them (bytes in
   the drawing's code page, or UTF-16BE for character set 51). Exit status 1
   when the library refuses the drawing, 2 when it cannot be opened.

   The host hands the library a byte source (HostSource) over the open file
   and its services (HostServices): blocks of memory, and output objects that
   the library creates, appends to a chain and delivers. Every text arrives
   as an object of kind DWG_OBJECT_TEXT; DWG_OBJECT_END ends the drawing.

   The README shows how to build it against an installed copy. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <TQDUDADE.h>

static int endSeen;

static FILE *fileOf(HostSource *src) { return (FILE *)src->hostOwn[0]; }
static int32_t sourceOpen(HostSource *src) { return fileOf(src) != NULL; }
static void sourceClose(HostSource *src) { (void)src; }
static int32_t sourceRead(HostSource *src, void *buffer, int32_t count)
{
    return (int32_t)fread(buffer, 1, (size_t)count, fileOf(src));
}
static int32_t sourceSeek(HostSource *src, int32_t offset, int32_t origin)
{
    return fseek(fileOf(src), offset, origin == 2 ? SEEK_END : SEEK_SET) == 0;
}
static int32_t sourceTell(HostSource *src) { return (int32_t)ftell(fileOf(src)); }

static void *blockNew(HostServices *svc, uint32_t count, uint32_t size)
{
    (void)svc;
    return calloc(count, size);
}
static void *blockResize(HostServices *svc, void *block, uint32_t size)
{
    (void)svc;
    return realloc(block, size);
}
static void blockFree(HostServices *svc, void *block)
{
    (void)svc;
    free(block);
}

/* hostOwn[0] links the chain, hostOwn[1] holds the kind. */
static DWGOutputObject *objectNew(HostServices *svc, int32_t kind)
{
    DWGOutputObject *object = calloc(1, sizeof *object);
    (void)svc;
    if (object)
        object->hostOwn[1] = (void *)(intptr_t)kind;
    return object;
}
static void objectAppend(HostServices *svc, DWGOutputObject **head, DWGOutputObject *object, int32_t where)
{
    (void)svc;
    (void)where;
    while (*head)
        head = (DWGOutputObject **)&(*head)->hostOwn[0];
    *head = object;
}
static int32_t objectsDeliver(HostServices *svc, DWGOutputObject **head, int32_t zero)
{
    DWGOutputObject *object = *head;
    (void)svc;
    (void)zero;
    while (object) {
        DWGOutputObject *next = object->hostOwn[0];
        intptr_t kind = (intptr_t)object->hostOwn[1];
        if (kind == DWG_OBJECT_TEXT) {
            fwrite(object->text, 1, (size_t)object->length, stdout);
            putchar('\n');
            free(object->text);
        }
        endSeen = endSeen || kind == DWG_OBJECT_END;
        free(object);
        object = next;
    }
    *head = NULL;
    return 1;
}

int main(int argc, char **argv)
{
    HostSource source = {0};
    HostServices services = {0};
    HostOpenParams params = {0};
    DWGSessionHeader *session;

    if (argc != 2 || (source.hostOwn[0] = fopen(argv[1], "rb")) == NULL)
        return 2;
    source.fpOpen = sourceOpen;
    source.fpRead = sourceRead;
    source.fpSeek = sourceSeek;
    source.fpTell = sourceTell;
    source.fpClose = sourceClose;
    services.PubSnormalmalloc = blockNew;
    services.PubSrealloc = blockResize;
    services.PubSfree = blockFree;
    services.fpCreateObject = objectNew;
    services.fpAppendObject = objectAppend;
    services.fpDeliverObjects = objectsDeliver;
    params.services = &services;

    session = startSrcDWG(&source, &params);
    if (session == NULL)
        return 1;
    while (!endSeen && getDWGobject(session) != 0)
        ;
    shutDownDWGsrc(session);
    fclose(fileOf(&source));
    return 0;
}
