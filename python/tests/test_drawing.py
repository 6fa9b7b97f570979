"""tqdudade against dwgtext: the same texts and fields from paths and bytes,
every status and its exception, drawings held open by their texts."""
from __future__ import annotations

import gc
import io
import os
import struct

import pytest

import tqdudade
from tqdudade._records import counted_reports
from conftest import run_dwgtext

READ_FILES = ["r12.dwg", "r14.dwg", "r2000.dwg", "nul.dwg", "breaks.dwg", "mtext.dwg"]

# The arguments that give a drawing, made afresh for each call.
SOURCE_KINDS = {
    "str": lambda path: {"source": str(path)},
    "Path": lambda path: {"source": path},
    "bytes path": lambda path: {"source": os.fsencode(path)},
    "file": lambda path: {"source": io.BytesIO(path.read_bytes())},
    "bytes": lambda path: {"data": path.read_bytes()},
    "bytearray": lambda path: {"data": bytearray(path.read_bytes())},
    "memoryview": lambda path: {"data": memoryview(path.read_bytes())},
}


def assert_read_as_dwgtext_reads(path, expected, make=SOURCE_KINDS["Path"]) -> None:
    with tqdudade.open(**make(path)) as drawing:
        assert drawing.status == "reading"
        properties = drawing.properties
        texts = list(drawing.texts)
    record = expected.record
    assert (texts, drawing.version, drawing.status, counted_reports(drawing.reports)) == (
        expected.texts, record["version"], record["status"], record["reports"])
    assert properties == drawing.properties == record["properties"]
    assert tqdudade.texts(**make(path), raw=True) == expected.bytes


@pytest.mark.parametrize("kind", SOURCE_KINDS)
def test_every_kind_of_source_reads_as_dwgtext_reads(drawings, expected_of, kind):
    for name in READ_FILES:
        assert_read_as_dwgtext_reads(drawings / name, expected_of(drawings / name), SOURCE_KINDS[kind])


def test_bytes_are_a_path_as_for_open_and_old_form_data_still_reads_with_a_warning(drawings, tmp_path):
    odd = os.fsencode(tmp_path) + b"/lat1\xe9.dwg"
    with open(odd, "wb") as file:
        file.write((drawings / "r14.dwg").read_bytes())
    expected = tqdudade.texts(drawings / "r14.dwg")
    assert tqdudade.texts(odd) == tqdudade.texts(os.fsdecode(odd)) == expected
    with pytest.raises(tqdudade.CannotOpen) as missing:
        tqdudade.texts(odd + b".missing")
    assert os.fsencode(missing.value.path) == odd + b".missing"
    with pytest.warns(DeprecationWarning, match="data=") as warned:
        assert tqdudade.texts((drawings / "r14.dwg").read_bytes()) == expected
    assert warned[0].filename == __file__
    with pytest.warns(DeprecationWarning), pytest.raises(tqdudade.NotADrawing):
        tqdudade.texts(b"no drawing\n")
    with pytest.raises(TypeError):
        tqdudade.texts()


def test_every_real_drawing_reads_as_dwgtext_reads(corpus, dwgtext):
    expected = run_dwgtext(dwgtext, ["-H", *map(str, corpus)])
    for path in corpus:
        assert_read_as_dwgtext_reads(path, expected[str(path)])
        assert tqdudade.texts(data=path.read_bytes()) == expected[str(path)].texts, path.name


def test_texts_come_with_their_kinds_as_dwgtext_gives_them(drawings, expected_of):
    path = drawings / "r14.dwg"
    every = expected_of(path)
    with tqdudade.open(path) as drawing:
        assert list(drawing.texts_with_kinds) == list(zip(every.kinds, every.texts))
    classic = expected_of(path, "--kinds=classic")
    for kind in ("ATTDEF_PROMPT", "MULTILEADER"):
        assert kind in every.kinds and kind not in classic.kinds
    assert tqdudade.texts(path, kinds="classic") == classic.texts


def test_a_code_page_decodes_byte_texts_as_dwgtext_does(drawings, expected_of):
    path = drawings / "r12.dwg"
    assert tqdudade.texts(path, codepage="CP437") == expected_of(path, "--codepage", "CP437").texts
    assert tqdudade.texts(path, codepage="CP437") != tqdudade.texts(path)
    with pytest.raises(ValueError, match="'no such code page'"):
        tqdudade.open(path, codepage="no such code page")


# Each file of the fixture that is not read: its status, what open raises,
# and the release that error names.
NOT_READ = {
    "text.dwg": ("not-dwg", tqdudade.NotADrawing, None),
    "r9.dwg": ("unsupported", tqdudade.UnsupportedVersion, "R9"),
    "refused.dwg": ("failed", tqdudade.DrawingError, None),
    "missing.dwg": ("cannot-open", tqdudade.CannotOpen, None),
}


@pytest.mark.parametrize("name", NOT_READ)
def test_a_file_not_read_raises_its_error_and_gives_its_status(drawings, expected_of, name):
    status, error_class, release = NOT_READ[name]
    path = drawings / name
    expected = expected_of(path).record
    with pytest.raises(error_class) as raised:
        tqdudade.texts(path)
    error = raised.value
    assert type(error) is error_class and isinstance(error, tqdudade.DrawingError)
    assert (error.status, error.path, error.version, error.message) == (
        status, str(path), expected["version"], expected["error"])
    assert str(error) == f"{path}: {expected['error']}"
    assert getattr(error, "release", None) == release
    assert isinstance(error, OSError) == (status == "cannot-open")
    if path.exists():
        with pytest.raises(error_class) as from_bytes:
            tqdudade.open(data=path.read_bytes())
        assert (from_bytes.value.path, from_bytes.value.message) == (None, expected["error"])
    with tqdudade.Drawing(path) as drawing:
        assert (drawing.status, list(drawing.texts), drawing.message) == (status, [], expected["error"])


def test_bytes_live_as_long_as_the_texts_that_read_them(drawings):
    expected = tqdudade.texts(drawings / "r14.dwg")
    texts = tqdudade.open(data=bytearray((drawings / "r14.dwg").read_bytes())).texts
    gc.collect()
    assert list(texts) == expected
    source = bytearray((drawings / "r14.dwg").read_bytes())
    with tqdudade.open(data=source) as drawing:
        source[:] = bytes(len(source))
        assert list(drawing.texts) == expected


def test_the_report_of_an_unknown_object_type_gives_the_type_as_a_number():
    # As dwgtext --json gives it; the text stays as the library spells it.
    unknown = "*** WARNING *** OBJCT TYPE[0x1f4] dosen't exist"
    others = ["*** WARNING *** OBJCT TYPE[0x] dosen't exist", "*** WARNING *** The entity type[0x10] dosen't exist",
              "*** WARNING *** Illigal OBJCT size[0x20]"]
    assert counted_reports([unknown, "*** WARNING *** OBJCT TYPE[0x4A] dosen't exist", unknown, *others]) == [
        {"report": unknown, "count": 2, "object_type": 500},
        {"report": "*** WARNING *** OBJCT TYPE[0x4A] dosen't exist", "count": 1, "object_type": 74},
        *({"report": report, "count": 1} for report in others)]


def with_preview(drawing: bytes, code: int, image: bytes) -> bytes:
    """The drawing with a preview area at its end, listing a header and the
    image under its code, and the file header's address of the area."""
    sentinel = bytes.fromhex("1f256d07d43628289d57ca3f9d44102b")
    address = len(drawing)
    entries_end = address + len(sentinel) + 5 + 18
    area = (sentinel + struct.pack("<IB", 19 + 80 + len(image), 2) + struct.pack("<BII", 1, entries_end, 80) +
            struct.pack("<BII", code, entries_end + 80, len(image)) + bytes(80) + image)
    patched = bytearray(drawing + area)
    struct.pack_into("<I", patched, 13, address)
    return bytes(patched)


def test_the_preview_comes_as_stored_and_the_properties_as_dwgtext_gives_them(samples):
    r2018 = next(path for path in samples if path.name == "r2018.dwg").read_bytes()
    image = b"\x89PNG\r\n\x1a\n not really"
    with tqdudade.open(data=with_preview(r2018, 6, image)) as drawing:
        assert drawing.preview == ("png", image)
        assert drawing.properties["custom"] == {"Client": "City council", "Sheet": "A-101"}
        assert drawing.properties["editingTime"] == 5400
    with tqdudade.open(data=r2018) as drawing:
        assert drawing.preview is None
