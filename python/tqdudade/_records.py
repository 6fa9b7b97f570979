"""The records of a batch run: one per drawing, read in the worker's own
process at the first try and in child processes when it is tried again,
where a drawing that crashes its reader takes no other with it.

Run as ``python3 -m tqdudade._records MODULE:READER``, it is such a child:
it reads the [name, path] pairs of the JSON list on its standard input
with READER, and writes one JSON outcome a line as each is done.
"""
from __future__ import annotations

import importlib
import json
import os
import signal
import subprocess
import sys
from dataclasses import asdict, dataclass
from typing import Callable

from ._drawing import Drawing

Input = tuple[str, str]
"""A drawing to read: its name in the output and its absolute path."""

Reader = Callable[[str, str], dict]
"""Reads one drawing (name, path) into its record; a function at the top
level of its module, which a child process imports."""


def counted_reports(reports: list[str]) -> list[dict]:
    """Each distinct report once, in the order of its first time, with the
    number of times, as ``dwgtext --json`` lists them."""
    counts: dict[str, int] = {}
    for report in reports:
        counts[report] = counts.get(report, 0) + 1
    return [{"report": report, "count": count} for report, count in counts.items()]


def read_record(name: str, path: str) -> dict:
    """The record of one drawing: the fields of ``dwgtext --json``'s
    per-file record, with its texts in "strings"."""
    with Drawing(path) as drawing:
        strings = list(drawing.texts)
    record = {
        "file": name,
        "version": drawing.version,
        "status": drawing.status,
        "texts": len(strings),
        "reports": counted_reports(drawing.reports),
    }
    if drawing.status != "read":
        record["error"] = drawing.message
    record["strings"] = strings
    return record


def failed_record(name: str, error: str) -> dict:
    """The record of a drawing whose reading failed at its last try."""
    return {"file": name, "version": None, "status": "failed", "texts": 0, "reports": [], "error": error,
            "strings": []}


@dataclass
class Outcome:
    """What a try at a drawing gave: its record, or the error it raised;
    and its size in bytes."""

    record: dict | None
    size: int
    error: str | None = None


def attempt(read: Reader, name: str, path: str) -> Outcome:
    """Reads one drawing; an exception becomes the outcome's error."""
    try:
        size = os.path.getsize(path)
    except OSError:
        size = 0
    try:
        return Outcome(read(name, path), size)
    except Exception as error:
        return Outcome(None, size, f"{type(error).__name__}: {error}")


def attempt_in_children(read: Reader, inputs: list[Input]) -> list[Outcome]:
    """Reads the drawings in a child process; when the child dies, the
    drawing it was reading has that as its error, and a new child goes on
    with the rest."""
    outcomes: list[Outcome] = []
    while len(outcomes) < len(inputs):
        rest = inputs[len(outcomes):]
        outcomes += _run_child(read, rest)
    return outcomes


def _run_child(read: Reader, inputs: list[Input]) -> list[Outcome]:
    """The outcomes a child gave before it ended, the last one its death if
    it died before the end."""
    environment = dict(os.environ, PYTHONPATH=os.pathsep.join(path for path in sys.path if path))
    child = subprocess.run([sys.executable, "-m", "tqdudade._records", f"{read.__module__}:{read.__qualname__}"],
                           input=json.dumps(inputs), stdout=subprocess.PIPE, text=True, env=environment)
    found = [Outcome(**json.loads(line)) for line in child.stdout.splitlines()]
    if len(found) < len(inputs):
        found.append(Outcome(None, 0, f"its reader died while reading it ({_death(child.returncode)})"))
    return found


def _death(returncode: int) -> str:
    if returncode < 0:
        return signal.strsignal(-returncode) or f"signal {-returncode}"
    return f"exit status {returncode}"


def _child(reader: str) -> None:
    module, _, function = reader.partition(":")
    read = getattr(importlib.import_module(module), function)
    for name, path in json.load(sys.stdin):
        print(json.dumps(asdict(attempt(read, name, path)), ensure_ascii=False), flush=True)


if __name__ == "__main__":
    _child(sys.argv[1])
