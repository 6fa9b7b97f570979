"""A reader for the batch tests, importable by name in the batch's worker and
child processes: it reads as the batch does, but crashes its process or
raises at the drawings whose names ask for it, every time or at the first
try only."""
import os
import sys
from pathlib import Path

from tqdudade import _records
from tqdudade._records import read_record


def unreliable_reader(name: str, path: str) -> dict:
    stem = Path(path).stem
    if stem.startswith("crash-always"):
        os.abort()
    if stem.endswith("-once") and not Path(path + ".tried").exists():
        Path(path + ".tried").touch()
        if stem.startswith("kill"):
            os.kill(os.getpid(), 9)
        if stem.startswith("crash"):
            os.abort()
        raise RuntimeError("flaky storage")
    return read_record(name, path)


def slow_reader(name: str, path: str) -> dict:
    """Reads as the batch does, a twentieth of a second a drawing: a batch
    that is still under way when a test signals it."""
    import time
    time.sleep(0.05)
    return read_record(name, path)


# How often this process looked the library's calls up: worker_reader tells.
_lookups = 0
_look_up = _records._Calls.__init__


def _counted_look_up(calls) -> None:
    global _lookups
    _lookups += 1
    _look_up(calls)


_records._Calls.__init__ = _counted_look_up


def worker_reader(name: str, path: str) -> dict:
    """Reads as the batch does, and adds to the record the process that
    read it and how often that process looked the library's calls up."""
    record = read_record(name, path)
    record["pid"] = os.getpid()
    record["lookups"] = _lookups
    return record


def worker_killer(name: str, path: str) -> dict:
    """Kills the batch's worker at every try, from the worker itself or from
    the child process reading for it, and counts the tries in path.tries."""
    with open(path + ".tries", "a") as tries:
        tries.write("x")
    in_child = sys.modules["__main__"].__spec__.name == "tqdudade._records"
    os.kill(os.getppid() if in_child else os.getpid(), 9)
