#!/usr/bin/env bash
# Times, with hyperfine, the local batch against `dwgtext -r --json` over
# 1000 copies of the sample drawings (samples/*.dwg, each in turn), and
# `import tqdudade.batch` against Python's own start.
#
#   bash bench/batch_hyperfine.sh [BUILD_DIR] [COPIES]
#
# BUILD_DIR (build/test) holds dwgtext and libdwgtext; COPIES is 1000.
# Bytecode goes to a temporary folder, written by the warm-up runs, as an
# installed package has it; the checkout is left as it is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/test}" && pwd)
copies=${2:-1000}
python=/usr/bin/python3
command -v hyperfine >/dev/null || { echo "hyperfine is missing: apt-get install -y hyperfine" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
samples=("$root"/samples/*.dwg)
mkdir "$work/drawings"
for ((i = 0; i < copies; i++)); do
    sample=${samples[i % ${#samples[@]}]}
    cp "$sample" "$work/drawings/$(printf %04d "$i")-$(basename "$sample")"
done

export PYTHONPATH=$root/python TQDUDADE_DWGTEXT_LIBRARY=$build/capi/libdwgtext.so PYTHONPYCACHEPREFIX=$work/bytecode
unset PYTHONDONTWRITEBYTECODE PYTHONUNBUFFERED
echo "$copies drawings, $(du -sh "$work/drawings" | cut -f1), $(nproc) cores"
hyperfine -N --warmup 3 --runs 30 \
    "$build/tools/dwgtext/dwgtext -r --json $work/drawings" \
    "$python -m tqdudade.batch $work/drawings --out /dev/null"
hyperfine -N --warmup 3 --runs 30 \
    "$python -c pass" \
    "$python -c 'import tqdudade.batch'"
