#!/usr/bin/env bash
# Whole-process comparison: `dwgtext --quiet FILE` against `cat FILE`, the
# I/O floor, on the composed drawings of every family (R12 to R2018) of 100 000 and
# 1 000 000 objects written to files, and on samples/*.dwg. Prints the
# median of each command and its ratio to cat's.
#
#   bench/whole_process.sh BUILD_DIR [OTHER_DWGTEXT]
#
# BUILD_DIR holds a build with the tests (tools/dwgtext/dwgtext and
# bench/write_drawings). OTHER_DWGTEXT, another dwgtext binary (an earlier
# build, say), joins each comparison as "other". Needs hyperfine.
set -euo pipefail
build=$(cd "$1" && pwd) other=${2:-}
here=$(cd "$(dirname "$0")/.." && pwd)
dwgtext=$build/tools/dwgtext/dwgtext
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bench/write_drawings" "$work" 100000 1000000 >/dev/null
drawings=("$work"/R*-*.dwg "$here"/samples/*.dwg)

# The speed of shared cores drifts within a minute, and hyperfine runs all
# of one command's runs before the next command's. So each drawing gets
# several short hyperfine runs in a row, and a command's median is taken
# over the runs of all of them, so that a drift falls on every command alike.
rounds=5
for drawing in "${drawings[@]}"; do
  commands=(-n cat "cat '$drawing'" -n dwgtext "'$dwgtext' --quiet '$drawing'")
  [[ -n $other ]] && commands+=(-n other "'$other' --quiet '$drawing'")
  jsons=()
  for round in $(seq "$rounds"); do
    json=$work/$(basename "$drawing").$round.json
    jsons+=("$json")
    # No shell between hyperfine and the commands: the small drawings take
    # about a millisecond, less than a shell's start-up varies.
    hyperfine -N --style none --warmup 1 --runs 20 --output null --ignore-failure --export-json "$json" \
      "${commands[@]}" >/dev/null 2>&1
  done
  /usr/bin/python3 - "$drawing" "${jsons[@]}" <<'PY'
import json, os, statistics, sys
times = {}
for path in sys.argv[2:]:
    for result in json.load(open(path))["results"]:
        times.setdefault(result["command"], []).extend(result["times"])
medians = {name: statistics.median(values) for name, values in times.items()}
floor = medians["cat"]
size = os.path.getsize(sys.argv[1]) / 1e6
cells = "  ".join(f"{name} {median * 1e3:8.2f} ms ({median / floor:5.1f}x)" for name, median in medians.items())
print(f"{os.path.basename(sys.argv[1]):16} {size:7.1f} MB  {cells}")
PY
done
