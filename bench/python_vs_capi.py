#!/usr/bin/python3
"""Texts per second through the C API and through the Python package, on the
composed R12, R14 and R2000 drawings of 100 000 objects (every tenth a text).

    /usr/bin/python3 bench/python_vs_capi.py BUILD_DIR

BUILD_DIR holds a build with the tests (bench/write_drawings,
bench/capi_bench, capi/libdwgtext.so). Each drawing is read from its file
for at least a second, at least 3 times; the fastest run counts. Python
reads as a user does, ``tqdudade.texts(path)``, and by the lazy iterator of
``tqdudade.open``; both give every text as a str. The C and Python runs
take turns, in 3 rounds, so that both meet the same load on a shared
machine; each keeps its fastest round. The last column is what Python adds
to each text: the time of texts() less the C API's, per text.
"""
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

OBJECTS = 100_000
ROUNDS = 3


def fastest(read, path: Path) -> tuple[int, float]:
    """The texts of one run and the fastest run's seconds."""
    best, spent, runs = float("inf"), 0.0, 0
    while runs < 3 or spent < 1.0:
        start = time.perf_counter()
        texts = read(path)
        seconds = time.perf_counter() - start
        best, spent, runs = min(best, seconds), spent + seconds, runs + 1
    return texts, best


def through_capi(capi_bench: Path, drawings: list[Path]) -> dict[Path, tuple[int, float]]:
    lines = subprocess.run([str(capi_bench), *map(str, drawings)], check=True, capture_output=True,
                           text=True).stdout.splitlines()
    return {Path(path): (int(texts), float(seconds)) for path, texts, seconds in (line.split("\t") for line in lines)}


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    build = Path(sys.argv[1]).resolve()
    os.environ.setdefault("TQDUDADE_DWGTEXT_LIBRARY", str(build / "capi" / "libdwgtext.so"))
    sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))
    import tqdudade

    def listed(path: Path) -> int:
        return len(tqdudade.texts(path))

    def iterated(path: Path) -> int:
        with tqdudade.open(path) as drawing:
            return sum(1 for _ in drawing.texts)

    with tempfile.TemporaryDirectory() as work:
        subprocess.run([str(build / "bench" / "write_drawings"), work, str(OBJECTS)], check=True,
                       stdout=subprocess.DEVNULL)
        drawings = [Path(work) / f"{family}-{OBJECTS}.dwg" for family in ("R12", "R14", "R2000")]
        best: dict[Path, list[tuple[int, float]]] = {}
        for _ in range(ROUNDS):
            capi = through_capi(build / "bench" / "capi_bench", drawings)
            for drawing in drawings:
                runs = [capi[drawing], fastest(listed, drawing), fastest(iterated, drawing)]
                best[drawing] = [min(old, new, key=lambda run: run[1]) for old, new in zip(best.get(drawing, runs), runs)]
        print(f"{'drawing':<14}{'texts':>8}{'C API texts/s':>16}{'texts() texts/s':>18}"
              f"{'open() texts/s':>17}{'texts() / C API':>17}{'Python µs/text':>16}")
        for drawing in drawings:
            (texts, capi_seconds), (listed_texts, listed_seconds), (iterated_texts, iterated_seconds) = best[drawing]
            assert listed_texts == iterated_texts == texts, drawing
            print(f"{drawing.stem:<14}{texts:>8}{texts / capi_seconds:>16,.0f}{texts / listed_seconds:>18,.0f}"
                  f"{texts / iterated_seconds:>17,.0f}{listed_seconds / capi_seconds:>17.2f}"
                  f"{(listed_seconds - capi_seconds) / texts * 1e6:>16.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
