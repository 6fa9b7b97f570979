"""tqdudade.batch in a local process pool and on a real Dask cluster of two
worker processes on the loopback address: a few hundred drawings, composed,
damaged and real, give the records of dwgtext -r --json both ways, none
lost; drawings that crash or fail their reader, or kill its worker, are
tried again and recorded; a cluster whose workers cannot import the reader
is refused before any task; odd file names keep their bytes, as dwgtext
--json keeps them; --out - and a failing --out; workers that end with the
batch, killed or stopped by a signal; an import that takes only what a run
needs, and workers that read many drawings a task with one library."""
from __future__ import annotations

import json
import os
import random
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

import dask
import pytest
from distributed import LocalCluster

import tqdudade
from conftest import corpus_folders, run_dwgtext

TESTS = Path(__file__).parent

# Sizes of the composed drawings, in objects: one drawing of each family at each.
COMPOSED_OBJECTS = range(5, 251, 5)


def run_batch(*arguments, timeout=120, importable: Path = TESTS) -> subprocess.CompletedProcess:
    """The batch, with the modules of importable (and of the tests) on its path."""
    paths = dict.fromkeys([str(importable), str(TESTS), os.environ.get("PYTHONPATH", "")])
    environment = dict(os.environ, PYTHONPATH=os.pathsep.join(paths))
    return subprocess.run([sys.executable, "-m", "tqdudade.batch", *map(str, arguments)], capture_output=True,
                          env=environment, timeout=timeout)


def records_of(text: bytes) -> list[dict]:
    return [json.loads(line) for line in text.decode("utf-8").splitlines()]


@pytest.fixture(scope="module")
def cluster():
    with dask.config.set({"distributed.scheduler.allowed-failures": 0}):
        cluster = LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                               dashboard_address=None)
    with cluster:
        yield cluster


@pytest.fixture(scope="module")
def collection(tmp_path_factory, pytestconfig, drawings) -> Path:
    """A folder of drawings as a collection has them: composed ones of every
    size, in subfolders, some named in capitals; cut and garbled copies;
    files that are no drawing; the corpus when it is there."""
    folder = tmp_path_factory.mktemp("collection")
    subprocess.run([pytestconfig.getoption("--write-drawings"), str(folder / "composed"),
                    *map(str, COMPOSED_OBJECTS)], check=True, stdout=subprocess.DEVNULL)
    ours = sorted(drawings.glob("*.dwg"))
    for drawing in ours:
        shutil.copy(drawing, folder / drawing.name.upper())
    damaged = folder / "damaged"
    damaged.mkdir()
    shuffle = random.Random(14)
    for drawing in ours:
        content = drawing.read_bytes()
        for cut in shuffle.sample(range(len(content)), 10):
            (damaged / f"{drawing.stem}-cut{cut}.dwg").write_bytes(content[:cut])
        (damaged / f"{drawing.stem}-garbled.dwg").write_bytes(content[:20] + shuffle.randbytes(len(content)))
    for number in range(10):
        (damaged / f"noise{number}.dwg").write_bytes(shuffle.randbytes(number * 300))
    for corpus in corpus_folders(pytestconfig):
        if corpus.is_dir():
            shutil.copytree(corpus, folder / corpus.name,
                            ignore=shutil.ignore_patterns("*.expected", "*.texts", "*.md", "*.tsv"))
    return folder


def test_a_collection_gives_dwgtexts_records_none_lost_every_way(cluster, collection, drawings, dwgtext,
                                                                  tmp_path):
    listed = tmp_path / "list.txt"
    listed.write_text(f"{drawings / 'r14.dwg'}\n{tmp_path / 'missing.dwg'}\n")
    expected = run_dwgtext(dwgtext, ["-r", str(collection)])
    expected.update(run_dwgtext(dwgtext, ["-H", str(drawings / "r14.dwg"), str(tmp_path / "missing.dwg")]))
    runs = {}
    # Without options these drawings are little work, read in the batch's own process.
    for way, scheduler in (("dask", ["--scheduler", cluster.scheduler_address]), ("pool", ["--workers", "2"]),
                           ("here", [])):
        out = tmp_path / f"{way}.jsonl"
        run = run_batch(collection, listed, "--out", out, "--partition-size", "16", *scheduler)
        records = records_of(out.read_bytes())
        runs[way] = sorted(records, key=lambda record: record["file"])

        assert sorted(record["file"] for record in records) == sorted(expected) and len(expected) > 250
        for record in records:
            wanted = expected[record["file"]]
            record = dict(record)
            strings = record.pop("strings")
            assert (strings, record) == (wanted.texts, wanted.record), record["file"]
        not_read = [record for record in records if record["status"] != "read"]
        assert {record["status"] for record in not_read} == {"incomplete", "damaged", "not-dwg", "unsupported",
                                                             "failed", "cannot-open"}
        texts = sum(record["texts"] for record in records)
        assert (run.returncode, run.stderr) == (1, b""), way
        assert run.stdout.decode().startswith(f"{len(records)} files, {texts} texts, {len(not_read)} not read (")
    assert runs["here"] == runs["pool"] == runs["dask"]


@pytest.mark.parametrize("way", ["local", "dask"])
def test_drawings_that_crash_raise_or_kill_their_worker_are_tried_again_and_none_is_lost(
        cluster, drawings, tmp_path, way):
    names = ["a.dwg", "crash-once.dwg", "b.dwg", "kill-once.dwg", "c.dwg", "crash-always.dwg", "d.dwg",
             "raise-once.dwg"]
    for name in names:
        shutil.copy(drawings / "r14.dwg", tmp_path / name)
    scheduler = ["--scheduler", cluster.scheduler_address] if way == "dask" else ["--workers", "2"]
    run = run_batch(*[tmp_path / name for name in names], "--out", "-", "--partition-size", "3",
                    "--reader", "readers:unreliable_reader", *scheduler)
    records = {Path(record["file"]).name: record for record in records_of(run.stdout)}
    assert sorted(records) == sorted(names) and len(run.stdout.splitlines()) == len(names)
    crashed = records.pop("crash-always.dwg")
    assert (crashed["status"], crashed["strings"]) == ("failed", [])
    assert crashed["error"] == "its reader died while reading it (Aborted)"
    assert {(record["status"], tuple(record["strings"])) for record in records.values()} == {
        ("read", tuple(tqdudade.texts(drawings / "r14.dwg")))}
    told, summary = run.stderr.decode().splitlines()
    assert told.startswith("tqdudade.batch: a worker died (") and told.endswith("read again one by one")
    assert summary.startswith("8 files, ") and "(1 failed)" in summary
    assert run.returncode == 1


def test_a_cluster_whose_workers_cannot_import_the_reader_is_refused_and_keeps_its_workers(
        cluster, drawings, tmp_path):
    (tmp_path / "only_here.py").write_text(
        "def read(name, path):\n    from tqdudade._records import read_record\n    return read_record(name, path)\n")
    run = run_batch(drawings / "r14.dwg", "--out", "-", "--reader", "only_here:read",
                    "--scheduler", cluster.scheduler_address, importable=tmp_path, timeout=60)
    assert (run.returncode, run.stdout) == (2, b"")
    assert run.stderr.decode().splitlines()[-1] == (
        "tqdudade.batch: a worker of the cluster cannot import only_here (ModuleNotFoundError: "
        "No module named 'only_here'); install it on every worker")
    assert len(cluster.scheduler_info["workers"]) == 2


def test_names_that_are_not_utf8_keep_their_bytes(drawings, dwgtext, tmp_path):
    folder = os.fsencode(tmp_path / "odd")
    os.mkdir(folder)
    names = [b"caf\xe9.dwg", b"plan\nB.dwg", "\u56f3\u9762.dwg".encode(), b"\xff\xfe.DWG"]
    for name in names:
        shutil.copy(drawings / "r2000.dwg", os.path.join(folder, name))
    run = run_batch(tmp_path / "odd", "--out", "-")
    assert run.returncode == 0, run.stderr
    records = records_of(run.stdout)
    assert sorted(os.fsencode(record["file"]) for record in records) == sorted(
        os.path.join(folder, name) for name in names)
    assert {record["texts"] for record in records} == {12}
    assert b"\\udce9.dwg" in run.stdout
    # dwgtext --json names them so too, by the same rule.
    listed = run_dwgtext(dwgtext, ["-r", str(tmp_path / "odd")])
    assert sorted(listed) == sorted(record["file"] for record in records)


def test_output_goes_to_standard_output_or_fails_in_one_line(drawings):
    two = [drawings / "r12.dwg", drawings / "r14.dwg"]
    to_stdout = run_batch(*two, "--out", "-")
    assert to_stdout.returncode == 0, to_stdout.stderr
    assert [record["status"] for record in records_of(to_stdout.stdout)] == ["read", "read"]
    assert to_stdout.stderr.decode().startswith("2 files, 27 texts, 0 not read, ")
    full = run_batch(*two, "--out", "/dev/full")
    assert (full.returncode, full.stdout, full.stderr) == (
        1, b"", b"tqdudade.batch: /dev/full: No space left on device\n")
    with open("/dev/full", "wb") as device:
        stdout_full = subprocess.run([sys.executable, "-m", "tqdudade.batch", *map(str, two), "--out", "-"],
                                     stdout=device, stderr=subprocess.PIPE, timeout=60)
    assert (stdout_full.returncode, stdout_full.stderr) == (
        1, b"tqdudade.batch: standard output: No space left on device\n")
    # Unbuffered, on a pipe that takes part of a line when it is nearly full.
    read_end, write_end = os.pipe()
    os.set_blocking(write_end, False)
    batch = batch_process(*two * 200, "--out", "-", stdout=write_end, stderr=subprocess.DEVNULL, python=("-u",))
    os.close(write_end)
    import fcntl
    import termios

    def queued() -> int:
        return int.from_bytes(fcntl.ioctl(read_end, termios.FIONREAD, bytes(4)), sys.byteorder)
    wait_until(lambda: batch.poll() is not None or queued() > 60_000, 30)
    with open(read_end, "rb") as lines:
        assert [record["status"] for record in records_of(lines.read())] == ["read"] * 400
    assert batch.wait(timeout=60) == 0



def batch_process(*arguments, python: tuple = (), **options) -> subprocess.Popen:
    paths = dict.fromkeys([str(TESTS), os.environ.get("PYTHONPATH", "")])
    environment = dict(os.environ, PYTHONPATH=os.pathsep.join(paths))
    return subprocess.Popen([sys.executable, *python, "-m", "tqdudade.batch", *map(str, arguments)], env=environment,
                            **options)


def children_of(pid: int) -> list[int]:
    """The processes whose parent is pid."""
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                stat = Path(f"/proc/{entry}/stat").read_text()
            except OSError:
                continue
            if int(stat.rpartition(")")[2].split()[1]) == pid:
                found.append(int(entry))
    return found


def alive(pid: int) -> bool:
    """Whether the process runs still: a zombie, which nobody may reap in a
    container, has ended."""
    try:
        return Path(f"/proc/{pid}/stat").read_text().rpartition(")")[2].split()[0] != "Z"
    except OSError:
        return False


def settled_workers(pid: int) -> list[int]:
    """The two workers of the batch pid, once the same two have lived a
    third of a second (the batch replaces the workers it started ahead
    when the command line asks for others)."""
    seen: list[int] = []
    end = time.monotonic() + 20
    while time.monotonic() < end:
        now = sorted(child for child in children_of(pid) if alive(child))
        if len(now) == 2 and now == seen:
            return now
        seen = now
        time.sleep(0.3)
    raise AssertionError(f"the batch has not two workers, but {seen}")


def wait_until(condition, seconds: float) -> bool:
    end = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > end:
            return False
        time.sleep(0.02)
    return True


@pytest.fixture
def many_drawings(drawings, tmp_path) -> Path:
    """200 small drawings, which the slow reader takes 10 s to read."""
    folder = tmp_path / "many"
    folder.mkdir()
    for number in range(200):
        shutil.copy(drawings / "r14.dwg", folder / f"{number:03}.dwg")
    return folder


def test_killing_the_batch_leaves_no_worker(many_drawings, tmp_path):
    # Tasks of five seconds: a worker that does not end with the batch is still
    # reading when it is looked for.
    batch = batch_process(many_drawings, "--out", tmp_path / "out.jsonl", "--workers", "2", "--partition-size", "100",
                          "--reader", "readers:slow_reader", stderr=subprocess.DEVNULL)
    try:
        workers = settled_workers(batch.pid)
    finally:
        batch.kill()
        batch.wait(timeout=20)
    time.sleep(2)
    assert [worker for worker in workers if alive(worker)] == []


@pytest.mark.parametrize("number", [signal.SIGINT, signal.SIGTERM])
def test_a_signal_ends_the_batch_and_its_workers_at_once_with_whole_lines(many_drawings, tmp_path, number):
    out = tmp_path / "out.jsonl"
    batch = batch_process(many_drawings, "--out", out, "--workers", "2", "--partition-size", "2",
                          "--reader", "readers:slow_reader", stderr=subprocess.PIPE)
    try:
        workers = settled_workers(batch.pid)
        assert wait_until(lambda: out.exists() and out.stat().st_size > 0, 20)
        batch.send_signal(number)
        sent = time.monotonic()
        status = batch.wait(timeout=20)
        assert wait_until(lambda: not any(alive(worker) for worker in workers), 1 - (time.monotonic() - sent))
        assert time.monotonic() - sent < 1
    finally:
        batch.kill()
        batch.wait()
    assert status == -number
    written = out.read_bytes()
    assert written.endswith(b"\n")
    records = records_of(written)
    assert 0 < len(records) < 200 and {record["status"] for record in records} == {"read"}
    assert batch.stderr.read().decode() == (
        f"tqdudade.batch: stopped by {signal.Signals(number).name} after {len(records)} drawings; "
        "their lines are written whole\n")


def test_the_import_takes_only_what_a_run_needs():
    loaded = subprocess.run([sys.executable, "-c", "import sys, tqdudade.batch; print(' '.join(sys.modules))"],
                            capture_output=True, text=True, check=True).stdout.split()
    heavy = {"concurrent.futures", "multiprocessing", "logging", "argparse", "json", "pathlib", "typing",
             "dataclasses", "ctypes", "subprocess", "tqdudade._drawing", "tqdudade._capi"}
    assert heavy & set(loaded) == set()


def test_a_line_is_what_json_writes():
    from tqdudade.batch import json_line
    awkward = "".join(map(chr, range(0x80))) + "é∅\udcff\U0001f600"
    record = {"file": awkward, "version": None, "texts": -12, "reports": [{"report": awkward, "count": 3}],
              "properties": {"custom": {awkward: "", "": awkward}}, "strings": [awkward, "", "x"], "empty": []}
    assert json_line(record) == json.dumps(record, ensure_ascii=False).encode("utf-8", "backslashreplace") + b"\n"


def test_the_quick_reading_of_the_command_line_agrees_with_argparse_or_leaves_it_to_argparse():
    from tqdudade.batch import _parsed_arguments, _quick_arguments
    quick = [["d", "--out", "-"], ["--out=o", "a", "b"], ["a", "--workers", "2", "--out", "o"], ["-", "--out=-x"],
             ["a", "--partition-size=3", "--out", "o", "--scheduler", "s:1", "--reader", "m:f"]]
    left = [["a", "--out", "o", "b"], ["a", "--out", "o", "--workers", "0"], ["a", "--ou", "o"], ["a", "--out", "-x"],
            ["a", "--out", "o", "--out", "p"], ["--out", "o"], ["a", "--out"], ["a", "--", "--out", "o"],
            ["a", "-h", "--out", "o"], ["a", "--out", "o", "--workers", "x"]]
    for argv in quick:
        assert vars(_quick_arguments(argv)) == vars(_parsed_arguments(argv)), argv
    assert [_quick_arguments(argv) for argv in left] == [None] * len(left)


def test_workers_read_many_drawings_a_task_with_one_library(many_drawings, tmp_path):
    from tqdudade.batch import local_partition_size
    assert [local_partition_size(drawings, 2) for drawings in (1, 8, 149, 1000)] == [1, 1, 19, 100]
    run = run_batch(many_drawings, "--out", "-", "--workers", "2", "--reader", "readers:worker_reader")
    assert run.returncode == 0, run.stderr
    records = records_of(run.stdout)
    assert len(records) == 200
    assert len({record["pid"] for record in records}) <= 2
    assert {record["lookups"] for record in records} == {1}


def test_a_reader_that_goes_away_ends_the_batch_quietly_and_its_workers(many_drawings):
    batch = batch_process(many_drawings, "--out", "-", "--workers", "2", "--partition-size", "1",
                          "--reader", "readers:slow_reader", stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    workers = settled_workers(batch.pid)
    assert json.loads(batch.stdout.readline())["status"] == "read"
    batch.stdout.close()
    assert (batch.wait(timeout=20), batch.stderr.read()) == (-signal.SIGPIPE, b"")
    assert wait_until(lambda: not any(alive(worker) for worker in workers), 2)


def test_a_task_that_kills_every_worker_is_tried_a_bounded_number_of_times(drawings, tmp_path):
    from tqdudade.batch import LOSSES
    shutil.copy(drawings / "r14.dwg", tmp_path / "killer.dwg")
    run = run_batch(tmp_path / "killer.dwg", "--out", "-", "--workers", "1", "--reader", "readers:worker_killer")
    # Once in the worker, then once in a child at every loss up to LOSSES.
    assert len((tmp_path / "killer.dwg.tries").read_text()) == 1 + LOSSES + 1
    (record,) = records_of(run.stdout)
    assert (record["status"], run.returncode) == ("failed", 1)
    assert record["error"].startswith("its task was lost with its worker (")
