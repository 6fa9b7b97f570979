/* dwgtext.h: the texts of DWG drawings in a few calls.
 *
 *     dwgtext_drawing *d;
 *     dwgtext_text t;
 *     if (dwgtext_open_path("plan.dwg", 0, &d) != DWGTEXT_OK) return 1;
 *     while (dwgtext_next(d, &t) == 1) printf("%.*s\n", (int)t.length, t.text);
 *     dwgtext_close(d);
 *
 * A drawing is read as its texts are asked for, so memory stays bounded
 * however large the drawing. Handles are independent of each other: any
 * number may be open at once, each used by one thread at a time. No call
 * aborts the process or writes to the console.
 */
#ifndef DWGTEXT_H
#define DWGTEXT_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(DWGTEXT_BUILDING)
#    define DWGTEXT_API __declspec(dllexport)
#  else
#    define DWGTEXT_API __declspec(dllimport)
#  endif
#else
#  define DWGTEXT_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct dwgtext_drawing dwgtext_drawing;

/* What a call answers: DWGTEXT_OK, or an error whose message
 * dwgtext_error_message gives. */
enum {
    DWGTEXT_OK = 0,
    DWGTEXT_ERROR_ARGUMENT = -1, /* a null pointer, or an unknown flag or code page */
    DWGTEXT_ERROR_MEMORY = -2    /* memory ran out */
};

/* Flags of the open calls. */
enum {
    /* Each text's `text` is the bytes as the drawing holds them, undecoded,
     * instead of one line of UTF-8 with formatting codes rendered. */
    DWGTEXT_RAW = 1u,
    /* Only the texts of the four classic kinds, TEXT, ATTRIB, ATTDEF and
     * MTEXT, instead of every kind (see dwgtext_kind). */
    DWGTEXT_CLASSIC_KINDS = 2u
};

/* What became of a drawing. */
enum dwgtext_status {
    DWGTEXT_READING = 0,       /* texts may follow */
    DWGTEXT_READ = 1,          /* read to its end */
    DWGTEXT_INCOMPLETE = 2,    /* cut short: its texts so far came out, the rest is missing */
    DWGTEXT_NOT_A_DRAWING = 3, /* not a DWG drawing */
    DWGTEXT_UNSUPPORTED = 4,   /* a DWG drawing of a release that is not read; see dwgtext_version */
    DWGTEXT_FAILED = 5,        /* of a release that is read, but the library could not read it */
    DWGTEXT_CANNOT_OPEN = 6,   /* the file could not be read at all */
    DWGTEXT_DAMAGED = 7        /* read to its end, but parts it records could not be read:
                                * the texts of the rest came out */
};

/* One text. The pointers stay valid until the next dwgtext_next or
 * dwgtext_close on the same drawing. */
typedef struct dwgtext_text {
    const char *text;           /* UTF-8, one line, no control character but TAB
                                 * (with DWGTEXT_RAW: the same as bytes) */
    size_t length;              /* bytes in text, without its closing NUL */
    const unsigned char *bytes; /* the text as the drawing holds it */
    size_t bytes_length;
    int32_t charset;            /* 51: bytes are UTF-16BE (high byte first); else the drawing's code page */
} dwgtext_text;

/* Opens the drawing at path, or the bytes in memory (not copied: they must
 * stay until dwgtext_close). A handle comes back whenever memory allows,
 * even for a file that cannot be read or is no drawing: its status says so.
 * Flags: 0, or DWGTEXT_RAW and DWGTEXT_CLASSIC_KINDS or'd. */
DWGTEXT_API int dwgtext_open_path(const char *path, unsigned flags, dwgtext_drawing **drawing);
DWGTEXT_API int dwgtext_open_bytes(const void *bytes, size_t size, unsigned flags, dwgtext_drawing **drawing);

/* The bytes of a stream (a pipe, a device) that dwgtext_open_path takes
 * before it gives up: 1 GiB. A regular file is read where the library
 * asks, whatever its size. A stream is looked at first: one that does not
 * start as a drawing is read no further; a drawing is copied to a
 * temporary file (in TMPDIR, else /tmp) and read there, so that memory
 * stays bounded. A longer stream has the status DWGTEXT_CANNOT_OPEN, and
 * its message says so. */
#define DWGTEXT_STREAM_LIMIT ((uint64_t)1 << 30)

/* dwgtext_open_path with another limit for a stream. */
DWGTEXT_API int dwgtext_open_path_limited(const char *path, unsigned flags, uint64_t stream_limit,
                                          dwgtext_drawing **drawing);

/* Decodes the texts from this code page (an iconv name such as "CP1251")
 * instead of the one the drawing records. Before the first dwgtext_next. */
DWGTEXT_API int dwgtext_set_codepage(dwgtext_drawing *drawing, const char *codepage);

/* The next text: 1 and *text filled in, 0 when there are no more (the status
 * is then final), or a negative error. */
DWGTEXT_API int dwgtext_next(dwgtext_drawing *drawing, dwgtext_text *text);

DWGTEXT_API enum dwgtext_status dwgtext_status(const dwgtext_drawing *drawing);
/* The status as a word: "reading", "read", "incomplete", "damaged",
 * "not-dwg", "unsupported", "failed", "cannot-open". */
DWGTEXT_API const char *dwgtext_status_name(enum dwgtext_status status);
/* The version text of the file's first bytes ("AC1015"); "" when there is none. */
DWGTEXT_API const char *dwgtext_version(const dwgtext_drawing *drawing);
/* Its release ("R2000"); "" when the version is not known. */
DWGTEXT_API const char *dwgtext_release(const dwgtext_drawing *drawing);
/* Why the drawing was not read, or was cut short, in one line; "" otherwise. */
DWGTEXT_API const char *dwgtext_message(const dwgtext_drawing *drawing);

/* The reports the library has made on this drawing so far, in order. */
DWGTEXT_API size_t dwgtext_report_count(const dwgtext_drawing *drawing);
DWGTEXT_API const char *dwgtext_report(const dwgtext_drawing *drawing, size_t index);

/* The kind of entity the text the last dwgtext_next gave came from: "TEXT",
 * "ATTRIB", "ATTDEF", "MTEXT", "TOLERANCE", "DIMENSION", "ATTDEF_PROMPT",
 * "MULTILEADER" or "PROXY"; "" before the first text. Given by a call of its
 * own so that dwgtext_text keeps its layout. */
DWGTEXT_API const char *dwgtext_kind(const dwgtext_drawing *drawing);

/* The document properties the drawing records, read as it opened: a fixed
 * order, the standard ones first, each where present ("title", "subject",
 * "author", "keywords", "comments", "lastSavedBy", "revision",
 * "hyperlinkBase", "created", "modified", "editingTime", "application",
 * "applicationVersion"), then the custom pairs under their own names. Names
 * and values are UTF-8 and stay valid until dwgtext_close; times are ISO
 * 8601 in UTC ("2024-03-05T14:07:09Z"), the editing time whole seconds.
 * dwgtext_property answers DWGTEXT_PROPERTY_STANDARD or
 * DWGTEXT_PROPERTY_CUSTOM, or DWGTEXT_ERROR_ARGUMENT for an index past the
 * count or a null pointer. */
enum {
    DWGTEXT_PROPERTY_STANDARD = 1,
    DWGTEXT_PROPERTY_CUSTOM = 2
};
DWGTEXT_API size_t dwgtext_property_count(const dwgtext_drawing *drawing);
DWGTEXT_API int dwgtext_property(const dwgtext_drawing *drawing, size_t index, const char **name, const char **value);

/* The preview image the drawing keeps (R13 on), as stored, read at the
 * first call: DWGTEXT_PREVIEW_BMP (a device-independent bitmap, which a .bmp
 * file holds after its 14-byte file header), DWGTEXT_PREVIEW_WMF or
 * DWGTEXT_PREVIEW_PNG, with *bytes and *size set until dwgtext_close;
 * DWGTEXT_PREVIEW_NONE when it has none (or one past 16 MiB); or
 * DWGTEXT_ERROR_ARGUMENT or DWGTEXT_ERROR_MEMORY. */
enum {
    DWGTEXT_PREVIEW_NONE = 0,
    DWGTEXT_PREVIEW_BMP = 1,
    DWGTEXT_PREVIEW_WMF = 2,
    DWGTEXT_PREVIEW_PNG = 3
};
DWGTEXT_API int dwgtext_preview(dwgtext_drawing *drawing, const unsigned char **bytes, size_t *size);

/* Frees the drawing and everything it gave; null is ignored. */
DWGTEXT_API void dwgtext_close(dwgtext_drawing *drawing);

/* The message of an error code. */
DWGTEXT_API const char *dwgtext_error_message(int error);

#ifdef __cplusplus
}
#endif

#endif
