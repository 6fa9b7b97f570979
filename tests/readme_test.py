#!/usr/bin/env python3
"""Runs every ```sh block of the README as written, each in a fresh folder
that holds the samples, with the build's dwgtext, dwgtext-pre, libdwgtext
and the Python package of the checkout: a command a newcomer copies must
work. A block right after a line `<!-- readme-test: skip (why) -->` is left
out: it installs system-wide, runs every test or needs another system.
No block, run or not, may start a program of build/test, which only the
test command builds: a reader has the installed programs.

    readme_test.py README BIN_DIR LIBDWGTEXT SOURCE_DIR
"""
import os
import re
import subprocess
import sys
import tempfile
from pathlib import Path

BLOCK = re.compile(r"(<!-- readme-test: skip[^\n]*-->\n)?```sh\n(.*?)```", re.S)


def main():
    readme, bin_dir, library, source = sys.argv[1:5]
    blocks = [(skip, body) for skip, body in BLOCK.findall(Path(readme).read_text())]
    run = [body for skip, body in blocks if not skip]
    environment = dict(os.environ, PATH=f"{bin_dir}{os.pathsep}{os.environ['PATH']}",
                       PYTHONPATH=str(Path(source) / "python"), TQDUDADE_DWGTEXT_LIBRARY=library,
                       PYTHONDONTWRITEBYTECODE="1")
    failures = sum(print(f"FAILED (names a program of build/test):\n{body}") or 1
                   for _, body in blocks if "build/test/" in body)
    for body in run:
        with tempfile.TemporaryDirectory(prefix="readme-test-") as folder:
            os.symlink(Path(source) / "samples", Path(folder) / "samples")
            result = subprocess.run(["bash", "-e", "-c", body], cwd=folder, env=environment, capture_output=True,
                                    text=True, timeout=120)
        if result.returncode != 0:
            failures += 1
            print(f"FAILED (exit {result.returncode}):\n{body}{result.stdout}{result.stderr}")
    print(f"{len(run)} blocks run, {len(blocks) - len(run)} skipped, {failures} failed")
    sys.exit(1 if failures or not run else 0)


if __name__ == "__main__":
    main()
