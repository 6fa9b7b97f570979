"""The records of a batch run: one per drawing, read in the worker's own
process at the first try and in child processes when it is tried again,
where a drawing that crashes its reader takes no other with it.

Run as ``python3 -m tqdudade._records MODULE:READER``, it is such a child:
it reads the [name, path] pairs of the JSON list on its standard input
with READER, and writes one JSON outcome a line as each is done.

Importing it imports nothing beyond ``os`` and ``sys``: the batch's main
process needs its names, and only its workers read drawings (the library,
``ctypes`` and the rest come with the first drawing a worker reads).
"""
from __future__ import annotations

import os
import sys

Input = tuple[str, str]
"""A drawing to read: its name in the output and its absolute path."""

Reader = "Callable[[str, str], dict]"
"""Reads one drawing (name, path) into its record; a function at the top
level of its module, which a child process imports."""

# The library's report that an object's type is not known, as it spells it:
# "*** WARNING *** OBJCT TYPE[0x1f4] dosen't exist" (core/messages.h).
_UNKNOWN_OBJECT_TYPE = ("*** WARNING *** OBJCT TYPE[0x", "] dosen't exist")


def object_type(report: str) -> int | None:
    """The object type the library's report of an unknown object type names,
    as a number; None for every other report."""
    before, after = _UNKNOWN_OBJECT_TYPE
    if not (report.startswith(before) and report.endswith(after)):
        return None
    digits = report[len(before):len(report) - len(after)]
    if not digits or any(digit not in "0123456789abcdefABCDEF" for digit in digits):
        return None
    return int(digits, 16)


def counted_reports(reports: list[str]) -> list[dict]:
    """Each distinct report once, in the order of its first time, with the
    number of times, as ``dwgtext --json`` lists them; the report of an
    unknown object type also gives the type as a number, "object_type"."""
    counts: dict[str, int] = {}
    for report in reports:
        counts[report] = counts.get(report, 0) + 1
    listed = []
    for report, count in counts.items():
        entry = {"report": report, "count": count}
        number = object_type(report)
        if number is not None:
            entry["object_type"] = number
        listed.append(entry)
    return listed


def document_properties(library, handle) -> dict:
    """The drawing's document properties as ``dwgtext --json`` gives them:
    "title", "author", "created" and the rest where the drawing has them,
    "editingTime" in seconds, and the custom pairs in "custom" when there
    are any."""
    import ctypes

    from ._capi import PROPERTY_CUSTOM
    name, value = ctypes.c_char_p(), ctypes.c_char_p()
    standard: dict = {}
    custom: dict = {}
    for index in range(library.dwgtext_property_count(handle)):
        kind = library.dwgtext_property(handle, index, ctypes.byref(name), ctypes.byref(value))
        key, text = name.value.decode(), value.value.decode()
        if kind == PROPERTY_CUSTOM:
            custom[key] = text
        else:
            standard[key] = int(text) if key == "editingTime" else text
    if custom:
        standard["custom"] = custom
    return standard


class _Calls:
    """The library's calls a worker makes for every drawing, looked up once
    per process, and the library loaded once (its handle is the one
    tqdudade.Drawing uses, when that is loaded first)."""

    def __init__(self):
        import ctypes

        from . import _capi
        drawing = sys.modules.get(f"{__package__}._drawing")
        library = drawing._library() if drawing is not None else _capi.load()
        self.library = library
        self.open = library.dwgtext_open_path_limited
        self.next = library.dwgtext_next
        self.status = library.dwgtext_status
        self.version = library.dwgtext_version
        self.message = library.dwgtext_message
        self.report_count = library.dwgtext_report_count
        self.report = library.dwgtext_report
        self.close = library.dwgtext_close
        self.error_message = library.dwgtext_error_message
        self.status_name = library.dwgtext_status_name
        self.status_names = {status: library.dwgtext_status_name(status).decode()
                             for status in range(_capi.DAMAGED + 1)}
        self.byref = ctypes.byref
        self.handle_type = ctypes.c_void_p
        self.text = _capi.Text()
        self.text_pointer = ctypes.byref(self.text)
        self.limit = _capi.STREAM_LIMIT
        self.ok = _capi.OK
        self.memory = _capi.ERROR_MEMORY
        self.read = _capi.READ

    def check(self, answer: int) -> None:
        """As tqdudade.Drawing checks an answer of the library."""
        if answer == self.ok:
            return
        message = self.error_message(answer).decode("utf-8", "replace")
        raise MemoryError(message) if answer == self.memory else ValueError(message)


def prepare() -> None:
    """Loads the library and looks up its calls, as a worker does before its
    first task; a library that cannot be loaded raises at the first read."""
    global _calls
    try:
        _calls = _calls or _Calls()
    except Exception:
        pass


_calls: _Calls | None = None


def read_record(name: str, path: str) -> dict:
    """The record of one drawing: the fields of ``dwgtext --json``'s
    per-file record, with its texts in "strings". It reads as
    ``tqdudade.Drawing`` does, through the calls of the C API straight, as
    a worker reads thousands of drawings."""
    global _calls
    calls = _calls or _Calls()
    _calls = calls
    handle = calls.handle_type()
    calls.check(calls.open(os.fsencode(path), 0, calls.limit, calls.byref(handle)))
    try:
        text, next_text, text_pointer = calls.text, calls.next, calls.text_pointer
        strings = []
        while (answer := next_text(handle, text_pointer)) == 1:
            strings.append(text.text[:text.length].decode("utf-8", "replace"))
        if answer < 0:
            calls.check(answer)
        status = calls.status(handle)
        version = calls.version(handle)
        reports = [calls.report(handle, index).decode("utf-8", "replace")
                   for index in range(calls.report_count(handle))]
        record = {
            "file": name,
            "version": version.decode("utf-8", "replace") if version else None,
            "status": calls.status_names.get(status) or calls.status_name(status).decode(),
            "texts": len(strings),
            "reports": counted_reports(reports),
            "properties": document_properties(calls.library, handle),
        }
        if status != calls.read:
            record["error"] = (calls.message(handle) or b"").decode("utf-8", "replace")
    finally:
        calls.close(handle)
    record["strings"] = strings
    return record


def failed_record(name: str, error: str) -> dict:
    """The record of a drawing whose reading failed at its last try."""
    return {"file": name, "version": None, "status": "failed", "texts": 0, "reports": [], "properties": {},
            "error": error, "strings": []}


class Outcome:
    """What a try at a drawing gave: its record, or the error it raised;
    and its size in bytes."""

    __slots__ = ("record", "size", "error", "line")

    def __init__(self, record: dict | None, size: int, error: str | None = None):
        self.record = record
        self.size = size
        self.error = error
        self.line: bytes | None = None  # the record's JSON line, when a worker of the local pool made it

    def as_dict(self) -> dict:
        return {"record": self.record, "size": self.size, "error": self.error}


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


def end_with_parent() -> None:
    """Makes this process end when its parent does: on Linux the kernel
    sends it SIGKILL when the parent dies (PR_SET_PDEATHSIG). Elsewhere
    nothing: a batch worker then ends when the read of its next task ends."""
    if not sys.platform.startswith("linux"):
        return
    import ctypes
    import signal
    pr_set_pdeathsig = 1
    try:
        ctypes.CDLL(None, use_errno=True).prctl(pr_set_pdeathsig, int(signal.SIGKILL), 0, 0, 0)
    except (OSError, AttributeError):
        return


# Set in a worker of the local pool: its child processes end when it does.
children_end_with_worker = False


def _run_child(read: Reader, inputs: list[Input]) -> list[Outcome]:
    """The outcomes a child gave before it ended, the last one its death if
    it died before the end."""
    import json
    import subprocess
    environment = dict(os.environ, PYTHONPATH=os.pathsep.join(path for path in sys.path if path))
    parent = os.getpid()

    def before_exec() -> None:
        # The child ends with this process, even before its Python starts.
        end_with_parent()
        if os.getppid() != parent:
            os._exit(1)

    # Only in a worker of the local pool, which has one thread: the signal
    # comes when the thread that started the child ends, and a function run
    # before exec is not safe beside other threads (a Dask worker's).
    child = subprocess.run([sys.executable, "-m", "tqdudade._records", f"{read.__module__}:{read.__qualname__}"],
                           input=json.dumps(inputs), stdout=subprocess.PIPE, text=True, env=environment,
                           preexec_fn=before_exec if children_end_with_worker else None)
    found = [Outcome(**json.loads(line)) for line in child.stdout.splitlines()]
    if len(found) < len(inputs):
        found.append(Outcome(None, 0, f"its reader died while reading it ({_death(child.returncode)})"))
    return found


def _death(returncode: int) -> str:
    if returncode < 0:
        import signal
        return signal.strsignal(-returncode) or f"signal {-returncode}"
    return f"exit status {returncode}"


def _child(reader: str) -> None:
    import importlib
    import json
    module, _, function = reader.partition(":")
    read = getattr(importlib.import_module(module), function)
    for name, path in json.load(sys.stdin):
        # ASCII: a name's undecodable bytes (lone surrogates) travel as escapes.
        print(json.dumps(attempt(read, name, path).as_dict()), flush=True)


if __name__ == "__main__":
    _child(sys.argv[1])
