#!/usr/bin/env python3
"""Times reading a collection of drawings three ways: `dwgtext -r --json`,
the batch in its local process pool, and the batch on a Dask cluster
(two local worker processes, started here, the time to start them left
out). Prints the fastest of three runs of each, in seconds.

    /usr/bin/python3 bench/batch_vs_dwgtext.py BUILD_DIR [DIR] [--copies N]

DIR defaults to ../shared/corpus; each drawing of it is copied N times
(default 20) into a temporary folder, so that the collection is big
enough to be worth timing.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]


def fastest(command, environment, runs=3):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, env=environment, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("dir", nargs="?", default=str(ROOT.parent / "shared" / "corpus"))
    parser.add_argument("--copies", type=int, default=20)
    arguments = parser.parse_args()
    build = Path(arguments.build).resolve()
    drawings = sorted(Path(arguments.dir).glob("*.dwg")) + sorted((ROOT / "samples").glob("*.dwg"))
    environment = dict(os.environ, PYTHONPATH=str(ROOT / "python"),
                       TQDUDADE_DWGTEXT_LIBRARY=str(build / "capi" / "libdwgtext.so"))
    # Dask's worker processes take this process's sys.path, not PYTHONPATH.
    sys.path.insert(0, environment["PYTHONPATH"])
    os.environ["TQDUDADE_DWGTEXT_LIBRARY"] = environment["TQDUDADE_DWGTEXT_LIBRARY"]
    from distributed import LocalCluster  # only the Dask run needs it

    with tempfile.TemporaryDirectory() as folder:
        size = 0
        for copy in range(arguments.copies):
            for drawing in drawings:
                target = Path(folder) / str(copy) / drawing.name
                target.parent.mkdir(exist_ok=True)
                shutil.copy(drawing, target)
                size += drawing.stat().st_size
        batch = [sys.executable, "-m", "tqdudade.batch", folder, "--out", "/dev/null"]
        print(f"{len(drawings) * arguments.copies} drawings, {size / 1e6:.1f} MB, {os.cpu_count()} cores")
        print(f"dwgtext -r --json: {fastest([str(build / 'tools/dwgtext/dwgtext'), '-r', '--json', folder], environment):.2f} s")
        print(f"batch, local pool: {fastest(batch, environment):.2f} s")
        with LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None, host="127.0.0.1") as cluster:
            print(f"batch, Dask:       {fastest(batch + ['--scheduler', cluster.scheduler_address], environment):.2f} s")


if __name__ == "__main__":
    main()
