#!/usr/bin/env bash
# The containers against the plain R2000 file: `dwgtext --quiet` on the
# composed R2004, R2007 and R2018 drawings of 1 000 000 objects against the
# R2000 drawing with the same objects, and on every ../shared/corpus-r2004
# drawing against `cat`. One hyperfine run per row; prints each median and
# the ratio.
#
#   bench/releases.sh BUILD_DIR
#
# BUILD_DIR holds a build with the tests (tools/dwgtext/dwgtext and
# bench/write_drawings). Needs hyperfine.
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
dwgtext=$build/tools/dwgtext/dwgtext
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/write_drawings" "$work" 1000000 >/dev/null

# Prints "NAME  median-of-first  median-of-second  second/first".
compare() {
  local name=$1 first=$2 second=$3
  hyperfine -N --style none --warmup 2 --runs 30 --output null --export-json "$work/run.json" \
    "$first" "$second" >/dev/null 2>&1
  /usr/bin/python3 - "$name" "$work/run.json" <<'PY'
import json, statistics, sys
first, second = (statistics.median(r["times"]) for r in json.load(open(sys.argv[2]))["results"])
print(f"{sys.argv[1]:28} {first * 1e3:8.2f} ms {second * 1e3:8.2f} ms {second / first:6.2f}")
PY
}

echo "release against R2000, 1 000 000 objects: R2000, release, ratio"
for release in R2004 R2007 R2018; do
  compare "$release" "$dwgtext --quiet $work/R2000-1000000.dwg" "$dwgtext --quiet $work/$release-1000000.dwg"
done
echo "corpus-r2004 against cat: cat, dwgtext, ratio"
for drawing in "$here"/../shared/corpus-r2004/*.dwg; do
  [[ -e $drawing ]] || continue
  compare "$(basename "$drawing")" "cat $drawing" "$dwgtext --quiet $drawing"
done
