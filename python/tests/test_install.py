"""The package finds its library wherever it is installed: placed by cmake
--install beside the library, or as a pure-Python wheel that pip builds
offline and installs into a fresh venv, finding it through pkg-config."""
import ctypes.util
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import tqdudade
from tqdudade import _capi

# Prints a drawing's texts and the library file that gave them.
PROGRAM = "import sys, tqdudade, tqdudade._drawing as d; print(tqdudade.texts(sys.argv[1])); print(d._library()._name)"


@pytest.fixture(scope="module")
def prefix(pytestconfig, tmp_path_factory) -> Path:
    prefix = tmp_path_factory.mktemp("prefix")
    subprocess.run([pytestconfig.getoption("--cmake"), "--install", pytestconfig.getoption("--build"),
                    "--prefix", str(prefix)], check=True, stdout=subprocess.DEVNULL)
    return prefix


def texts_and_library(python, sample, cwd, **environment) -> tuple[str, Path]:
    """What PROGRAM prints, run by python without the tests' own library."""
    environment = {key: value for key, value in os.environ.items()
                   if key not in ("TQDUDADE_DWGTEXT_LIBRARY", "PYTHONPATH")} | environment
    run = subprocess.run([str(python), "-c", PROGRAM, str(sample)], cwd=cwd, env=environment,
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    texts, library = run.stdout.splitlines()
    return texts, Path(library).resolve()


def test_cmake_install_places_a_package_that_finds_its_library(prefix, tmp_path, samples):
    [package] = prefix.glob("lib/python3*/*-packages/tqdudade")
    texts, library = texts_and_library(sys.executable, samples[0], tmp_path, PYTHONPATH=str(package.parent))
    assert texts == str(tqdudade.texts(samples[0]))
    assert library.is_relative_to(prefix.resolve())


def test_pip_builds_a_wheel_offline_that_any_venv_installs_and_that_finds_the_library_by_pkg_config(
        prefix, tmp_path, samples):
    # The wheel is built from a copy, so that pip's build stays out of the
    # tree, with this Python's setuptools and wheel; the venv has neither,
    # nor pip: this Python's pip installs into it.
    source = tmp_path / "source"
    shutil.copytree(Path(tqdudade.__file__).parents[1], source, ignore=shutil.ignore_patterns("tests", "__pycache__"))
    pip = [sys.executable, "-m", "pip", "-q"]
    subprocess.run([*pip, "wheel", "--no-build-isolation", "--no-index", "-w", tmp_path / "dist", source], check=True)
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--without-pip", venv], check=True)
    [wheel] = (tmp_path / "dist").glob("tqdudade-*-py3-none-any.whl")
    subprocess.run([*pip, "--python", venv / "bin/python", "install", "--no-index", wheel], check=True)
    [package] = venv.glob("lib/python3*/site-packages/tqdudade")
    assert not (package / "_installed.py").exists()
    [pc] = prefix.rglob("dwgtext.pc")
    texts, library = texts_and_library(venv / "bin/python", samples[0], tmp_path, PKG_CONFIG_PATH=str(pc.parent))
    assert texts == str(tqdudade.texts(samples[0]))
    # A copy the system's loader finds (bash scripts/demo.sh installs one) comes first.
    assert library.is_relative_to(prefix.resolve()) or ctypes.util.find_library("dwgtext")


def test_a_missing_library_names_what_to_install(monkeypatch, tmp_path):
    monkeypatch.setenv(_capi.ENVIRONMENT_VARIABLE, str(tmp_path / "libdwgtext.so.1"))
    with pytest.raises(_capi.LibraryNotFound, match="install the tqdudade .deb.*cmake --install"):
        _capi.load()
