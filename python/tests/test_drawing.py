"""tqdudade against dwgtext: the same texts from paths and bytes, every
status and its exception, drawings held open by their texts, threads."""
from __future__ import annotations

import gc
import pathlib
from concurrent.futures import ThreadPoolExecutor

import pytest

import tqdudade

READ_FILES = ["r12.dwg", "r14.dwg", "r2000.dwg", "nul.dwg", "breaks.dwg", "mtext.dwg"]

SOURCE_KINDS = {
    "str": lambda path: str(path),
    "Path": lambda path: path,
    "bytes": lambda path: path.read_bytes(),
    "bytearray": lambda path: bytearray(path.read_bytes()),
    "memoryview": lambda path: memoryview(path.read_bytes()),
}


@pytest.mark.parametrize("kind", SOURCE_KINDS)
def test_every_kind_of_source_gives_dwgtexts_texts(drawings, expected_of, kind):
    for name in READ_FILES:
        path = drawings / name
        expected = expected_of(path)
        source = SOURCE_KINDS[kind](path)
        assert tqdudade.texts(source) == expected.texts, name
        assert tqdudade.texts(source, raw=True) == expected.bytes, name


def test_a_drawing_tells_what_dwgtext_tells(drawings, expected_of):
    for name in READ_FILES:
        expected = expected_of(drawings / name).record
        with tqdudade.open(drawings / name) as drawing:
            assert drawing.status == "reading"
            texts = list(drawing.texts)
            assert drawing.status == "read"
        assert (drawing.version, len(texts), drawing.reports) == (expected["version"], expected["texts"],
                                                                   expected["reports"]), name
        assert drawing.release == {"AC1009": "R11/R12", "AC1014": "R14", "AC1015": "R2000"}[drawing.version]


def test_a_code_page_decodes_byte_texts_as_dwgtexts_does(drawings, expected_of):
    path = drawings / "r12.dwg"
    assert tqdudade.texts(path, codepage="CP437") == expected_of(path, "--codepage", "CP437").texts
    assert tqdudade.texts(path, codepage="CP437") != tqdudade.texts(path)
    with pytest.raises(ValueError):
        tqdudade.open(path, codepage="no such code page")


# Each file of the fixture that is not read: its status, and what open raises.
NOT_READ = {
    "text.dwg": ("not-dwg", tqdudade.NotADrawing),
    "r2004.dwg": ("unsupported", tqdudade.UnsupportedVersion),
    "refused.dwg": ("failed", tqdudade.DrawingError),
    "missing.dwg": ("cannot-open", tqdudade.CannotOpen),
}


@pytest.mark.parametrize("name", NOT_READ)
def test_a_file_not_read_raises_its_error_and_gives_its_status(drawings, expected_of, name):
    status, error_class = NOT_READ[name]
    path = drawings / name
    expected = expected_of(path).record
    with pytest.raises(error_class) as raised:
        tqdudade.open(path)
    error = raised.value
    assert type(error) is error_class and isinstance(error, tqdudade.DrawingError)
    assert (error.status, error.path, error.version, error.message) == (
        status, str(path), expected["version"], expected["error"])
    assert str(path) in str(error) and expected["error"] in str(error)
    with pytest.raises(error_class):
        tqdudade.texts(path)
    with tqdudade.Drawing(path) as drawing:
        assert (drawing.status, list(drawing.texts), drawing.message) == (status, [], expected["error"])


def test_errors_carry_what_their_kind_promises(drawings):
    with pytest.raises(tqdudade.UnsupportedVersion) as unsupported:
        tqdudade.texts((drawings / "r2004.dwg").read_bytes())
    assert (unsupported.value.version, unsupported.value.release, unsupported.value.path) == ("AC1018", "R2004", None)
    with pytest.raises(OSError) as unreadable:
        tqdudade.texts(drawings / "missing.dwg")
    assert unreadable.value.filename == str(drawings / "missing.dwg")
    with pytest.raises(tqdudade.NotADrawing) as empty:
        tqdudade.texts(b"")
    assert empty.value.version is None


def test_a_drawing_cut_short_gives_its_texts_so_far_and_says_so(drawings, expected_of, tmp_path):
    full = (drawings / "r2000.dwg").read_bytes()
    cuts = [len(full) - 1, len(full) * 3 // 4, len(full) // 2]
    for cut in cuts:
        path = tmp_path / f"r2000-{cut}.dwg"
        path.write_bytes(full[:cut])
        expected = expected_of(path)
        with tqdudade.open(path) as drawing:
            assert list(drawing.texts) == expected.texts, cut
            assert (drawing.status, drawing.message) == ("incomplete", expected.record["error"]), cut
        assert tqdudade.texts(full[:cut]) == expected.texts, cut


def test_texts_come_as_they_are_found(drawings):
    with tqdudade.open(drawings / "r2000.dwg") as drawing:
        first = next(drawing.texts)
        assert drawing.status == "reading"
        rest = list(drawing)
    assert [first, *rest] == tqdudade.texts(drawings / "r2000.dwg")
    assert drawing.status == "read" and drawing.version == "AC1015"
    with pytest.raises(StopIteration):
        next(drawing.texts)


def test_bytes_live_as_long_as_the_texts_that_read_them(drawings):
    expected = tqdudade.texts(drawings / "r14.dwg")
    texts = tqdudade.open(bytearray((drawings / "r14.dwg").read_bytes())).texts
    gc.collect()
    assert list(texts) == expected
    source = bytearray((drawings / "r14.dwg").read_bytes())
    with tqdudade.open(source) as drawing:
        source[:] = bytes(len(source))
        assert list(drawing.texts) == expected


def test_threads_read_in_parallel_with_the_same_results(drawings, corpus_or_none):
    paths = [drawings / name for name in READ_FILES] + corpus_or_none
    expected = [tqdudade.texts(path) for path in paths]
    with ThreadPoolExecutor(max_workers=8) as pool:
        results = list(pool.map(tqdudade.texts, paths * 8))
    assert results == expected * 8


@pytest.fixture
def corpus_or_none(pytestconfig) -> list[pathlib.Path]:
    return sorted(pathlib.Path(pytestconfig.getoption("--corpus")).glob("*.dwg"))


def test_every_real_drawing_gives_dwgtexts_texts(corpus, dwgtext):
    from conftest import run_dwgtext

    expected = run_dwgtext(dwgtext, ["-H", *map(str, corpus)])
    for path in corpus:
        record = expected[str(path)].record
        with tqdudade.Drawing(path) as drawing:
            texts = list(drawing.texts)
        assert texts == expected[str(path)].texts, path.name
        assert (drawing.version, drawing.status, drawing.reports) == (
            record["version"], record["status"], record["reports"]), path.name
        assert tqdudade.texts(path.read_bytes(), raw=True) == expected[str(path)].bytes, path.name
