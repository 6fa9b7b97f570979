"""tqdudade.batch on a real Dask cluster of two worker processes on the
loopback address: a few hundred drawings, composed, damaged and real, give
the records of dwgtext -r --json, none lost; drawings that crash or fail
their reader are tried again elsewhere and recorded."""
from __future__ import annotations

import io
import json
import os
import random
import shutil
import subprocess
import sys
from pathlib import Path

import dask
import pytest
from distributed import Client, LocalCluster

from conftest import run_dwgtext
from tqdudade import batch
from tqdudade._records import read_record

# Sizes of the composed drawings, in objects: one R12, R14 and R2000 each.
COMPOSED_OBJECTS = range(5, 251, 5)


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
    corpus = Path(pytestconfig.getoption("--corpus"))
    if corpus.is_dir():
        shutil.copytree(corpus, folder / "corpus", ignore=shutil.ignore_patterns("*.expected", "*.md", "*.tsv"))
    return folder


def test_a_collection_gives_dwgtexts_records_none_lost(cluster, collection, drawings, dwgtext, tmp_path):
    listed = tmp_path / "list.txt"
    listed.write_text(f"{drawings / 'r14.dwg'}\n{tmp_path / 'missing.dwg'}\n")
    out = tmp_path / "texts.jsonl"
    run = subprocess.run([sys.executable, "-m", "tqdudade.batch", str(collection), str(listed), "--out", str(out),
                          "--scheduler", cluster.scheduler_address, "--partition-size", "16"],
                         capture_output=True, text=True, timeout=120)
    expected = run_dwgtext(dwgtext, ["-r", str(collection)])
    expected.update(run_dwgtext(dwgtext, ["-H", str(drawings / "r14.dwg"), str(tmp_path / "missing.dwg")]))
    records = [json.loads(line) for line in out.read_text().splitlines()]

    assert sorted(record["file"] for record in records) == sorted(expected) and len(expected) > 250
    for record in records:
        wanted = expected[record["file"]]
        strings = record.pop("strings")
        assert (strings, record) == (wanted.texts, dwgtexts_record(wanted.record)), record["file"]
    not_read = [record for record in records if record["status"] != "read"]
    assert {record["status"] for record in not_read} == {"incomplete", "not-dwg", "unsupported", "failed",
                                                         "cannot-open"}
    texts = sum(record["texts"] for record in records)
    assert run.returncode == 1, run.stderr
    assert run.stdout.startswith(f"{len(records)} files, {texts} texts, {len(not_read)} not read ("), run.stdout


def dwgtexts_record(record: dict) -> dict:
    """dwgtext's record in the words of libdwgtext: dwgtext says "refused"
    where the library says "failed"."""
    return dict(record, status="failed") if record["status"] == "refused" else record


def unreliable_reader(name: str, path: str) -> dict:
    """Reads as the batch does, but crashes its process or raises at the
    drawings whose names ask for it: every time, or at the first try only."""
    stem = Path(path).stem
    if stem.startswith("crash-always"):
        os.abort()
    if stem.endswith("-once") and not Path(path + ".tried").exists():
        Path(path + ".tried").touch()
        if stem.startswith("crash"):
            os.abort()
        raise RuntimeError("flaky storage")
    return read_record(name, path)


def test_drawings_that_crash_or_raise_are_tried_again_alone_and_none_is_lost(cluster, drawings, tmp_path):
    names = ["a.dwg", "crash-once.dwg", "b.dwg", "c.dwg", "crash-always.dwg", "d.dwg", "e.dwg", "raise-once.dwg"]
    for name in names:
        shutil.copy(drawings / "r14.dwg", tmp_path / name)
    out = io.StringIO()
    with Client(cluster) as client:
        batch.Batch(client, out, unreliable_reader).run([(name, str(tmp_path / name)) for name in names], 3)
    records = {record["file"]: record for record in map(json.loads, out.getvalue().splitlines())}
    assert sorted(records) == sorted(names) and len(out.getvalue().splitlines()) == len(names)
    crashed = records.pop("crash-always.dwg")
    assert (crashed["status"], crashed["strings"]) == ("failed", [])
    assert crashed["error"] == "its reader died while reading it (Aborted)"
    expected = read_record("", str(drawings / "r14.dwg"))["strings"]
    assert {name: (record["status"], record["strings"]) for name, record in records.items()} == {
        name: ("read", expected) for name in records}


def test_a_local_run_starts_and_stops_its_own_cluster(drawings, tmp_path):
    out = tmp_path / "texts.jsonl"
    run = subprocess.run([sys.executable, "-m", "tqdudade.batch", str(drawings / "r12.dwg"), str(drawings / "r14.dwg"),
                          "--out", str(out)], capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    assert [json.loads(line)["status"] for line in out.read_text().splitlines()] == ["read", "read"]
    assert run.stdout.startswith("2 files, 23 texts, 0 not read, ")
