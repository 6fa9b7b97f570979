#!/usr/bin/env bash
# Times dwgtext over a directory of COUNT copies of one drawing, with one job
# and with two: two free cores should take about half the time of one.
#
#   bench/dwgtext_jobs.sh DWGTEXT DRAWING [COUNT] [RUNS]
#
# Prints the best wall time of RUNS runs of each, and their ratio.
set -euo pipefail
dwgtext=$1 drawing=$2 count=${3:-1000} runs=${4:-5}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
for ((i = 0; i < count; i++)); do cp "$drawing" "$dir/$(printf '%05d' "$i").dwg"; done

# Wall seconds of each run, one per line.
times() {
  local TIMEFORMAT=%R
  for ((run = 0; run < runs; run++)); do
    { time "$dwgtext" -q -r -j "$1" "$dir" >/dev/null 2>&1 || true; } 2>&1
  done
}

one=$(times 1 | sort -n | head -1)
two=$(times 2 | sort -n | head -1)
awk -v n="$count" -v name="$(basename "$drawing")" -v one="$one" -v two="$two" \
  'BEGIN { printf "%d copies of %s: -j 1 %.2f s, -j 2 %.2f s, ratio %.2f\n", n, name, one, two, two / one }'
