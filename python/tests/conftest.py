"""What the package's tests share: the programs of the build, the drawings
they compose, and dwgtext's JSON to compare with.

ctest runs them as
    /usr/bin/python3 -m pytest python/tests --dwgtext PATH --make-drawings PATH
        --write-drawings PATH --samples DIR --corpus DIR --build DIR --cmake PATH
with TQDUDADE_DWGTEXT_LIBRARY naming the build's libdwgtext.
"""
from __future__ import annotations

import json
import shutil
import struct
import subprocess
from dataclasses import dataclass, field
from pathlib import Path

import pytest

OPTIONS = ("dwgtext", "make-drawings", "write-drawings", "samples", "build", "cmake")


def pytest_addoption(parser):
    for option in OPTIONS:
        parser.addoption(f"--{option}", required=True)
    parser.addoption("--corpus", action="append", default=[], help="a folder of real drawings; may repeat")


def option(config, name: str) -> Path:
    return Path(config.getoption(f"--{name}")).absolute()


@pytest.fixture(scope="session")
def dwgtext(pytestconfig) -> Path:
    return option(pytestconfig, "dwgtext")


@pytest.fixture(scope="session")
def samples(pytestconfig) -> list[Path]:
    return sorted(option(pytestconfig, "samples").glob("*.dwg"))


def corpus_folders(config) -> list[Path]:
    return [Path(folder).absolute() for folder in config.getoption("--corpus")]


@pytest.fixture(scope="session")
def corpus(pytestconfig) -> list[Path]:
    drawings = [path for folder in corpus_folders(pytestconfig) for path in sorted(folder.glob("*.dwg"))]
    if not drawings:
        pytest.skip(f"no real drawings: {corpus_folders(pytestconfig)} are absent or empty")
    return drawings


@dataclass
class Expected:
    """dwgtext --json of one file: its record, its texts and their bytes."""

    record: dict
    texts: list[str] = field(default_factory=list)
    bytes: list[bytes] = field(default_factory=list)
    kinds: list[str] = field(default_factory=list)


def run_dwgtext(dwgtext: Path, arguments: list[str]) -> dict[str, Expected]:
    """dwgtext --json's records by file name."""
    lines = subprocess.run([str(dwgtext), "--json", *arguments], capture_output=True, text=True).stdout
    expected: dict[str, Expected] = {}
    texts: dict[str, list[dict]] = {}
    for line in lines.splitlines():
        record = json.loads(line)
        if "index" in record:
            texts.setdefault(record["file"], []).append(record)
        else:
            found = texts.pop(record["file"], [])
            expected[record["file"]] = Expected(record, [text["text"] for text in found],
                                                [bytes.fromhex(text["bytes"]) for text in found],
                                                [text["kind"] for text in found])
    return expected


@pytest.fixture(scope="session")
def expected_of(dwgtext):
    """dwgtext --json of one file, by path, with any further options."""
    def expected(path: Path, *options: str) -> Expected:
        return run_dwgtext(dwgtext, ["-H", *options, str(path)])[str(path)]
    return expected


# Where an R13 to R2000 header keeps its number of section locators: with
# none, the library refuses a drawing of a release it reads.
LOCATOR_COUNT = 21


@pytest.fixture(scope="session")
def drawings(tmp_path_factory, samples, pytestconfig) -> Path:
    """The samples and the command-line tests' drawings, composed by our
    writer, and one drawing of each status that is not "read"."""
    folder = tmp_path_factory.mktemp("drawings")
    for sample in samples:
        shutil.copy(sample, folder / sample.name)
    subprocess.run([str(option(pytestconfig, "make-drawings")), str(folder)], check=True)
    r14 = (folder / "r14.dwg").read_bytes()
    (folder / "cut.dwg").write_bytes(r14[: len(r14) * 3 // 4])
    (folder / "text.dwg").write_bytes(b"Not a drawing at all, only text.\n")
    (folder / "r9.dwg").write_bytes(b"AC1004" + bytes(200))
    r2000 = (folder / "r2000.dwg").read_bytes()
    (folder / "refused.dwg").write_bytes(r2000[:LOCATOR_COUNT] + struct.pack("<I", 0) + r2000[LOCATOR_COUNT + 4:])
    return folder
