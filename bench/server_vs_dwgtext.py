#!/usr/bin/env python3
"""dwgtext-server's throughput, latency (all requests, small drawings under
64 KiB, large ones) and peak resident memory with 1, 2, 8 and 64 clients
putting the corpus drawings to /tika in turn, then with 8 clients while 200
more hold connections open sending a request's head a byte now and then;
and its time per request against a run of `dwgtext` on the same file.
Prints a Markdown table of each.

    /usr/bin/python3 bench/server_vs_dwgtext.py BUILD_DIR [DIR...] [--seconds S]

DIR defaults to ../shared/corpus and ../shared/corpus-r2004.
"""
import argparse
import re
import socket
import statistics
import subprocess
import threading
import time
from pathlib import Path

import requests

ROOT = Path(__file__).resolve().parents[1]
SMALL = 64 * 1024


def start_server(build):
    server = subprocess.Popen([build / "tools/server/dwgtext-server", "--port", "0"], stderr=subprocess.PIPE, text=True)
    url = re.match(r"dwgtext-server: listening on (\S+)", server.stderr.readline()).group(1)
    threading.Thread(target=server.stderr.read, daemon=True).start()  # the access log
    return server, url


def rss_of(pid):
    status = Path(f"/proc/{pid}/status").read_text()
    return int(re.search(r"VmRSS:\s+(\d+) kB", status).group(1)) / 1024


def slow_heads(url, count):
    """Connections from addresses of their own that have sent a request's first bytes only."""
    host, port = url[7:].split(":")
    heads = []
    for n in range(count):
        head = socket.create_connection((host, int(port)), source_address=(f"127.0.2.{n // 100 + 1}", 0))
        head.sendall(b"PUT /ti")
        heads.append(head)
    return heads


def under_load(server, url, bodies, clients, seconds):
    latencies = {True: [], False: []}
    peak = [0]
    lock = threading.Lock()
    deadline = time.monotonic() + seconds

    def client(first):
        session = requests.Session()
        turn = first
        while time.monotonic() < deadline:
            body = bodies[turn % len(bodies)]
            started = time.perf_counter()
            session.put(url + "/tika", data=body, timeout=60)
            with lock:
                latencies[len(body) < SMALL].append(time.perf_counter() - started)
            turn += 1

    def watch_memory():
        while time.monotonic() < deadline:
            peak[0] = max(peak[0], rss_of(server.pid))
            time.sleep(0.1)

    threads = [threading.Thread(target=client, args=(n,)) for n in range(clients)]
    threads.append(threading.Thread(target=watch_memory))
    started = time.monotonic()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    elapsed = time.monotonic() - started
    every = sorted(latencies[True] + latencies[False])
    at = lambda times, p: sorted(times)[min(len(times) - 1, int(p / 100 * len(times)))] * 1000
    return (len(every) / elapsed, at(every, 50), at(every, 99), at(latencies[True], 50), at(latencies[False], 50),
            peak[0])


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
        print("| clients | requests/s | p50 ms | p99 ms | small p50 ms | large p50 ms | peak RSS MiB |\n"
              "|---|---:|---:|---:|---:|---:|---:|")
        for clients, slow in ((1, 0), (2, 0), (8, 0), (64, 0), (8, 200)):
            heads = slow_heads(url, slow)
            figures = under_load(server, url, bodies, clients, arguments.seconds)
            for head in heads:
                head.close()
            print(f"| {clients}{f' + {slow} slow heads' if slow else ''} | {figures[0]:.0f} | " +
                  " | ".join(f"{figure:.1f}" for figure in figures[1:]) + " |")
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
