"""The package that cmake --install places finds the library installed
beside it, with no help from the environment."""
import os
import subprocess
import sys
from pathlib import Path

import tqdudade

# Prints a drawing's texts and the library file that gave them.
PROGRAM = "import sys, tqdudade, tqdudade._drawing as d; print(tqdudade.texts(sys.argv[1])); print(d._library()._name)"


def test_cmake_install_places_a_package_that_finds_its_library(pytestconfig, tmp_path, samples):
    prefix = tmp_path / "prefix"
    subprocess.run([pytestconfig.getoption("--cmake"), "--install", pytestconfig.getoption("--build"),
                    "--prefix", str(prefix)], check=True, stdout=subprocess.DEVNULL)
    [package] = prefix.glob("lib/python3*/*-packages/tqdudade")
    environment = {key: value for key, value in os.environ.items() if key != "TQDUDADE_DWGTEXT_LIBRARY"}
    environment["PYTHONPATH"] = str(package.parent)
    run = subprocess.run([sys.executable, "-c", PROGRAM, str(samples[0])], cwd=tmp_path, env=environment,
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    texts, library = run.stdout.splitlines()
    assert texts == str(tqdudade.texts(samples[0]))
    assert Path(library).resolve().is_relative_to(prefix.resolve())
