"""The batch on a Dask cluster (--scheduler): the same tasks, records,
retries and summary as the local pool, with Dask's progress bar on a
terminal. Importing this module imports Dask."""
from __future__ import annotations

import sys
import threading
import time
from typing import TextIO

from distributed import Client, Future, as_completed, get_worker, progress

from .._records import Input, Outcome, Reader, read_record
from . import ClusterUnusable, Run, Summary, Task, read_drawings


def dask_task(inputs: list[Input], read: Reader, apart: bool) -> tuple[str, list[Outcome]]:
    """One task on a Dask worker: its outcomes and the worker's address."""
    return get_worker().address, read_drawings(inputs, read, apart)


class DaskRun(Run):
    """Reads drawings on a Dask client and writes each record as it comes."""

    def __init__(self, client: Client, out: TextIO, read: Reader = read_record, **kwargs):
        super().__init__(out, read, **kwargs)
        self.client = client
        self.pending = as_completed()
        self.tasks: dict[str, Task] = {}

    def run(self, inputs: list[Input], partition_size: int, show_progress: bool = False) -> Summary:
        start = time.monotonic()
        partitions = self.partitions(inputs, partition_size)
        futures = self.client.map(dask_task, partitions, read=self.read, apart=False, pure=False)
        self.tasks = {future.key: Task(partition) for future, partition in zip(futures, partitions)}
        self.pending.update(futures)
        bar = _progress_bar(futures) if show_progress and futures else None
        for future in self.pending:
            task = self.tasks.pop(future.key)
            if future.status == "finished":
                self.finished(task, *future.result())
            else:
                self.lost(task, _why(future))
            future.release()
        if bar is not None:
            bar.join()
        self.summary.seconds = time.monotonic() - start
        return self.summary

    def submit(self, task: Task, avoid: object = None) -> None:
        # The other workers are preferred, not required: they may all go
        # away before the task runs.
        others = [worker for worker in self.client.scheduler_info()["workers"] if worker != avoid]
        restriction = {"workers": others, "allow_other_workers": True} if avoid and others else {}
        future = self.client.submit(dask_task, task.drawings, self.read, task.apart, pure=False, **restriction)
        self.tasks[future.key] = task
        self.pending.add(future)


def _why(future: Future) -> str:
    """The lost task's error in a few words; retrieving it also keeps asyncio
    from complaining that nobody did."""
    try:
        error = future.exception(timeout=10)
    except Exception as failure:  # the scheduler may have forgotten it by now
        error = failure
    return f"{type(error).__name__}: {error}" if error is not None else "no result"


def _progress_bar(futures: list[Future]) -> threading.Thread:
    bar = threading.Thread(target=progress, args=(futures,), kwargs={"multi": False}, daemon=True)
    bar.start()
    return bar


def check_workers(client: Client, read: Reader) -> None:
    """A worker that cannot unpickle a task dies of it, and a cluster left
    without workers keeps the batch waiting for ever. So every worker first
    imports what a task names, this package and the reader's module (a
    builtin, exec, carries the import), and the batch stops if one cannot."""
    package = __name__.partition(".")[0]
    for module in sorted({package, read.__module__} - {"__main__"}):
        try:
            client.run(exec, f"import {module}")
        except Exception as error:  # whatever the import raised on the worker
            raise ClusterUnusable(f"a worker of the cluster cannot import {module} ({type(error).__name__}: "
                                  f"{error}); install it on every worker") from None


def run_on_cluster(address: str, inputs: list[Input], out: TextIO, partition_size: int,
                   read: Reader = read_record, out_name: str = "--out") -> Summary:
    """The batch on the cluster whose scheduler is at address."""
    try:
        client = Client(address)
    except OSError as error:
        raise ClusterUnusable(f"no Dask scheduler at {address}: {error}") from None
    with client:
        check_workers(client, read)
        return DaskRun(client, out, read, out_name=out_name).run(inputs, partition_size, sys.stdout.isatty())
