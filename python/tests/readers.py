"""A reader for the batch tests, importable by name in the batch's worker and
child processes: it reads as the batch does, but crashes its process or
raises at the drawings whose names ask for it, every time or at the first
try only."""
import os
from pathlib import Path

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


def worker_reader(name: str, path: str) -> dict:
    """Reads as the batch does, and adds to the record the process that
    read it and the library calls it used: one set a process."""
    from tqdudade import _records
    record = read_record(name, path)
    record["pid"] = os.getpid()
    record["calls"] = None if _records._calls is None else id(_records._calls)
    return record
