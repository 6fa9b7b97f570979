/*
 * TQDUDADE: pulls the text out of DWG drawings (R10 to R2018) for a
 * document-filtering host.
 *
 * The host hands the library two records: a byte source with a report
 * operation, and open parameters that lead to the host's services (memory
 * blocks and output objects). The library owns no file, no console and no
 * global state; everything it touches comes through these records.
 *
 *   session = startSrcDWG(&source, &params);
 *   while (getDWGobject(session) != 0 && !end_object_seen) { ... }
 *   shutDownDWGsrc(session);
 *
 * Every text found becomes a group of three output objects (kinds 38, 41,
 * 48); after the last text comes an end object (kind 1).
 *
 * The records below are a binary interface. On a 32-bit build every field
 * stands at the byte offset written beside it; on a 64-bit build the fields
 * keep their order with natural alignment. Slots marked "host's own" are
 * never touched by the library.
 */
#ifndef TQDUDADE_H
#define TQDUDADE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(TQDUDADE_BUILDING_LIBRARY) && defined(__GNUC__) && !defined(_WIN32)
#define TQDUDADE_API __attribute__((visibility("default")))
#else
#define TQDUDADE_API
#endif

/* On Windows the entry points and every host operation use __cdecl, the C
   convention, whatever default the host's compiler is set to (on x64 there
   is only one convention and the word changes nothing). The DLL exports the
   entry points under their plain names (TQDUDADE.def). Elsewhere the macro
   is empty. */
#ifdef _WIN32
#define TQDUDADE_CALL __cdecl
#else
#define TQDUDADE_CALL
#endif

/* Output object kinds. */
enum {
    DWG_OBJECT_END = 1,         /* after the last text */
    DWG_OBJECT_TEXT_OPEN = 38,  /* opens a text group; openCode := 12 */
    DWG_OBJECT_TEXT = 41,       /* the text: buffer, length, character set */
    DWG_OBJECT_TEXT_CLOSE = 48  /* closes a text group */
};

/* Character-set codes of a kind-41 object. */
enum {
    DWG_CHARSET_BYTES = 0,      /* bytes as stored in the drawing */
    DWG_CHARSET_UTF16BE = 51    /* two bytes per character, high byte first */
};

/* The value the library writes into openCode of every kind-38 object. */
#define DWG_TEXT_OPEN_CODE 12

/* Session marker while a session is open. */
#define DWG_SESSION_MARKER 0x11C2u

typedef struct HostSource HostSource;
typedef struct HostServices HostServices;
typedef struct HostOpenParams HostOpenParams;
typedef struct DWGOutputObject DWGOutputObject;
typedef struct DWGSessionHeader DWGSessionHeader;

/* The drawing's bytes, and where messages go. */
struct HostSource {
    void *hostOwn[8];                                                   /*  0 */
    int32_t (TQDUDADE_CALL *fpOpen)(HostSource *src);                                 /* 32: non-zero = ready */
    int32_t (TQDUDADE_CALL *fpRead)(HostSource *src, void *buffer, int32_t count);    /* 36: bytes read, <= 0 none */
    void *hostOwn40;                                                    /* 40 */
    int32_t (TQDUDADE_CALL *fpSeek)(HostSource *src, int32_t offset, int32_t origin); /* 44: origin 0 start, 2 end; 1 = done */
    int32_t (TQDUDADE_CALL *fpTell)(HostSource *src);                                 /* 48: current position */
    void (TQDUDADE_CALL *fpClose)(HostSource *src);                                   /* 52 */
    void (TQDUDADE_CALL *fpReport)(HostSource *src, const char *text, int32_t zero);  /* 56: may be null */
};

/* Memory blocks and output objects. */
struct HostServices {
    void *hostOwn[5];                                                          /*  0 */
    void *(TQDUDADE_CALL *PubSnormalmalloc)(HostServices *svc, uint32_t count, uint32_t size); /* 20: zero-filled */
    void *(TQDUDADE_CALL *PubSrealloc)(HostServices *svc, void *block, uint32_t size);       /* 24 */
    void (TQDUDADE_CALL *PubSfree)(HostServices *svc, void *block);                          /* 28 */
    void *hostOwn32;                                                           /* 32 */
    DWGOutputObject *(TQDUDADE_CALL *fpCreateObject)(HostServices *svc, int32_t kind);      /* 36 */
    void *hostOwn40;                                                           /* 40 */
    void (TQDUDADE_CALL *fpAppendObject)(HostServices *svc, DWGOutputObject **head,
                           DWGOutputObject *object, int32_t where);            /* 44: where = -1 */
    void *hostOwn48[2];                                                        /* 48 */
    int32_t (TQDUDADE_CALL *fpDeliverObjects)(HostServices *svc, DWGOutputObject **head,
                                int32_t zero);                                 /* 56: empties *head */
};

/* Second argument of startSrcDWG. */
struct HostOpenParams {
    uint32_t hostOwn0[2];      /*   0 */
    uint32_t word8;            /*   8: the library writes 48 */
    uint32_t hostOwn12;        /*  12 */
    uint32_t word16;           /*  16: the library writes 1 */
    uint32_t hostOwn20[19];    /*  20 */
    uint32_t word96;           /*  96: the library writes 1 */
    uint32_t hostOwn100[5];    /* 100 */
    HostServices *services;    /* 120: required */
    uint32_t hostValue;        /* 124: copied into the session header */
    uint32_t word128;          /* 128: the library writes 0 */
};

/* The fields of an output object that the library writes. */
struct DWGOutputObject {
    void *hostOwn[5];          /*  0 */
    void *text;                /* 20: kind 41, the host owns it once attached */
    int32_t length;            /* 24: kind 41, bytes in text */
    int32_t charset;           /* 28: kind 41, DWG_CHARSET_* */
    uint32_t hostOwn32[4];     /* 32 */
    int32_t openCode;          /* 48: kind 38, DWG_TEXT_OPEN_CODE */
};

/* The start of the record startSrcDWG returns; the rest is the library's. */
struct DWGSessionHeader {
    uint32_t marker;                                         /*  0: DWG_SESSION_MARKER while open */
    HostSource *source;                                      /*  4 */
    HostOpenParams *params;                                  /*  8 */
    int32_t (TQDUDADE_CALL *getObject)(DWGSessionHeader *session);         /* 12: getDWGobject */
    void (TQDUDADE_CALL *shutDown)(DWGSessionHeader *session);             /* 16: shutDownDWGsrc */
    int32_t (TQDUDADE_CALL *capability)(int32_t ignored, int32_t what);    /* 20: 1 only for what == 1 */
    uint32_t zero24[2];                                      /* 24 */
    HostServices *services;                                  /* 32 */
    uint32_t hostValue;                                      /* 36 */
};

/* Opens a reader on the drawing of source; null when the drawing cannot be read. */
TQDUDADE_API DWGSessionHeader *TQDUDADE_CALL startSrcDWG(HostSource *source, HostOpenParams *params);

/* Runs the reader until objects are pending and delivers them; the answer of
   fpDeliverObjects, or 0 when the reader is finished. */
TQDUDADE_API int32_t TQDUDADE_CALL getDWGobject(DWGSessionHeader *session);

/* Ends the session and gives every block back to the host. Null does nothing. */
TQDUDADE_API void TQDUDADE_CALL shutDownDWGsrc(DWGSessionHeader *session);

#if UINTPTR_MAX == 0xFFFFFFFFu
#ifdef __cplusplus
#define TQDUDADE_OFFSET_CHECK(type, field, offset) \
    static_assert(offsetof(type, field) == (offset), #type "." #field " must be at " #offset)
#else
#define TQDUDADE_OFFSET_CHECK(type, field, offset) \
    _Static_assert(offsetof(type, field) == (offset), #type "." #field " must be at " #offset)
#endif
TQDUDADE_OFFSET_CHECK(HostSource, fpOpen, 32);
TQDUDADE_OFFSET_CHECK(HostSource, fpRead, 36);
TQDUDADE_OFFSET_CHECK(HostSource, fpSeek, 44);
TQDUDADE_OFFSET_CHECK(HostSource, fpTell, 48);
TQDUDADE_OFFSET_CHECK(HostSource, fpClose, 52);
TQDUDADE_OFFSET_CHECK(HostSource, fpReport, 56);
TQDUDADE_OFFSET_CHECK(HostServices, PubSnormalmalloc, 20);
TQDUDADE_OFFSET_CHECK(HostServices, PubSrealloc, 24);
TQDUDADE_OFFSET_CHECK(HostServices, PubSfree, 28);
TQDUDADE_OFFSET_CHECK(HostServices, fpCreateObject, 36);
TQDUDADE_OFFSET_CHECK(HostServices, fpAppendObject, 44);
TQDUDADE_OFFSET_CHECK(HostServices, fpDeliverObjects, 56);
TQDUDADE_OFFSET_CHECK(HostOpenParams, word8, 8);
TQDUDADE_OFFSET_CHECK(HostOpenParams, word16, 16);
TQDUDADE_OFFSET_CHECK(HostOpenParams, word96, 96);
TQDUDADE_OFFSET_CHECK(HostOpenParams, services, 120);
TQDUDADE_OFFSET_CHECK(HostOpenParams, hostValue, 124);
TQDUDADE_OFFSET_CHECK(HostOpenParams, word128, 128);
TQDUDADE_OFFSET_CHECK(DWGOutputObject, text, 20);
TQDUDADE_OFFSET_CHECK(DWGOutputObject, length, 24);
TQDUDADE_OFFSET_CHECK(DWGOutputObject, charset, 28);
TQDUDADE_OFFSET_CHECK(DWGOutputObject, openCode, 48);
TQDUDADE_OFFSET_CHECK(DWGSessionHeader, marker, 0);
TQDUDADE_OFFSET_CHECK(DWGSessionHeader, source, 4);
TQDUDADE_OFFSET_CHECK(DWGSessionHeader, params, 8);
TQDUDADE_OFFSET_CHECK(DWGSessionHeader, getObject, 12);
TQDUDADE_OFFSET_CHECK(DWGSessionHeader, shutDown, 16);
TQDUDADE_OFFSET_CHECK(DWGSessionHeader, capability, 20);
TQDUDADE_OFFSET_CHECK(DWGSessionHeader, zero24, 24);
TQDUDADE_OFFSET_CHECK(DWGSessionHeader, services, 32);
TQDUDADE_OFFSET_CHECK(DWGSessionHeader, hostValue, 36);
#undef TQDUDADE_OFFSET_CHECK
#endif

#ifdef __cplusplus
}
#endif

#endif
