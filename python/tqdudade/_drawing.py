"""Drawings opened through libdwgtext, their texts, and the errors they raise."""
from __future__ import annotations

import ctypes
import functools
import os
import sys
import warnings
from typing import BinaryIO, Iterator, Literal, Union, overload

from . import _capi
from ._records import document_properties

Source = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]", BinaryIO]
"""A path to a drawing, as open() takes one (str, bytes or os.PathLike), or
a file object open for reading bytes. The bytes of a drawing itself go in
as ``data=``."""
Data = Union[bytes, bytearray, memoryview]


class DrawingError(Exception):
    """A drawing could not be read.

    Raised as itself when the file holds a DWG version that is read but the
    library could not read this drawing (status "failed"). ``status`` is
    the status word, ``path`` the path given, as a str (None for data and
    file objects; ``os.fsencode`` gives a bytes path back), ``version``
    the version text of the file ("AC1015"), None when it has none.
    """

    def __init__(self, message: str, *, status: str, path: str | None = None, version: str | None = None):
        super().__init__(message)
        self.message = message
        self.status = status
        self.path = path
        self.version = version

    def __str__(self) -> str:
        return f"{self.path}: {self.message}" if self.path is not None else self.message


class NotADrawing(DrawingError):
    """The file is not a DWG drawing (status "not-dwg")."""


class UnsupportedVersion(DrawingError):
    """A DWG drawing of a release that is not read (status "unsupported").

    ``version`` is its version text ("AC1004"), ``release`` its release
    name ("R9") or None when the version is not known.
    """

    def __init__(self, message: str, *, status: str, path: str | None = None, version: str | None = None,
                 release: str | None = None):
        super().__init__(message, status=status, path=path, version=version)
        self.release = release


class CannotOpen(DrawingError, OSError):
    """The file could not be read at all (status "cannot-open").

    Both a DrawingError and an OSError; ``filename`` is the path. The
    library names the reason only in words, so ``errno`` is None.
    """

    def __init__(self, message: str, *, status: str, path: str | None = None, version: str | None = None):
        super().__init__(message, status=status, path=path, version=version)
        self.filename = path


_REFUSALS: dict[int, type[DrawingError]] = {
    _capi.NOT_A_DRAWING: NotADrawing,
    _capi.UNSUPPORTED: UnsupportedVersion,
    _capi.FAILED: DrawingError,
    _capi.CANNOT_OPEN: CannotOpen,
}


@functools.cache
def _library() -> ctypes.CDLL:
    return _capi.load()


def _word(answer: bytes | None) -> str | None:
    """A string the library answered; None for the empty one."""
    return answer.decode("utf-8", "replace") if answer else None


def _check(answer: int) -> None:
    if answer == _capi.OK:
        return
    message = _library().dwgtext_error_message(answer).decode("utf-8", "replace")
    raise MemoryError(message) if answer == _capi.ERROR_MEMORY else ValueError(message)


class Drawing:
    """A drawing, read as its texts are asked for; made by ``tqdudade.open``.

    Made directly, ``Drawing(source)`` or ``Drawing(data=...)`` raises
    nothing for a file that is not read: its ``status`` says what became of
    it. Use it as a context
    manager, or call ``close()``: the library keeps the drawing open until
    then. After closing, ``status``, ``version``, ``release``, ``message``
    ``reports`` and ``properties`` keep their last values. One thread at a time may use a
    drawing; any number of drawings may be read at once on other threads,
    in parallel, as the library runs without holding the GIL.
    """

    def __init__(self, source: Source | None = None, *, data: Data | None = None, raw: bool = False,
                 codepage: str | None = None, stream_limit: int = _capi.STREAM_LIMIT, kinds: str = "all"):
        if kinds not in ("all", "classic"):
            raise ValueError(f"kinds must be 'all' or 'classic', not {kinds!r}")
        flags = _flags(raw) | (_capi.CLASSIC_KINDS if kinds == "classic" else 0)
        path, data = _path_or_data(source, data)
        self._path = None if path is None else os.fsdecode(path)
        self._final: dict | None = None
        if path is None:
            self._handle = _Handle.of_bytes(data if isinstance(data, bytes) else bytes(data), flags)
        else:
            self._handle = _Handle.of_path(path, flags, stream_limit)
        self._kinded = _texts_of(self._handle, raw)
        self._texts = (text for _, text in self._kinded)
        if codepage is not None:
            self._set_codepage(codepage)

    def _set_codepage(self, codepage: str) -> None:
        try:
            answer = _library().dwgtext_set_codepage(self._handle.pointer, codepage.encode())
            if answer == _capi.ERROR_ARGUMENT:
                raise ValueError(f"unknown code page {codepage!r}")
            _check(answer)
        except BaseException:
            self.close()
            raise

    @property
    def texts(self) -> Iterator[str] | Iterator[bytes]:
        """The texts, one at a time as the library finds them: str, one line
        each, with formatting codes rendered; bytes as the drawing holds
        them when opened with raw=True. One iterator per drawing: asking
        again continues where the last one stopped."""
        return self._texts

    def __iter__(self) -> Iterator[str] | Iterator[bytes]:
        return self._texts

    @property
    def texts_with_kinds(self) -> Iterator[tuple[str, str]] | Iterator[tuple[str, bytes]]:
        """The texts as ``texts`` gives them, each with the kind of entity
        it came from: "TEXT", "ATTRIB", "ATTDEF", "MTEXT",
        "TOLERANCE", "DIMENSION", "ATTDEF_PROMPT", "MULTILEADER" or "PROXY". It takes its texts from
        the same reading as ``texts``: each text comes out of one of them."""
        return self._kinded

    def _ask(self, function: str):
        """What the library answers for this drawing, or answered before it
        was closed."""
        if self._final is not None:
            return self._final[function]
        return getattr(_library(), function)(self._handle.pointer)

    @property
    def status(self) -> str:
        """What became of the drawing: "reading" while texts may follow, then
        "read", "incomplete" (cut short: the texts so far came out, the
        rest is missing) or "damaged" (parts the drawing records could not
        be read: the texts of the rest came out); for a file that is not
        read "not-dwg",
        "unsupported", "failed" or "cannot-open"."""
        return _status_name(self._ask("dwgtext_status"))

    @property
    def version(self) -> str | None:
        """The version text of the file's first bytes ("AC1015"), None when
        it has none."""
        return _word(self._ask("dwgtext_version"))

    @property
    def release(self) -> str | None:
        """The release of the version ("R2000"), None when it is not known."""
        return _word(self._ask("dwgtext_release"))

    @property
    def message(self) -> str:
        """Why the drawing was not read, or was cut short, in one line; ""
        otherwise."""
        return _word(self._ask("dwgtext_message")) or ""

    @property
    def reports(self) -> list[str]:
        """The library's reports on this drawing so far, in order."""
        if self._final is not None:
            return list(self._final["reports"])
        library = _library()
        pointer = self._handle.pointer
        return [library.dwgtext_report(pointer, index).decode("utf-8", "replace")
                for index in range(library.dwgtext_report_count(pointer))]

    @property
    def properties(self) -> dict:
        """The document properties, read as the drawing opened, under the
        keys of ``dwgtext --json``: "title", "subject", "author",
        "keywords", "comments", "lastSavedBy", "revision",
        "hyperlinkBase", "created" and "modified" (ISO 8601, UTC),
        "editingTime" (seconds, an int), "application",
        "applicationVersion", each where present, and "custom", a dict of
        the custom pairs, when there are any."""
        if self._final is not None:
            return dict(self._final["properties"])
        return document_properties(_library(), self._handle.pointer)

    @property
    def preview(self) -> tuple[str, bytes] | None:
        """The preview image the drawing keeps (R13 on) as stored: ("png",
        bytes), ("wmf", bytes) or ("bmp", bytes), a device-independent
        bitmap without the 14-byte header of a .bmp file; None when it has
        none. Read from the drawing at each call, while it is open."""
        if self._final is not None:
            raise ValueError("the drawing is closed")
        bytes_pointer = ctypes.POINTER(ctypes.c_ubyte)()
        size = ctypes.c_size_t()
        answer = _library().dwgtext_preview(self._handle.pointer, ctypes.byref(bytes_pointer), ctypes.byref(size))
        if answer < 0:
            _check(answer)
        if answer not in _capi.PREVIEW_FORMATS:
            return None
        return _capi.PREVIEW_FORMATS[answer], ctypes.string_at(bytes_pointer, size.value)

    def raise_if_not_read(self) -> None:
        """Raises the DrawingError for the status of a file that is not read:
        NotADrawing, UnsupportedVersion, CannotOpen, or DrawingError itself
        when the library failed. Nothing while reading, read, incomplete or
        damaged."""
        error = _REFUSALS.get(self._ask("dwgtext_status"))
        if error is None:
            return
        details = {"status": self.status, "path": self._path, "version": self.version}
        if error is UnsupportedVersion:
            details["release"] = self.release
        raise error(self.message, **details)

    def close(self) -> None:
        """Frees the drawing in the library. Closing again does nothing."""
        if self._final is not None:
            return
        final = {name: self._ask(name) for name in _KEPT_ANSWERS}
        final["reports"] = self.reports
        final["properties"] = self.properties
        self._final = final
        self._texts.close()
        self._kinded.close()
        self._handle.close()

    def __enter__(self) -> Drawing:
        return self

    def __exit__(self, *exception) -> None:
        self.close()

    def __repr__(self) -> str:
        where = self._path if self._path is not None else f"{len(self._handle.source)} bytes"
        return f"<tqdudade.Drawing {where!r} {self.version or '?'} {self.status}>"


class _Handle:
    """A drawing open in the library, closed when the last of its Drawing
    and its texts iterator goes away. Holds the bytes the library reads in
    place, unchangeable, until then."""

    def __init__(self, source: bytes | None):
        self.pointer = ctypes.c_void_p()
        self.source = source
        # Kept here, as the module's globals may be gone when the last
        # handle goes at the interpreter's exit.
        self._close = _library().dwgtext_close

    @classmethod
    def of_path(cls, path: str | bytes, flags: int, stream_limit: int) -> _Handle:
        if stream_limit < 1:
            raise ValueError(f"stream_limit must be at least 1, not {stream_limit}")
        handle = cls(None)
        _check(_library().dwgtext_open_path_limited(os.fsencode(path), flags, stream_limit,
                                                    ctypes.byref(handle.pointer)))
        return handle

    @classmethod
    def of_bytes(cls, source: bytes, flags: int) -> _Handle:
        handle = cls(source)
        _check(_library().dwgtext_open_bytes(source, len(source), flags, ctypes.byref(handle.pointer)))
        return handle

    def close(self) -> None:
        if self.pointer:
            self._close(self.pointer)
            self.pointer.value = None

    __del__ = close


def _path_or_data(source, data) -> tuple[str | bytes | None, Data | None]:
    """The path to open, or else the drawing's bytes, from what the caller
    gave: a path, a file object, or data=."""
    if (source is None) == (data is None):
        raise TypeError("give a drawing as a path or a file object, or its bytes as data=")
    if data is not None:
        return None, data
    if isinstance(source, (bytearray, memoryview)) or (isinstance(source, bytes) and _is_old_form_data(source)):
        warnings.warn("a drawing's bytes as the first argument are deprecated: pass them as data=; "
                      "bytes without NUL or line break are read as a path", DeprecationWarning,
                      stacklevel=_caller_level())
        return None, source
    if hasattr(source, "read"):
        return None, source.read()
    return os.fspath(source), None


def _is_old_form_data(source: bytes) -> bool:
    """Whether bytes given as a path are a drawing's own bytes, as earlier
    releases took them: no path is empty or holds a NUL byte, and every
    drawing does (a DXF file holds line breaks, which no sane name does)."""
    return not source or any(byte in source for byte in (b"\0", b"\n", b"\r"))


def _caller_level() -> int:
    """The stack level, for warnings.warn, of the first caller outside this
    module."""
    frame, level = sys._getframe(1), 1
    while frame.f_globals.get("__name__") == __name__:
        frame, level = frame.f_back, level + 1
    return level


def _flags(raw: bool) -> int:
    return _capi.RAW if raw else 0


def _texts_of(handle: _Handle, raw: bool) -> Iterator[tuple[str, str]] | Iterator[tuple[str, bytes]]:
    text = _capi.Text()
    answer_next = functools.partial(_library().dwgtext_next, handle.pointer, ctypes.byref(text))
    kind_of = functools.partial(_library().dwgtext_kind, handle.pointer)
    while (answer := answer_next()) == 1:
        content = text.text[:text.length]
        yield kind_of().decode(), content if raw else content.decode("utf-8", "replace")
    if answer < 0:
        _check(answer)


_KEPT_ANSWERS = ("dwgtext_status", "dwgtext_version", "dwgtext_release", "dwgtext_message")


@functools.cache
def _status_name(status: int) -> str:
    return _library().dwgtext_status_name(status).decode()


def open(source: Source | None = None, *, data: Data | None = None, raw: bool = False,
         codepage: str | None = None, stream_limit: int = _capi.STREAM_LIMIT, kinds: str = "all") -> Drawing:
    """Opens a drawing from a path (str, bytes or os.PathLike, as open()
    takes), a file object open for reading bytes, or its bytes as data=.

    raw=True gives each text as the bytes the drawing holds instead of a
    line of UTF-8 with formatting codes rendered; codepage (an iconv name
    such as "CP1251") decodes byte texts from it instead of the code page
    the drawing records. A path to a pipe or a device is looked at
    first and read no further when it does not start as a drawing; a
    drawing there is copied to a temporary file, up to stream_limit bytes
    (1 GiB), beyond which it raises CannotOpen. Raises NotADrawing, UnsupportedVersion,
    CannotOpen or DrawingError when the file is not read; a drawing cut
    short is not an error: its status is "incomplete" once its texts are
    read. data= bytes are read in place, not copied (bytearray and
    memoryview are copied once); a file object is read whole first.
    kinds="classic" gives only the texts of TEXT, ATTRIB, ATTDEF and MTEXT
    entities; by default every kind comes.

    Earlier releases took a drawing's bytes as the first argument. That
    still works, with a DeprecationWarning, for bytes that no path could be:
    empty, or holding a NUL byte (every DWG file does) or a line break (every
    DXF file does); other bytes are a path.
    """
    drawing = Drawing(source, data=data, raw=raw, codepage=codepage, stream_limit=stream_limit, kinds=kinds)
    try:
        drawing.raise_if_not_read()
    except DrawingError:
        drawing.close()
        raise
    return drawing


@overload
def texts(source: Source | None = None, *, data: Data | None = None, raw: Literal[False] = False,
          codepage: str | None = None, stream_limit: int = ..., kinds: str = ...) -> list[str]: ...
@overload
def texts(source: Source | None = None, *, data: Data | None = None, raw: Literal[True],
          codepage: str | None = None, stream_limit: int = ..., kinds: str = ...) -> list[bytes]: ...


def texts(source: Source | None = None, *, data: Data | None = None, raw: bool = False,
          codepage: str | None = None, stream_limit: int = _capi.STREAM_LIMIT,
          kinds: str = "all") -> list[str] | list[bytes]:
    """The texts of a drawing, from a path, a file object or data=, in the
    order the library finds them. Raises as ``open`` does; a drawing cut
    short gives the texts it holds (``open`` tells that it was cut short)."""
    with open(source, data=data, raw=raw, codepage=codepage, stream_limit=stream_limit, kinds=kinds) as drawing:
        return list(drawing.texts)
