"""Reads many drawings and writes their texts as JSON Lines.

    /usr/bin/python3 -m tqdudade.batch DIR_OR_LIST... --out FILE|-
                                       [--scheduler ADDRESS] [--partition-size N]

Each argument is a directory (its *.dwg files below it, any letter case, in
path order), a drawing (a file named *.dwg) or a list of drawings (any
other file: one path a line). Without --scheduler the drawings are read in
a pool of processes on this machine, one per core, through the C API; with
it, on the Dask cluster at ADDRESS (tqdudade.batch.dask_run), whose workers
must see the same paths and have this package and its library installed.
Only --scheduler imports Dask.

The drawings go to the workers in partitions, one task each. Every drawing
gives one line of --out ("-": standard output), in the order they finish,
with the fields of ``dwgtext --json``'s per-file record ("file", "version",
"status", "texts", the number of texts, "reports", and "error" when it was
not read) and its texts, a list of strings, in "strings". A file name
keeps its bytes: one that is not UTF-8 has each byte that does not decode
written as the escape \\udcXX (Python's surrogateescape), so that
``os.fsencode(json.loads(line)["file"])`` gives the name's bytes back.

A drawing whose reading raises is read once more on another worker, in a
child process there. When a task's worker dies, its drawings are read
again in child processes, where one that crashes its reader takes no other
with it, and one that fails there is read once more. A drawing that fails
at that last try is recorded with status "failed" and its error. The batch
goes on either way and says once on standard error that a worker died.
At the end one line sums up on standard output (standard error with
--out -): files, texts, files not read by status, and drawing bytes read
per second. The exit status is 0 when every drawing was read, 1 when one
was not or --out could not be written, 2 for a wrong command line, a list
that cannot be read, or a cluster that cannot run the batch (its scheduler
out of reach, or a worker that cannot import this package or the
--reader's module).
"""
from __future__ import annotations

import argparse
import json
import os
import re
import stat
import sys
import time
from collections import Counter
from concurrent.futures import FIRST_COMPLETED, Future, ProcessPoolExecutor, wait
from concurrent.futures.process import BrokenProcessPool
from dataclasses import dataclass, field
from pathlib import Path
from typing import Iterable, TextIO

from .._records import Input, Outcome, Reader, attempt, attempt_in_children, failed_record, read_record

PROGRAM = "tqdudade.batch"

# A list that is a pipe or a device is read up to this many bytes.
LIST_LIMIT = 64 << 20


def read_drawings(inputs: list[Input], read: Reader, apart: bool) -> list[Outcome]:
    """The drawings one after the other, in this process or each in a
    child process."""
    return attempt_in_children(read, inputs) if apart else [attempt(read, name, path) for name, path in inputs]


def pool_task(inputs: list[Input], read: Reader, apart: bool) -> tuple[int, list[Outcome]]:
    """One task of the local pool: its outcomes and the worker's process id."""
    return os.getpid(), read_drawings(inputs, read, apart)


@dataclass
class Summary:
    """Counts of a batch, for its closing line."""

    files: int = 0
    texts: int = 0
    bytes: int = 0
    seconds: float = 0.0
    not_read: Counter = field(default_factory=Counter)

    def add(self, record: dict, size: int) -> None:
        self.files += 1
        self.texts += record["texts"]
        self.bytes += size
        if record["status"] != "read":
            self.not_read[record["status"]] += 1

    def line(self) -> str:
        kinds = ", ".join(f"{count} {status}" for status, count in sorted(self.not_read.items()))
        rate = self.bytes / self.seconds / 1e6 if self.seconds > 0 else 0.0
        return (f"{self.files} files, {self.texts} texts, {sum(self.not_read.values())} not read"
                + (f" ({kinds})" if kinds else "") + f", {rate:.1f} MB/s")


class ClusterUnusable(Exception):
    """The Dask cluster cannot run the batch: nothing was submitted."""


class OutputFailed(Exception):
    """--out could not be written."""

    def __init__(self, name: str, error: OSError):
        super().__init__(f"{name}: {error.strerror or error}")


_LONE_SURROGATE = re.compile("[\ud800-\udfff]")


def json_line(record: dict) -> str:
    """The record as one line of JSON in UTF-8: characters as they are, but
    the lone surrogates of a name's undecodable bytes as \\udcXX escapes."""
    text = json.dumps(record, ensure_ascii=False)
    return _LONE_SURROGATE.sub(lambda match: f"\\u{ord(match.group()):04x}", text) + "\n"


# How often a task whose drawings are read in child processes may be lost
# with a worker, which then died for another reason than its drawings,
# before they are recorded as failed.
LOSSES = 3


@dataclass
class Task:
    """Drawings sent to a worker together, and what a failure there means."""

    drawings: list[Input]
    apart: bool = False  # each drawing in a child process, as after a worker died
    last: bool = False   # a drawing that fails now is recorded as failed
    losses: int = 0


class Run:
    """What both ways of running share: records written as they come, the
    drawings of a failed or lost task tried again, the summary. A subclass
    submits tasks and calls finished or lost for each."""

    def __init__(self, out: TextIO, read: Reader = read_record, out_name: str = "--out"):
        self.out = out
        self.out_name = out_name
        self.read = read
        self.summary = Summary()
        self.deaths_told = False

    def submit(self, task: Task, avoid: object = None) -> None:
        raise NotImplementedError

    def partitions(self, inputs: list[Input], size: int) -> list[list[Input]]:
        return [inputs[i:i + size] for i in range(0, len(inputs), size)]

    def finished(self, task: Task, worker: object, outcomes: list[Outcome]) -> None:
        failed = []
        for drawing, outcome in zip(task.drawings, outcomes):
            if outcome.record is not None:
                self.write(outcome.record, outcome.size)
            elif task.last:
                self.write(failed_record(drawing[0], outcome.error), outcome.size)
            else:
                failed.append(drawing)
        if failed:
            self.submit(Task(failed, apart=True, last=True), avoid=worker)

    def lost(self, task: Task, why: str) -> None:
        """The task's worker died, perhaps for one of its drawings: each is
        read again in a child process, where it can kill no other."""
        if not self.deaths_told:
            self.deaths_told = True
            print(f"{PROGRAM}: a worker died ({why}); the drawings it had are read again one by one",
                  file=sys.stderr, flush=True)
        if not task.apart:
            self.submit(Task(task.drawings, apart=True))
        elif task.losses < LOSSES:
            self.submit(Task(task.drawings, apart=True, last=task.last, losses=task.losses + 1))
        else:
            for name, _ in task.drawings:
                self.write(failed_record(name, f"its task was lost with its worker ({why})"), 0)

    def write(self, record: dict, size: int) -> None:
        try:
            self.out.write(json_line(record))
        except OSError as error:
            raise OutputFailed(self.out_name, error) from None
        self.summary.add(record, size)


class LocalRun(Run):
    """The drawings read in a pool of processes on this machine."""

    def __init__(self, out: TextIO, read: Reader = read_record, workers: int | None = None, **kwargs):
        super().__init__(out, read, **kwargs)
        self.workers = workers or os.cpu_count() or 1
        self.pool = ProcessPoolExecutor(self.workers)
        self.pending: dict[Future, tuple[Task, ProcessPoolExecutor]] = {}

    def run(self, inputs: list[Input], partition_size: int) -> Summary:
        start = time.monotonic()
        try:
            for partition in self.partitions(inputs, partition_size):
                self.submit(Task(partition))
            while self.pending:
                done, _ = wait(self.pending, return_when=FIRST_COMPLETED)
                for future in done:
                    self.collect(future, *self.pending.pop(future))
        finally:
            for future in self.pending:
                future.cancel()
            self.pool.shutdown(wait=True, cancel_futures=True)
        self.summary.seconds = time.monotonic() - start
        return self.summary

    def submit(self, task: Task, avoid: object = None) -> None:
        self.pending[self.pool.submit(pool_task, task.drawings, self.read, task.apart)] = (task, self.pool)

    def collect(self, future: Future, task: Task, pool: ProcessPoolExecutor) -> None:
        try:
            worker, outcomes = future.result()
        except BrokenProcessPool:
            if pool is self.pool:
                # Every task of a broken pool is lost: go on in a new one.
                self.pool.shutdown(wait=False)
                self.pool = ProcessPoolExecutor(self.workers)
            self.lost(task, "a process of the pool ended abruptly")
            return
        self.finished(task, worker, outcomes)


def drawings_below(directory: Path) -> list[Path]:
    """The *.dwg files below a directory, any letter case, in path order."""
    return sorted(path for path in directory.rglob("*") if path.suffix.lower() == ".dwg" and path.is_file())


def read_list(place: Path) -> list[str]:
    """The paths of a list, one a line, as bytes decoded the way the system
    decodes file names. A pipe or a device is read up to LIST_LIMIT bytes."""
    with open(place, "rb") as listed:
        regular = stat.S_ISREG(os.fstat(listed.fileno()).st_mode)
        content = listed.read() if regular else listed.read(LIST_LIMIT + 1)
    if len(content) > LIST_LIMIT and not regular:
        raise OSError(f"{place}: a list longer than {LIST_LIMIT} bytes")
    return [os.fsdecode(line) for line in content.splitlines() if line.strip()]


def gather_inputs(arguments: Iterable[str]) -> list[Input]:
    """Each argument's drawings, named as ``dwgtext -r`` names them, with
    their absolute paths."""
    inputs = []
    for argument in arguments:
        place = Path(argument)
        if place.is_dir():
            paths = [str(path) for path in drawings_below(place)]
        elif place.suffix.lower() == ".dwg":
            paths = [argument]
        else:
            paths = read_list(place)
        inputs.extend((path, os.path.abspath(path)) for path in paths)
    return inputs


def parse_arguments(argv: list[str] | None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog="python3 -m tqdudade.batch",
        description="Read the texts of many DWG drawings into JSON Lines, in processes on this machine "
                    "or on a Dask cluster.")
    parser.add_argument("inputs", nargs="+", metavar="DIR_OR_LIST",
                        help="a directory of drawings, a drawing, or a file listing drawings one a line")
    parser.add_argument("--out", required=True, help="the JSON Lines file to write; - for standard output")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="the scheduler of a running Dask cluster (default: a pool of processes here)")
    parser.add_argument("--partition-size", type=int, default=100, metavar="N",
                        help="drawings per task (default: 100)")
    parser.add_argument("--workers", type=int, metavar="N",
                        help="processes of the local pool (default: one per core)")
    # For tests: read with another reader, MODULE:FUNCTION.
    parser.add_argument("--reader", help=argparse.SUPPRESS)
    arguments = parser.parse_args(argv)
    if arguments.partition_size < 1:
        parser.error("--partition-size must be at least 1")
    if arguments.workers is not None and arguments.workers < 1:
        parser.error("--workers must be at least 1")
    return arguments


def _reader(name: str | None) -> Reader:
    if name is None:
        return read_record
    import importlib
    module, _, function = name.partition(":")
    return getattr(importlib.import_module(module), function)


def _run(arguments: argparse.Namespace, inputs: list[Input], out: TextIO, out_name: str) -> Summary:
    read = _reader(arguments.reader)
    if arguments.scheduler:
        from .dask_run import run_on_cluster
        return run_on_cluster(arguments.scheduler, inputs, out, arguments.partition_size, read, out_name)
    return LocalRun(out, read, arguments.workers, out_name=out_name).run(inputs, arguments.partition_size)


def main(argv: list[str] | None = None) -> int:
    arguments = parse_arguments(argv)
    to_stdout = arguments.out == "-"
    out_name = "standard output" if to_stdout else arguments.out
    try:
        inputs = gather_inputs(arguments.inputs)
        out = sys.stdout if to_stdout else open(arguments.out, "w", encoding="utf-8")
    except OSError as error:
        print(f"{PROGRAM}: {error}", file=sys.stderr)
        return 2
    try:
        try:
            summary = _run(arguments, inputs, out, out_name)
            out.flush()
        finally:
            if not to_stdout:
                out.close()
    except ClusterUnusable as error:
        print(f"{PROGRAM}: {error}", file=sys.stderr)
        return 2
    except (OSError, OutputFailed) as error:
        message = error if isinstance(error, OutputFailed) else f"{out_name}: {error.strerror or error}"
        print(f"{PROGRAM}: {message}", file=sys.stderr)
        if to_stdout:
            # What is left in the buffer would fail again at exit.
            os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    print(summary.line(), file=sys.stderr if to_stdout else sys.stdout)
    return 0 if not summary.not_read else 1
