#!/usr/bin/env python3
"""dwgtext-server under load, for the slow stage of the tests: clients (64 by
default) send on kept-alive connections for a while (60 s) a mix of whole,
cut, damaged, empty and non-DWG bodies, and the first eight now and then
100 MB of garbage. Every answer must be the
one dwgtext gives for that body; afterwards the server must be alive, exit 0
on SIGTERM and leave no temporary file, and its resident memory must have
stayed under a bound. Prints requests per second and latency percentiles.

    load_test.py --server PATH --dwgtext PATH --samples DIR [--clients N] [--seconds S]
"""
import argparse
import itertools
import json
import os
import random
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

import requests

GARBAGE_BYTES = 100 * 2**20
RSS_BOUND = 256 * 2**20
CORPORA = [Path("/work/shared/corpus"), Path("/work/shared/corpus-r2004")]


def expected_answer(dwgtext, body):
    """What the server must answer for body: the status, and the texts."""
    with tempfile.NamedTemporaryFile(suffix=".dwg") as file:
        file.write(body)
        file.flush()
        texts = subprocess.run([dwgtext, file.name], capture_output=True).stdout
        summary = json.loads(subprocess.run([dwgtext, "--json", file.name], capture_output=True).stdout.splitlines()[-1])
    status = {"not-dwg": 415, "unsupported": 415, "failed": 422, "cannot-open": 422}.get(summary["status"], 200)
    return status, texts if status == 200 else None


def bodies(samples):
    drawings = [path.read_bytes() for path in sorted(Path(samples).glob("*.dwg"))]
    drawings += [path.read_bytes() for corpus in CORPORA if corpus.is_dir() for path in sorted(corpus.glob("*.dwg"))]
    mixed = []
    for drawing in drawings:
        mixed.append(drawing)
        mixed.append(drawing[:len(drawing) * 3 // 4])
        damaged = bytearray(drawing)
        for at in range(len(damaged) // 3, len(damaged) // 3 + 64):
            damaged[at] ^= 0x5A
        mixed.append(bytes(damaged))
    return mixed + [b"", b"%PDF-1.7\n" * 1000, b"AC1040" + bytes(1000)]


def garbage():
    """100 MB that is no drawing, sent in chunks as it is made."""
    chunk = bytes(random.Random(1).randrange(256) for _ in range(2**16))
    for _ in range(GARBAGE_BYTES // len(chunk)):
        yield chunk


def rss_of(pid):
    status = Path(f"/proc/{pid}/status").read_text()
    return int(re.search(r"VmRSS:\s+(\d+) kB", status).group(1)) * 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--dwgtext", required=True)
    parser.add_argument("--samples", required=True)
    parser.add_argument("--clients", type=int, default=64)
    parser.add_argument("--seconds", type=float, default=60)
    args = parser.parse_args()

    cases = [(body, *expected_answer(args.dwgtext, body)) for body in bodies(args.samples)]
    tmp = tempfile.TemporaryDirectory(prefix="dwgtext-server-load-")
    server = subprocess.Popen([args.server, "--port", "0", "--no-summary-in-content"],
                              env=dict(os.environ, TMPDIR=tmp.name),
                              stderr=subprocess.PIPE, text=True)
    url = re.match(r"dwgtext-server: listening on (\S+)", server.stderr.readline()).group(1)
    log_lines = []
    log_reader = threading.Thread(target=lambda: log_lines.extend(server.stderr))
    log_reader.start()

    deadline = time.monotonic() + args.seconds
    latencies, failures, peak_rss = [], [], [0]
    lock = threading.Lock()

    def client(number):
        rng = random.Random(number)
        session = requests.Session()
        for request in itertools.count():
            if time.monotonic() > deadline:
                return
            started = time.monotonic()
            if number < 8 and request % 25 == 24:
                answer = session.put(url + "/tika", data=garbage(), timeout=120)
                wrong = answer.status_code != 415 and f"garbage: {answer.status_code}"
            else:
                body, status, texts = rng.choice(cases)
                answer = session.put(url + "/tika", data=body, timeout=60)
                wrong = (answer.status_code != status or (texts is not None and answer.content != texts)) and \
                    f"{len(body)}-byte body: {answer.status_code}, wanted {status}"
            with lock:
                latencies.append(time.monotonic() - started)
                if wrong:
                    failures.append(wrong)

    def watch_memory():
        while time.monotonic() < deadline:
            peak_rss[0] = max(peak_rss[0], rss_of(server.pid))
            time.sleep(0.2)

    threads = [threading.Thread(target=client, args=(n,)) for n in range(args.clients)]
    threads.append(threading.Thread(target=watch_memory))
    started = time.monotonic()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    elapsed = time.monotonic() - started

    alive = requests.get(url + "/health", timeout=10).status_code == 200
    server.send_signal(signal.SIGTERM)
    exit_status = server.wait(timeout=60)
    log_reader.join()
    left = os.listdir(tmp.name)
    tmp.cleanup()

    latencies.sort()
    percentile = lambda p: latencies[min(len(latencies) - 1, int(p / 100 * len(latencies)))] * 1000
    print(f"{args.clients} clients, {elapsed:.0f} s: {len(latencies)} requests, {len(latencies) / elapsed:.1f}/s; "
          f"latency p50 {percentile(50):.1f} ms, p90 {percentile(90):.1f} ms, p99 {percentile(99):.1f} ms, "
          f"max {latencies[-1] * 1000:.0f} ms; peak RSS {peak_rss[0] / 2**20:.1f} MiB; "
          f"log lines {len(log_lines) - 0}")
    problems = failures[:10]
    if not alive:
        problems.append("the server did not answer /health after the load")
    if exit_status != 0:
        problems.append(f"the server exited with {exit_status} after SIGTERM")
    if left:
        problems.append(f"temporary files left behind: {left}")
    if peak_rss[0] > RSS_BOUND:
        problems.append(f"resident memory reached {peak_rss[0]} bytes")
    if len(log_lines) < len(latencies):
        problems.append(f"{len(log_lines)} access log lines for {len(latencies)} requests")
    for problem in problems:
        print("FAIL:", problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
