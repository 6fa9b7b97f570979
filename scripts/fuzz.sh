#!/usr/bin/env bash
# Fuzzes a whole reader session with libFuzzer:
#
#   bash scripts/fuzz.sh [SECONDS] [libFuzzer options...]
#
# Builds fuzz/dwg_fuzzer with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer in build/fuzz, writes the seed drawings of every
# version, adds the real drawings of ../shared/corpus and
# ../shared/corpus-r2004 and the hostile inputs of tests/regressions and
# ../shared/regressions when they are there, and runs for SECONDS (default 60) with the dictionary fuzz/dwg.dict. The
# corpus it grows stays in build/fuzz/corpus for the next run; an input that
# fails is written to build/fuzz/artifacts/ and the script fails.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
dir=build/fuzz

CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTQDUDADE_FUZZ=ON -DTQDUDADE_TESTS=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target dwg_fuzzer make_seeds

mkdir -p "$dir/seeds" "$dir/corpus" "$dir/artifacts"
"$dir/fuzz/make_seeds" "$dir/seeds"
for corpus in ../shared/corpus ../shared/corpus-r2004 tests/regressions ../shared/regressions; do
  if compgen -G "$corpus/*.dwg" >/dev/null; then
    cp "$corpus"/*.dwg "$dir/seeds/"
  fi
done

echo "== fuzzing for ${seconds}s =="
"$dir/fuzz/dwg_fuzzer" "$dir/corpus" "$dir/seeds" \
  -dict=fuzz/dwg.dict -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$dir/artifacts/" -print_final_stats=1 "$@"
