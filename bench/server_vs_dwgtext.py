#!/usr/bin/env python3
"""dwgtext-server's throughput and latency with 1, 2 and 8 clients putting
the corpus drawings to /tika in turn, and its time per request against a
run of `dwgtext` on the same file. Prints a Markdown table of each.

    /usr/bin/python3 bench/server_vs_dwgtext.py BUILD_DIR [DIR...] [--seconds S]

DIR defaults to ../shared/corpus and ../shared/corpus-r2004.
"""
import argparse
import re
import statistics
import subprocess
import threading
import time
from pathlib import Path

import requests

ROOT = Path(__file__).resolve().parents[1]


def start_server(build):
    server = subprocess.Popen([build / "tools/server/dwgtext-server", "--port", "0"], stderr=subprocess.PIPE, text=True)
    url = re.match(r"dwgtext-server: listening on (\S+)", server.stderr.readline()).group(1)
    threading.Thread(target=server.stderr.read, daemon=True).start()  # the access log
    return server, url


def under_load(url, bodies, clients, seconds):
    latencies = []
    lock = threading.Lock()
    deadline = time.monotonic() + seconds

    def client(first):
        session = requests.Session()
        turn = first
        while time.monotonic() < deadline:
            started = time.perf_counter()
            session.put(url + "/tika", data=bodies[turn % len(bodies)], timeout=60)
            with lock:
                latencies.append(time.perf_counter() - started)
            turn += 1

    threads = [threading.Thread(target=client, args=(n,)) for n in range(clients)]
    started = time.monotonic()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    elapsed = time.monotonic() - started
    latencies.sort()
    at = lambda p: latencies[min(len(latencies) - 1, int(p / 100 * len(latencies)))] * 1000
    return len(latencies) / elapsed, at(50), at(90), at(99)


def median_time(action, runs=15):
    times = []
    for _ in range(runs):
        started = time.perf_counter()
        action()
        times.append(time.perf_counter() - started)
    return statistics.median(times) * 1000


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("dirs", nargs="*", default=[str(ROOT.parent / "shared/corpus"),
                                                     str(ROOT.parent / "shared/corpus-r2004")])
    parser.add_argument("--seconds", type=float, default=10)
    arguments = parser.parse_args()
    build = Path(arguments.build).resolve()
    files = [path for folder in arguments.dirs for path in sorted(Path(folder).glob("*.dwg"))]
    bodies = [path.read_bytes() for path in files]
    server, url = start_server(build)
    try:
        print("| clients | requests/s | p50 ms | p90 ms | p99 ms |\n|---:|---:|---:|---:|---:|")
        for clients in (1, 2, 8):
            rate, p50, p90, p99 = under_load(url, bodies, clients, arguments.seconds)
            print(f"| {clients} | {rate:.0f} | {p50:.1f} | {p90:.1f} | {p99:.1f} |")
        print("\n| drawing | bytes | server ms | dwgtext ms |\n|---|---:|---:|---:|")
        session = requests.Session()
        dwgtext = build / "tools/dwgtext/dwgtext"
        for path, body in zip(files, bodies):
            served = median_time(lambda: session.put(url + "/tika", data=body, timeout=60))
            ran = median_time(lambda: subprocess.run([dwgtext, path], capture_output=True))
            print(f"| {path.name} | {len(body)} | {served:.2f} | {ran:.2f} |")
    finally:
        server.terminate()
        server.wait()


if __name__ == "__main__":
    main()
