"""Where the package finds libdwgtext once installed by cmake or pip, run
from the sources, or told by the environment."""
from __future__ import annotations

import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

SOURCES = Path(__file__).resolve().parents[1]
ENVIRONMENT_VARIABLE = "TQDUDADE_DWGTEXT_LIBRARY"

# Prints the texts of a drawing and the library file that gave them.
PROGRAM = "import sys, tqdudade, tqdudade._drawing as d; print(tqdudade.texts(sys.argv[1])); print(d._library()._name)"


def run_python(arguments: list[str], cwd: Path, pythonpath: Path, library: str | None = None):
    environment = {key: value for key, value in os.environ.items() if key not in (ENVIRONMENT_VARIABLE, "PYTHONPATH")}
    environment["PYTHONPATH"] = str(pythonpath)
    if library is not None:
        environment[ENVIRONMENT_VARIABLE] = library
    return subprocess.run([sys.executable, *arguments], cwd=cwd, env=environment, capture_output=True, text=True)


def texts_and_library(cwd: Path, pythonpath: Path, sample: Path, library: str | None = None) -> tuple[str, Path]:
    run = run_python(["-c", PROGRAM, str(sample)], cwd, pythonpath, library)
    assert run.returncode == 0, run.stderr
    texts, loaded = run.stdout.splitlines()
    return texts, Path(loaded)


@pytest.fixture(scope="module")
def sample(samples) -> Path:
    return next(path for path in samples if path.name == "r2000.dwg")


@pytest.fixture(scope="module")
def expected(sample) -> str:
    import tqdudade

    return str(tqdudade.texts(sample))


def test_cmake_install_places_a_package_that_finds_its_library(pytestconfig, tmp_path, sample, expected):
    prefix = tmp_path / "prefix"
    subprocess.run([pytestconfig.getoption("--cmake"), "--install", pytestconfig.getoption("--build"),
                    "--prefix", str(prefix)], check=True, stdout=subprocess.DEVNULL)
    packages = [path.parent for path in prefix.glob("lib/python3*/*-packages/tqdudade")]
    assert len(packages) == 1
    texts, loaded = texts_and_library(tmp_path, packages[0], sample)
    assert texts == expected
    assert loaded.resolve().is_relative_to(prefix.resolve())


def test_pip_installs_the_package_offline(tmp_path, sample, expected):
    # pip builds in the tree it is given: give it a copy of the sources.
    sources = tmp_path / "sources"
    shutil.copytree(SOURCES, sources, ignore=shutil.ignore_patterns("tests", "__pycache__", "build", "*.egg-info"))
    target = tmp_path / "target"
    pip = subprocess.run([sys.executable, "-m", "pip", "install", "--quiet", "--no-build-isolation", "--no-index",
                          "--target", str(target), str(sources)], capture_output=True, text=True)
    assert pip.returncode == 0, pip.stderr
    library = os.environ[ENVIRONMENT_VARIABLE]
    assert texts_and_library(tmp_path, target, sample, library) == (expected, Path(library))


def test_the_sources_find_the_library_of_a_build_tree(tmp_path, sample, expected):
    texts, loaded = texts_and_library(tmp_path, SOURCES, sample)
    assert texts == expected
    run = run_python(["-c", "import tqdudade._capi as c; print(c._build_tree_copy())"], tmp_path, SOURCES)
    assert Path(run.stdout.strip()).is_relative_to(SOURCES.parent / "build")


def test_a_library_that_is_not_there_is_named_in_the_error(tmp_path, sample):
    run = run_python(["-c", PROGRAM, str(sample)], tmp_path, SOURCES, str(tmp_path / "libnothing.so"))
    assert run.returncode == 1
    assert "tqdudade._capi.LibraryNotFound: cannot load libdwgtext" in run.stderr
    assert f"libnothing.so" in run.stderr and ENVIRONMENT_VARIABLE in run.stderr
