"""Reads many drawings on a Dask cluster and writes their texts as JSON Lines.

    /usr/bin/python3 -m tqdudade.batch DIR_OR_LIST... --out texts.jsonl
                                       [--scheduler ADDRESS] [--partition-size N]

Each argument is a directory (its *.dwg files below it, any letter case, in
path order), a drawing (a file named *.dwg) or a list of drawings (any
other file: one path a line). Without --scheduler a local cluster starts
with one worker process per core; with it, the drawings are read on the
cluster at ADDRESS, whose workers must see the same paths and have this
package and its library installed.

The drawings go to the workers in partitions, one task each. Every drawing
gives one line of --out, in the order they finish, with the fields of
``dwgtext --json``'s per-file record ("file", "version", "status", "texts",
the number of texts, "reports", and "error" when it was not read) and its
texts, a list of strings, in "strings".

A drawing whose reading raises is read once more on another worker, in a
child process there. When a task's worker dies, its drawings are read
again in a child process, where one that crashes its reader takes no other
with it, and one that fails there is read once more on another worker. A
drawing that fails at that last try is recorded with status "failed" and
its error. The batch goes on either way. Standard output shows Dask's progress bar on a terminal, then one line: files,
texts, files not read by status, and drawing bytes read per second. The
exit status is 0 when every drawing was read, 1 when one was not, 2 for a
wrong command line or a list that cannot be read.
"""
from __future__ import annotations

import argparse
import contextlib
import json
import logging
import os
import sys
import threading
import time
from collections import Counter
from dataclasses import dataclass, field
from pathlib import Path
from typing import Iterable, Iterator, TextIO

import dask
from distributed import Client, Future, LocalCluster, as_completed, get_worker, progress

from .._records import Input, Outcome, Reader, attempt, attempt_in_children, failed_record, read_record


def read_task(inputs: list[Input], read: Reader, apart: bool) -> tuple[str, list[Outcome]]:
    """One task: the drawings one after the other, in the worker's process
    or each in a child process; and the worker's address."""
    outcomes = attempt_in_children(read, inputs) if apart else [attempt(read, name, path) for name, path in inputs]
    return get_worker().address, outcomes


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


class Batch:
    """Reads drawings on a Dask client and writes each record as it comes."""

    def __init__(self, client: Client, out: TextIO, read: Reader = read_record):
        self.client = client
        self.out = out
        self.read = read
        self.summary = Summary()
        self.pending = as_completed()
        self.tasks: dict[str, Task] = {}

    def run(self, inputs: list[Input], partition_size: int, show_progress: bool = False) -> Summary:
        start = time.monotonic()
        partitions = [inputs[i:i + partition_size] for i in range(0, len(inputs), partition_size)]
        futures = self.client.map(read_task, partitions, read=self.read, apart=False, pure=False)
        self.tasks = {future.key: Task(partition) for future, partition in zip(futures, partitions)}
        self.pending.update(futures)
        bar = _progress_bar(futures) if show_progress and futures else None
        for future in self.pending:
            self._done(future, self.tasks.pop(future.key))
            future.release()
        if bar is not None:
            bar.join()
        self.summary.seconds = time.monotonic() - start
        return self.summary

    def _submit(self, task: Task, avoid: str | None = None) -> None:
        # The other workers are preferred, not required: they may all go
        # away before the task runs.
        others = [worker for worker in self.client.scheduler_info()["workers"] if worker != avoid]
        restriction = {"workers": others, "allow_other_workers": True} if avoid and others else {}
        future = self.client.submit(read_task, task.drawings, self.read, task.apart, pure=False, **restriction)
        self.tasks[future.key] = task
        self.pending.add(future)

    def _done(self, future: Future, task: Task) -> None:
        if future.status != "finished":
            self._lost(future, task)
            return
        worker, outcomes = future.result()
        failed = []
        for drawing, outcome in zip(task.drawings, outcomes):
            if outcome.record is not None:
                self._write(outcome.record, outcome.size)
            elif task.last:
                self._write(failed_record(drawing[0], outcome.error), outcome.size)
            else:
                failed.append(drawing)
        if failed:
            self._submit(Task(failed, apart=True, last=True), avoid=worker)

    def _lost(self, future: Future, task: Task) -> None:
        if not task.apart:
            # Its worker died, perhaps for one of these drawings: read each
            # in a child process, where it can kill no other.
            self._submit(Task(task.drawings, apart=True))
        elif task.losses < LOSSES:
            self._submit(Task(task.drawings, apart=True, last=task.last, losses=task.losses + 1))
        else:
            for name, _ in task.drawings:
                self._write(failed_record(name, f"its task was lost with its worker: {future.exception()!r}"), 0)

    def _write(self, record: dict, size: int) -> None:
        self.out.write(json.dumps(record, ensure_ascii=False) + "\n")
        self.summary.add(record, size)


def _progress_bar(futures: list[Future]) -> threading.Thread:
    bar = threading.Thread(target=progress, args=(futures,), kwargs={"multi": False}, daemon=True)
    bar.start()
    return bar


def drawings_below(directory: Path) -> list[Path]:
    """The *.dwg files below a directory, any letter case, in path order."""
    return sorted(path for path in directory.rglob("*") if path.suffix.lower() == ".dwg" and path.is_file())


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
            paths = [line for line in place.read_text().splitlines() if line.strip()]
        inputs.extend((path, os.path.abspath(path)) for path in paths)
    return inputs


@contextlib.contextmanager
def local_client() -> Iterator[Client]:
    """A client of a new cluster on this machine, closed after use: one
    worker process per core, one thread each. Its scheduler gives up on a
    task at the first worker that dies under it, as the batch then tries
    the task's drawings again itself."""
    with dask.config.set({"distributed.scheduler.allowed-failures": 0}):
        cluster = LocalCluster(n_workers=os.cpu_count() or 1, threads_per_worker=1, processes=True,
                               dashboard_address=None, silence_logs=logging.ERROR)
    with cluster, Client(cluster) as client:
        yield client


def parse_arguments(argv: list[str] | None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog="python3 -m tqdudade.batch",
        description="Read the texts of many DWG drawings on a Dask cluster into JSON Lines.")
    parser.add_argument("inputs", nargs="+", metavar="DIR_OR_LIST",
                        help="a directory of drawings, a drawing, or a file listing drawings one a line")
    parser.add_argument("--out", required=True, help="the JSON Lines file to write")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="the scheduler of a running Dask cluster (default: start one on this machine)")
    parser.add_argument("--partition-size", type=int, default=100, metavar="N",
                        help="drawings per task (default: 100)")
    arguments = parser.parse_args(argv)
    if arguments.partition_size < 1:
        parser.error("--partition-size must be at least 1")
    return arguments


def main(argv: list[str] | None = None) -> int:
    arguments = parse_arguments(argv)
    try:
        inputs = gather_inputs(arguments.inputs)
        out = open(arguments.out, "w", encoding="utf-8")
    except OSError as error:
        print(f"tqdudade.batch: {error}", file=sys.stderr)
        return 2
    with out, (Client(arguments.scheduler) if arguments.scheduler else local_client()) as client:
        summary = Batch(client, out).run(inputs, arguments.partition_size, sys.stdout.isatty())
    print(summary.line())
    return 0 if not summary.not_read else 1
