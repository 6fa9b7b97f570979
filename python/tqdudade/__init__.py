"""The texts of DWG drawings, through libdwgtext.

    >>> import tqdudade
    >>> tqdudade.texts("samples/r2000.dwg")[0]
    'Site plan'
    >>> with tqdudade.open("samples/r2000.dwg") as drawing:
    ...     print(drawing.version, drawing.release)
    ...     for text in drawing.texts:
    ...         pass
    AC1015 R2000
    >>> drawing.status
    'read'

A drawing is given as a path (str, bytes or os.PathLike, as for open()),
a file object open for reading bytes, or its bytes as ``data=``. Reads
R10 to R2018 drawings: texts come as one line of UTF-8
each, formatting codes rendered, or as the bytes the drawing holds with
raw=True.

A file that is not read raises a DrawingError: NotADrawing,
UnsupportedVersion (with .version and .release), CannotOpen (also an
OSError), or DrawingError itself when the library could not read a drawing
of a release it reads. A drawing cut short raises nothing: its texts so far
come out and its status is "incomplete"; nor does a damaged one (full
length, but parts it records cannot be read): the texts of the rest come
out and its status is "damaged".

The library reads without holding the GIL, so threads read drawings in
parallel. ``python3 -m tqdudade.batch`` reads many drawings on a Dask
cluster. The library is found as ``tqdudade._capi`` describes; the
environment variable TQDUDADE_DWGTEXT_LIBRARY names it outright.
"""
# The names are taken from their modules when first asked for, so that
# importing tqdudade.batch, whose main process reads no drawing, imports
# neither ctypes nor the library.
_WHERE = {
    "LibraryNotFound": "_capi",
    "CannotOpen": "_drawing",
    "Drawing": "_drawing",
    "DrawingError": "_drawing",
    "NotADrawing": "_drawing",
    "Source": "_drawing",
    "UnsupportedVersion": "_drawing",
    "open": "_drawing",
    "texts": "_drawing",
}

__all__ = sorted(_WHERE)


def __getattr__(name: str):
    module = _WHERE.get(name)
    if module is None:
        raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
    import importlib
    value = getattr(importlib.import_module(f".{module}", __name__), name)
    globals()[name] = value
    return value


def __dir__() -> list[str]:
    return sorted(set(globals()) | set(__all__))
