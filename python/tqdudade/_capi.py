"""Finds libdwgtext and declares the calls of its C API (capi/dwgtext.h).

Where the library is looked for, first to last:

1. the file named by the environment variable TQDUDADE_DWGTEXT_LIBRARY;
2. the copy installed with this package: ``cmake --install`` writes its
   place relative to the package into ``_installed.py``;
3. the system's loader (``LD_LIBRARY_PATH``, ``ldconfig``'s cache), by the
   library's SONAME, which names the version of the C API bound here;
4. the libdir that pkg-config gives for ``dwgtext`` (the installed
   ``dwgtext.pc``, found through ``PKG_CONFIG_PATH`` for a prefix the loader
   does not search);
5. the newest ``build/*/`` tree of the checkout this package lies in, for
   running it from the sources.

A package installed with pip carries no ``_installed.py``: it finds the
library by 1, 3 or 4.
"""
from __future__ import annotations

import ctypes
import os

ENVIRONMENT_VARIABLE = "TQDUDADE_DWGTEXT_LIBRARY"
LIBRARY_FILE = "libdwgtext.so"
SONAME = "libdwgtext.so.1"

OK = 0
ERROR_ARGUMENT = -1
ERROR_MEMORY = -2
RAW = 1
CLASSIC_KINDS = 2
PROPERTY_CUSTOM = 2
PREVIEW_FORMATS = {1: "bmp", 2: "wmf", 3: "png"}
STREAM_LIMIT = 1 << 30

READING, READ, INCOMPLETE, NOT_A_DRAWING, UNSUPPORTED, FAILED, CANNOT_OPEN, DAMAGED = range(8)


class LibraryNotFound(ImportError):
    """libdwgtext is nowhere this package looks for it."""


class Text(ctypes.Structure):
    """struct dwgtext_text: one text, valid until the next call on its
    drawing. Its strings are char pointers: ``text.text[:text.length]``
    gives the bytes without a further call."""

    _fields_ = [
        ("text", ctypes.POINTER(ctypes.c_char)),
        ("length", ctypes.c_size_t),
        ("bytes", ctypes.POINTER(ctypes.c_char)),
        ("bytes_length", ctypes.c_size_t),
        ("charset", ctypes.c_int32),
    ]


def _installed_copy() -> str | None:
    try:
        from . import _installed
    except ImportError:
        return None
    return os.path.join(os.path.dirname(__file__), _installed.LIBRARY)


def _build_tree_copy():
    from pathlib import Path  # only when running from the sources
    checkout = Path(__file__).resolve().parents[2]
    if not (checkout / "capi" / "dwgtext.h").is_file():
        return None
    built = [*checkout.glob(f"build/*/{LIBRARY_FILE}"), *checkout.glob(f"build/*/*/{LIBRARY_FILE}")]
    return max(built, key=lambda path: path.stat().st_mtime, default=None)


def _pkg_config_copy() -> str | None:
    import subprocess  # only when the loader did not find the library
    try:
        found = subprocess.run(["pkg-config", "--variable=libdir", "dwgtext"], capture_output=True, text=True)
    except OSError:
        return None
    libdir = found.stdout.strip()
    return os.path.join(libdir, SONAME) if found.returncode == 0 and libdir else None


def _candidates():
    """The places to try, first to last, each found only when the one before
    did not load."""
    override = os.environ.get(ENVIRONMENT_VARIABLE)
    if override:
        yield override
        return
    installed = _installed_copy()
    if installed is not None and os.path.exists(installed):
        yield installed
    yield SONAME
    for found in (_pkg_config_copy(), _build_tree_copy()):
        if found is not None:
            yield str(found)


def load() -> ctypes.CDLL:
    """The first libdwgtext that loads, with its calls declared."""
    tried = []
    for candidate in _candidates():
        try:
            return _declare(ctypes.CDLL(candidate))
        except OSError as error:
            tried.append(str(error))
    raise LibraryNotFound(
        f"cannot load libdwgtext ({'; '.join(tried)}). The Python package needs the C library {SONAME}: "
        f"install the tqdudade .deb (cpack -G DEB in a build of TQDUDADE), or the build with cmake --install "
        f"(bash scripts/demo.sh puts it in /usr/local), then run ldconfig; for another prefix set "
        f"PKG_CONFIG_PATH to its lib/pkgconfig, or name the file in {ENVIRONMENT_VARIABLE}"
    )


def _declare(library: ctypes.CDLL) -> ctypes.CDLL:
    handle = ctypes.c_void_p
    calls = {
        "dwgtext_open_path": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_uint, ctypes.POINTER(handle)]),
        "dwgtext_open_path_limited": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_uint, ctypes.c_uint64,
                                                     ctypes.POINTER(handle)]),
        "dwgtext_open_bytes": (ctypes.c_int, [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_uint, ctypes.POINTER(handle)]),
        "dwgtext_set_codepage": (ctypes.c_int, [handle, ctypes.c_char_p]),
        "dwgtext_next": (ctypes.c_int, [handle, ctypes.POINTER(Text)]),
        "dwgtext_status": (ctypes.c_int, [handle]),
        "dwgtext_status_name": (ctypes.c_char_p, [ctypes.c_int]),
        "dwgtext_version": (ctypes.c_char_p, [handle]),
        "dwgtext_release": (ctypes.c_char_p, [handle]),
        "dwgtext_message": (ctypes.c_char_p, [handle]),
        "dwgtext_report_count": (ctypes.c_size_t, [handle]),
        "dwgtext_report": (ctypes.c_char_p, [handle, ctypes.c_size_t]),
        "dwgtext_property_count": (ctypes.c_size_t, [handle]),
        "dwgtext_property": (ctypes.c_int, [handle, ctypes.c_size_t, ctypes.POINTER(ctypes.c_char_p),
                                            ctypes.POINTER(ctypes.c_char_p)]),
        "dwgtext_preview": (ctypes.c_int, [handle, ctypes.POINTER(ctypes.POINTER(ctypes.c_ubyte)),
                                           ctypes.POINTER(ctypes.c_size_t)]),
        "dwgtext_close": (None, [handle]),
        "dwgtext_error_message": (ctypes.c_char_p, [ctypes.c_int]),
        "dwgtext_kind": (ctypes.c_char_p, [handle]),
    }
    for name, (result, arguments) in calls.items():
        function = getattr(library, name)
        function.restype = result
        function.argtypes = arguments
    return library
