#!/usr/bin/env bash
# Whole-process comparison: `dwgtext --quiet FILE` against `cat FILE`, the
# I/O floor, on the composed R12, R14 and R2000 drawings of 100 000 and
# 1 000 000 objects written to files, and on samples/*.dwg. One hyperfine
# run per drawing, so that the commands of a drawing share the machine's
# state; prints the median of each and its ratio to cat's.
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
drawings=("$work"/R12-*.dwg "$work"/R14-*.dwg "$work"/R2000-*.dwg "$here"/samples/*.dwg)

for drawing in "${drawings[@]}"; do
  commands=(-n cat "cat '$drawing'" -n dwgtext "'$dwgtext' --quiet '$drawing'")
  [[ -n $other ]] && commands+=(-n other "'$other' --quiet '$drawing'")
  json=$work/$(basename "$drawing").json
  # No shell between hyperfine and the commands: the small drawings take
  # about a millisecond, less than a shell's start-up varies.
  hyperfine -N --style none --warmup 2 --output null --ignore-failure --export-json "$json" "${commands[@]}" \
    >/dev/null 2>&1
  /usr/bin/python3 - "$json" "$drawing" <<'PY'
import json, os, sys
results = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
floor = results["cat"]
size = os.path.getsize(sys.argv[2]) / 1e6
cells = "  ".join(f"{name} {median * 1e3:8.2f} ms ({median / floor:5.1f}x)" for name, median in results.items())
print(f"{os.path.basename(sys.argv[2]):16} {size:7.1f} MB  {cells}")
PY
done
