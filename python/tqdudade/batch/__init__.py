"""Reads many drawings and writes their texts as JSON Lines.

    /usr/bin/python3 -m tqdudade.batch DIR_OR_LIST... --out FILE|-
                                       [--scheduler ADDRESS] [--partition-size N]

Each argument is a directory (its *.dwg and *.dxf files below it, any letter
case, in path order), a drawing (a file named so) or a list of drawings (any
other file: one path a line). Without --scheduler the drawings are read
through the C API: in this process when they are little work (less than
starting a worker costs; not with --workers), else in a pool of processes
on this machine, up to one per core, each started when there is a task for
it; with
it, on the Dask cluster at ADDRESS (tqdudade.batch.dask_run), whose workers
must see the same paths and have this package and its library installed.
Only --scheduler imports Dask.

The drawings go to the workers in partitions, one task each (by default
so that each local worker gets about four, at most 100 drawings a task). Every drawing
gives one line of --out ("-": standard output), in the order they finish,
with the fields of ``dwgtext --json``'s per-file record ("file", "version",
"status", "texts", the number of texts, "reports", "properties", the
document properties, and "error" when it was not read) and its texts, a list of strings, in "strings". A file name
keeps its bytes: one that is not UTF-8 has each byte that does not decode
written as the escape \\udcXX (Python's surrogateescape), so that
``os.fsencode(json.loads(line)["file"])`` gives the name's bytes back.

A drawing whose reading raises is read once more on another worker, in a
child process there. When a task's worker dies, its drawings are read
again in child processes, where one that crashes its reader takes no other
with it, and one that fails there is read once more. A drawing that fails
at that last try is recorded with status "failed" and its error. The batch
goes on either way and says once on standard error that a worker died.

The local pool's workers end with the batch: on Linux the kernel kills a
worker whose batch died (even of SIGKILL), elsewhere it ends when it reads
its next task. SIGINT or SIGTERM ends the batch and its workers at once:
the lines written so far stay whole, the batch says on standard error how
many there are, and it ends of the signal.

At the end one line sums up on standard output (standard error with
--out -): files, texts, files not read by status, and drawing bytes read
per second. The exit status is 0 when every drawing was read, 1 when one
was not or --out could not be written, 2 for a wrong command line, a list
that cannot be read, or a cluster that cannot run the batch (its scheduler
out of reach, or a worker that cannot import this package or the
--reader's module). When the reader of --out goes away (``... | head``),
the batch and its workers end at once, quietly, of SIGPIPE.
"""
from __future__ import annotations

# Only what every run needs is imported here; the rest when it is used, so
# that the import stays cheap and the workers, forked from this process,
# start small.
import errno
import marshal  # the messages between the batch and its workers: the same Python at both ends
import os
import sys
import time

from .._records import Input, Outcome, Reader, attempt, attempt_in_children, failed_record, read_record

PROGRAM = "tqdudade.batch"

# A list that is a pipe or a device is read up to this many bytes.
LIST_LIMIT = 64 << 20

# Drawings a task holds at most, and about how many tasks each worker of
# the local pool gets when --partition-size is not given.
PARTITION_SIZE = 100
TASKS_PER_WORKER = 4

# The work of a batch the batch does itself, without a pool: drawing bytes,
# each drawing counting DRAWING_WORK more for opening it and making its
# record. A process reads small drawings at about 90 us each and large ones
# at about 350 MB/s, so this is about a tenth of a second, less than
# forking and preparing a worker costs.
HERE_WORK = 32 << 20
DRAWING_WORK = 32 << 10

# Tasks a worker of the local pool holds at once: the one it reads and the
# next, so that it never waits for the batch to take an answer and send
# another task.
TASKS_AHEAD = 2


def read_drawings(inputs: list[Input], read: Reader, apart: bool) -> list[Outcome]:
    """The drawings one after the other, in this process or each in a
    child process."""
    return attempt_in_children(read, inputs) if apart else [attempt(read, name, path) for name, path in inputs]


class Summary:
    """Counts of a batch, for its closing line."""

    def __init__(self):
        self.files = 0
        self.texts = 0
        self.bytes = 0
        self.seconds = 0.0
        self.not_read: dict[str, int] = {}

    def add(self, record: dict, size: int) -> None:
        self.files += 1
        self.texts += record["texts"]
        self.bytes += size
        if record["status"] != "read":
            self.not_read[record["status"]] = self.not_read.get(record["status"], 0) + 1

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
        self.errno = error.errno


class ReaderGone(Exception):
    """The reader of --out went away (a closed pipe: ``... | head``)."""


class Interrupted(BaseException):
    """SIGINT or SIGTERM came: the batch stops, with the lines written so far."""

    def __init__(self, signal_number: int):
        super().__init__(signal_number)
        self.signal_number = signal_number


class _Signals:
    """SIGINT and SIGTERM raise Interrupted, but never while a line is being
    written: then the line is finished first."""

    def __init__(self):
        self.caught: int | None = None
        self.writing = False
        self.run: Run | None = None  # the run under way, whose lines are counted

    def handle(self, number: int, frame) -> None:
        if self.caught is not None:  # stopping already
            return
        self.caught = number
        if not self.writing:
            raise Interrupted(number)

    def check(self) -> None:
        if self.caught is not None:
            raise Interrupted(self.caught)


_signals = _Signals()


def json_line(record: dict) -> bytes:
    """The record as one line of JSON in UTF-8, spaced as json.dumps spaces
    it: characters as they are, but the lone surrogates of a name's
    undecodable bytes (Python's surrogateescape) as the escapes \\udcXX, as
    ``dwgtext --json`` writes them: ``os.fsencode(json.loads(line)["file"])``
    gives the bytes back. Made here rather than by the json module, whose
    import (with its decoder's regular expressions) takes longer than a
    batch of a few drawings."""
    return _json(record).encode("utf-8", "backslashreplace") + b"\n"


# The characters a JSON string cannot hold as they are, and their escapes.
_ESCAPES = {**{code: f"\\u{code:04x}" for code in range(0x20)},
            ord('"'): '\\"', ord("\\"): "\\\\", ord("\n"): "\\n", ord("\r"): "\\r", ord("\t"): "\\t",
            ord("\b"): "\\b", ord("\f"): "\\f"}


def _json(value) -> str:
    """A record's value in JSON: the strings, whole numbers, None, lists
    and dictionaries with string keys that records are made of."""
    if isinstance(value, str):
        return '"' + value.translate(_ESCAPES) + '"'
    if isinstance(value, dict):
        return "{" + ", ".join(f"{_json(key)}: {_json(item)}" for key, item in value.items()) + "}"
    if isinstance(value, list):
        return "[" + ", ".join(map(_json, value)) + "]"
    if value is None:
        return "null"
    if type(value) is int:
        return int.__repr__(value)
    raise TypeError(f"a record holds {type(value).__name__}, which its line cannot")


# How often a task whose drawings are read in child processes may be lost
# with a worker, which then died for another reason than its drawings,
# before they are recorded as failed.
LOSSES = 3


class Task:
    """Drawings sent to a worker together, and what a failure there means."""

    def __init__(self, drawings: list[Input], apart: bool = False, last: bool = False, losses: int = 0):
        self.drawings = drawings
        self.apart = apart  # each drawing in a child process, as after a worker died
        self.last = last    # a drawing that fails now is recorded as failed
        self.losses = losses


class Run:
    """What both ways of running share: records written as they come, the
    drawings of a failed or lost task tried again, the summary. A subclass
    submits tasks and calls finished or lost for each. out is a binary
    stream."""

    def __init__(self, out, read: Reader = read_record, out_name: str = "--out"):
        self.out = out
        self.out_name = out_name
        self.read = read
        self.summary = Summary()
        self.deaths_told = False
        _signals.run = self

    def submit(self, task: Task, avoid: object = None) -> None:
        raise NotImplementedError

    def close(self, kill: bool = True) -> None:
        """Ends the processes the run started, if it started any."""

    def partitions(self, inputs: list[Input], size: int) -> list[list[Input]]:
        return [inputs[i:i + size] for i in range(0, len(inputs), size)]

    def finished(self, task: Task, worker: object, outcomes: list[Outcome]) -> None:
        failed = []
        for drawing, outcome in zip(task.drawings, outcomes):
            if outcome.record is not None:
                self.write(outcome.record, outcome.size, outcome.line)
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

    def write(self, record: dict, size: int, line: bytes | None = None) -> None:
        """Writes the record's line (made already, or here) and counts it."""
        line = line or json_line(record)
        _signals.writing = True
        try:
            # Standard output may be unbuffered (python3 -u), and then a
            # write may take part of the line only.
            rest = memoryview(line)
            while rest:
                rest = rest[self.out.write(rest) or 0:]
        except OSError as error:
            raise OutputFailed(self.out_name, error) from None
        finally:
            _signals.writing = False
        self.summary.add(record, size)
        _signals.check()


class HereRun(Run):
    """The drawings read in this process, one after the other, each line
    written as it is read: a batch whose work is less than starting a
    worker costs. A drawing whose reading raises is read once more in a
    child process, as the pool does."""

    def run(self, inputs: list[Input], partition_size: int | None = None) -> Summary:
        start = time.monotonic()
        _keep_freed_memory()
        for drawing in inputs:
            self.submit(Task([drawing]))
        self.summary.seconds = time.monotonic() - start
        return self.summary

    def submit(self, task: Task, avoid: object = None) -> None:
        self.finished(task, None, read_drawings(task.drawings, self.read, task.apart))


def little_work(inputs: list[Input]) -> bool:
    """Whether the drawings are less than HERE_WORK to read; the sizes are
    looked up only until they are not."""
    work = 0
    for _, path in inputs:
        try:
            work += os.stat(path).st_size + DRAWING_WORK
        except OSError:
            work += DRAWING_WORK
        if work > HERE_WORK:
            return False
    return True


class _Worker:
    """A process of the local pool, forked from the batch: it reads the
    tasks of its pipe, one at a time, and answers each on another, in
    order."""

    def __init__(self, read: Reader, others: list[_Worker]):
        tasks_read, self.tasks = os.pipe()
        self.results, results_write = os.pipe()
        self.sent: list[Task] = []  # not answered yet, the one it reads first
        batch = os.getpid()
        self.pid = os.fork()
        if self.pid == 0:
            status = 1
            try:
                os.close(self.tasks)
                os.close(self.results)
                for other in others:  # the batch's ends of the other workers' pipes
                    other.close_pipes()
                _serve(tasks_read, results_write, read, batch)
                status = 0
            except Exception:  # the batch sees the worker die; this says why
                import traceback
                traceback.print_exc()
            finally:
                os._exit(status)
        os.close(tasks_read)
        os.close(results_write)

    def send(self, task: Task) -> None:
        self.sent.append(task)
        try:
            _write_message(self.tasks, marshal.dumps((task.drawings, task.apart)))
        except BrokenPipeError:  # it died meanwhile: the end of its answers tells, and its tasks go again
            pass

    def receive(self) -> tuple[int, list[Outcome]] | None:
        """The answer to the task sent, or None when the worker died."""
        message = _read_message(self.results)
        if message is None:
            return None
        pid, answers = marshal.loads(message)
        outcomes = []
        for record, size, error, line in answers:
            outcome = Outcome(record, size, error)
            outcome.line = line
            outcomes.append(outcome)
        return pid, outcomes

    def close_pipes(self) -> None:
        for end in (self.tasks, self.results):
            try:
                os.close(end)
            except OSError:
                pass

    def end(self, kill: bool) -> int:
        """Ends the worker (at once when kill, else once it has read the end
        of its pipe) and gives its wait status."""
        if kill:
            import signal
            try:
                os.kill(self.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self.close_pipes()
        while True:
            try:
                return os.waitpid(self.pid, 0)[1]
            except ChildProcessError:
                return 0
            except InterruptedError:
                continue


def _serve(tasks: int, results: int, read: Reader, batch: int) -> None:
    """A worker's life: ends with the batch, lets the batch take SIGINT and
    SIGTERM, reads a task at a time and answers it."""
    import signal

    from .. import _records
    signal.signal(signal.SIGINT, signal.SIG_IGN)   # the batch decides, and kills its workers
    signal.signal(signal.SIGTERM, signal.SIG_DFL)
    _records.end_with_parent()
    _records.children_end_with_worker = True
    if os.getppid() != batch:  # the batch died before the signal was asked for
        return
    _keep_freed_memory()
    _records.prepare()  # while the batch sends the first tasks
    while (message := _read_message(tasks)) is not None:
        inputs, apart = marshal.loads(message)
        answers = []
        for outcome in read_drawings(inputs, read, apart):
            # The line is made here, on the worker's core; the batch needs
            # only what it counts.
            record, line = outcome.record, None
            if record is not None:
                line = json_line(record)
                record = {"status": record["status"], "texts": record["texts"]}
            answers.append((record, outcome.size, outcome.error, line))
        _write_message(results, marshal.dumps((os.getpid(), answers)))


def _keep_freed_memory() -> None:
    """Each drawing the library reads takes blocks that, freed, leave the
    top of glibc's heap free: glibc gives it back to the system, and the
    next drawing faults it in again, page by page, which took more time
    than the reading. A worker keeps it (M_TRIM_THRESHOLD, M_TOP_PAD)."""
    if not sys.platform.startswith("linux"):
        return
    import ctypes
    m_trim_threshold, m_top_pad = -1, -2
    try:
        libc = ctypes.CDLL(None)
        libc.mallopt(m_trim_threshold, 64 << 20)
        libc.mallopt(m_top_pad, 16 << 20)
    except (OSError, AttributeError):  # not glibc
        return


def _write_message(fd: int, message: bytes) -> None:
    view = memoryview(len(message).to_bytes(8, "little") + message)
    while view:
        view = view[os.write(fd, view):]


def _read_exactly(fd: int, size: int) -> bytes | None:
    parts = []
    while size > 0:
        part = os.read(fd, min(size, 1 << 20))
        if not part:
            return None
        parts.append(part)
        size -= len(part)
    return b"".join(parts)


def _read_message(fd: int) -> bytes | None:
    """A message of the pipe, or None at its end (the writer is gone)."""
    header = _read_exactly(fd, 8)
    return None if header is None else _read_exactly(fd, int.from_bytes(header, "little"))


class LocalRun(Run):
    """The drawings read in a pool of processes forked from this one, each
    taking a task at a time from its own pipe. A worker that dies loses its
    task alone, and a new one takes its place."""

    def __init__(self, out, read: Reader = read_record, workers: int | None = None, **kwargs):
        super().__init__(out, read, **kwargs)
        self.workers = workers or os.cpu_count() or 1
        self.queue: list[Task] = []
        self.pool: dict[int, _Worker] = {}  # by the file descriptor of its answers
        self.poll = None

    def start(self, count: int | None = None) -> None:
        """Starts count workers (all there may be) ahead of the tasks: they
        load the library meanwhile. The others start when there are tasks
        for them (dispatch)."""
        for _ in range(min(count or self.workers, self.workers) - len(self.pool)):
            self.add_worker()

    def add_worker(self) -> _Worker:
        import select
        if self.poll is None:
            self.poll = select.poll()
        worker = _Worker(self.read, list(self.pool.values()))
        self.pool[worker.results] = worker
        self.poll.register(worker.results, select.POLLIN | select.POLLHUP | select.POLLERR)
        return worker

    def close(self, kill: bool = True) -> None:
        """Ends the workers: at once when kill, else as each reads the end
        of its pipe."""
        for worker in self.pool.values():
            worker.end(kill)
        self.pool.clear()

    def run(self, inputs: list[Input], partition_size: int | None) -> Summary:
        start = time.monotonic()
        if partition_size is None:
            partition_size = local_partition_size(len(inputs), self.workers)
        try:
            for partition in self.partitions(inputs, partition_size):
                self.submit(Task(partition))
            while self.queue or any(worker.sent for worker in self.pool.values()):
                self.dispatch()
                for descriptor, _ in self.poll.poll():
                    worker = self.pool[descriptor]
                    answer = worker.receive()
                    if answer is None:
                        self.poll.unregister(descriptor)
                        del self.pool[descriptor]
                        status = worker.end(kill=True)
                        # It died reading its first task; the others wait again.
                        self.queue[:0] = worker.sent[1:]
                        if worker.sent:
                            self.lost(worker.sent[0], f"a process of the pool ended abruptly: {_ending(status)}")
                    else:
                        self.finished(worker.sent.pop(0), *answer)
        finally:
            # Done or stopped, the workers have nothing left to do: killed,
            # which ends them sooner than the end of their pipes would.
            self.close(kill=True)
        self.summary.seconds = time.monotonic() - start
        return self.summary

    def submit(self, task: Task, avoid: object = None) -> None:
        self.queue.append(task)

    def dispatch(self) -> None:
        """Gives the tasks waiting to the workers, an idle one first and up
        to TASKS_AHEAD each, starting workers up to the number asked for
        while there are more tasks than idle ones."""
        idle = sum(1 for worker in self.pool.values() if not worker.sent)
        while self.queue and idle < len(self.queue) and len(self.pool) < self.workers:
            self.add_worker()
            idle += 1
        for held in range(TASKS_AHEAD):
            for worker in list(self.pool.values()):
                if self.queue and len(worker.sent) == held:
                    worker.send(self.queue.pop(0))


def _ending(status: int) -> str:
    if os.WIFSIGNALED(status):
        import signal
        number = os.WTERMSIG(status)
        return signal.strsignal(number) or f"signal {number}"
    return f"exit status {os.waitstatus_to_exitcode(status)}"


def local_partition_size(drawings: int, workers: int) -> int:
    """Drawings a task of the local pool holds: about TASKS_PER_WORKER tasks
    for each worker, so that they end together, at most PARTITION_SIZE."""
    tasks = workers * TASKS_PER_WORKER
    return max(1, min(PARTITION_SIZE, -(-drawings // tasks)))


def _has_drawing_suffix(name: str) -> bool:
    return len(name) > 4 and name[-4:].lower() in (".dwg", ".dxf")


def drawings_below(directory: str) -> list[str]:
    """The *.dwg and *.dxf files below a directory, any letter case, in path order,
    named as ``dwgtext -r`` names them (the directory, a slash, the path
    below it); directories that are symbolic links are not entered."""
    found = []
    pending = [directory]
    while pending:
        folder = pending.pop()
        try:
            entries = list(os.scandir(folder))
        except OSError:
            continue
        prefix = folder if folder.endswith("/") else folder + "/"
        for entry in entries:
            try:
                if entry.is_dir(follow_symlinks=False):
                    pending.append(prefix + entry.name)
                elif _has_drawing_suffix(entry.name) and entry.is_file():
                    found.append(prefix + entry.name)
            except OSError:
                continue
    return sorted(found)


def read_list(place: str) -> list[str]:
    """The paths of a list, one a line, as bytes decoded the way the system
    decodes file names. A pipe or a device is read up to LIST_LIMIT bytes."""
    import stat
    with open(place, "rb") as listed:
        regular = stat.S_ISREG(os.fstat(listed.fileno()).st_mode)
        content = listed.read() if regular else listed.read(LIST_LIMIT + 1)
    if len(content) > LIST_LIMIT and not regular:
        raise OSError(f"{place}: a list longer than {LIST_LIMIT} bytes")
    return [os.fsdecode(line) for line in content.splitlines() if line.strip()]


def gather_inputs(arguments) -> list[Input]:
    """Each argument's drawings, named as ``dwgtext -r`` names them, with
    their absolute paths."""
    inputs = []
    for argument in arguments:
        if os.path.isdir(argument):
            paths = drawings_below(argument)
        elif _has_drawing_suffix(os.path.basename(argument.rstrip("/"))):
            paths = [argument]
        else:
            paths = read_list(argument)
        inputs.extend((path, os.path.abspath(path)) for path in paths)
    return inputs


# The options of the command line, by the name of their attribute, and the
# type of their values; every other argument is an input.
OPTIONS = {"out": str, "scheduler": str, "partition_size": int, "workers": int, "reader": str}


def parse_arguments(argv: list[str] | None):
    """The command line; argparse reads any that the quick reading does not."""
    return _quick_arguments(sys.argv[1:] if argv is None else argv) or _parsed_arguments(argv)


def _quick_arguments(argv: list[str]):
    """The command line read without argparse, whose import takes longer
    than a batch of a few drawings: only when every argument is an input or
    an option named whole, once, with a value that holds, --out given;
    else None."""
    import types
    values = dict.fromkeys(OPTIONS)
    inputs = []
    arguments = iter(argv)
    for argument in arguments:
        if not argument.startswith("-") or argument == "-":
            if inputs and inputs[-1] is None:  # argparse takes the inputs in one run
                return None
            inputs.append(argument)
            continue
        if inputs and inputs[-1] is not None:
            inputs.append(None)  # the run of inputs ends
        name, equals, value = argument.partition("=")
        key = name[2:].replace("-", "_")
        if not name.startswith("--") or key not in OPTIONS or values[key] is not None:
            return None
        if not equals:
            value = next(arguments, None)
            if value is None or (value.startswith("-") and value != "-"):
                return None
        if OPTIONS[key] is int:
            try:
                value = int(value)
            except ValueError:
                return None
            if value < 1:
                return None
        values[key] = value
    inputs = [argument for argument in inputs if argument is not None]
    if not inputs or values["out"] is None:
        return None
    return types.SimpleNamespace(inputs=inputs, **values)


def _parsed_arguments(argv: list[str] | None):
    import argparse
    parser = argparse.ArgumentParser(
        prog="python3 -m tqdudade.batch",
        description="Read the texts of many DWG drawings into JSON Lines, in processes on this machine "
                    "or on a Dask cluster.")
    parser.add_argument("inputs", nargs="+", metavar="DIR_OR_LIST",
                        help="a directory of drawings, a drawing, or a file listing drawings one a line")
    parser.add_argument("--out", required=True, help="the JSON Lines file to write; - for standard output")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="the scheduler of a running Dask cluster (default: a pool of processes here)")
    parser.add_argument("--partition-size", type=int, metavar="N",
                        help=f"drawings per task (default: about {TASKS_PER_WORKER} tasks per local worker, "
                             f"at most {PARTITION_SIZE} drawings; {PARTITION_SIZE} on a cluster)")
    parser.add_argument("--workers", type=int, metavar="N",
                        help="processes of the local pool (default: one per core)")
    # For tests: read with another reader, MODULE:FUNCTION.
    parser.add_argument("--reader", help=argparse.SUPPRESS)
    arguments = parser.parse_args(argv)
    if arguments.partition_size is not None and arguments.partition_size < 1:
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


def _run(arguments, inputs: list[Input], out, out_name: str, local: Run | None) -> Summary:
    if local is None:
        from .dask_run import run_on_cluster
        return run_on_cluster(arguments.scheduler, inputs, out, arguments.partition_size or PARTITION_SIZE,
                              _reader(arguments.reader), out_name)
    local.out, local.out_name = out, out_name
    return local.run(inputs, arguments.partition_size)


def _local_run(arguments, inputs: list[Input]) -> Run | None:
    """Where the drawings are read: None on the cluster, this process for
    little work with the library's reader, else a pool whose first worker
    starts now."""
    if arguments.scheduler:
        return None
    if arguments.reader is None and arguments.workers is None and little_work(inputs):
        return HereRun(None)
    local = LocalRun(None, _reader(arguments.reader), arguments.workers)
    local.start(1)
    return local


def _catch_signals() -> None:
    import signal
    for number in (signal.SIGINT, signal.SIGTERM):
        signal.signal(number, _signals.handle)


def _end_of_signal(number: int, out, to_stdout: bool) -> None:
    """After SIGINT or SIGTERM: the lines so far flushed, whole, a word on
    standard error, and the batch ends of the signal, as its sender expects."""
    import signal
    for each in (signal.SIGINT, signal.SIGTERM):
        signal.signal(each, signal.SIG_IGN)
    try:
        if out is not None:
            out.flush()
            if not to_stdout:
                out.close()
    except (OSError, ValueError):  # ValueError: closed already
        pass
    files = _signals.run.summary.files if _signals.run is not None else 0
    print(f"{PROGRAM}: stopped by {signal.Signals(number).name} after {files} drawings; "
          f"their lines are written whole", file=sys.stderr, flush=True)
    if to_stdout:
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
    signal.signal(number, signal.SIG_DFL)
    os.kill(os.getpid(), number)
    os._exit(128 + number)  # should the signal not end it


def main(argv: list[str] | None = None) -> int:
    _catch_signals()
    out = None
    to_stdout = False
    local = None
    try:
        arguments = parse_arguments(argv)
        to_stdout = arguments.out == "-"
        out_name = "standard output" if to_stdout else arguments.out
        try:
            inputs = gather_inputs(arguments.inputs)
            out = sys.stdout.buffer if to_stdout else open(arguments.out, "wb")
        except OSError as error:
            print(f"{PROGRAM}: {error}", file=sys.stderr)
            return 2
        local = _local_run(arguments, inputs)
        return _write_all(arguments, inputs, out, out_name, to_stdout, local)
    except Interrupted as interruption:
        if local is not None:
            local.close(kill=True)
        _end_of_signal(interruption.signal_number, out, to_stdout)
        raise  # not reached
    except ReaderGone:
        # Quietly, and of SIGPIPE, as a program that Python's start did not
        # make ignore it ends when its reader goes away.
        if local is not None:
            local.close(kill=True)
        import signal
        signal.signal(signal.SIGPIPE, signal.SIG_DFL)
        os.kill(os.getpid(), signal.SIGPIPE)
        raise  # not reached
    finally:
        if local is not None:
            local.close(kill=True)


def _write_all(arguments, inputs: list[Input], out, out_name: str, to_stdout: bool, local: Run | None) -> int:
    try:
        try:
            summary = _run(arguments, inputs, out, out_name, local)
            _signals.check()  # a signal that came while the last line was written
            out.flush()
        finally:
            if not to_stdout:
                out.close()
    except Interrupted:
        raise
    except ClusterUnusable as error:
        print(f"{PROGRAM}: {error}", file=sys.stderr)
        return 2
    except (OSError, OutputFailed) as error:
        if to_stdout:
            # What is left in the buffer would fail again at exit.
            os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        if error.errno == errno.EPIPE:
            raise ReaderGone() from None
        message = error if isinstance(error, OutputFailed) else f"{out_name}: {error.strerror or error}"
        print(f"{PROGRAM}: {message}", file=sys.stderr)
        return 1
    print(summary.line(), file=sys.stderr if to_stdout else sys.stdout)
    return 0 if not summary.not_read else 1
