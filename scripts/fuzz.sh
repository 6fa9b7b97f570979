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
# fails is written to build/fuzz/artifacts/ and the script fails. When
# dwgtext-server is built, fuzz/request_fuzzer then runs for a quarter of
# SECONDS on requests, from a few seed requests and fuzz/http.dict.
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

if cmake --build "$dir" --target help | grep request_fuzzer >/dev/null; then
  cmake --build "$dir" -j"$(nproc)" --target request_fuzzer
  mkdir -p "$dir/request-seeds" "$dir/request-corpus"
  printf 'GET /health HTTP/1.1\r\nHost: x\r\n\r\n' >"$dir/request-seeds/get"
  { printf 'PUT /rmeta/text HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n\r\n' "$(stat -c %s samples/r14.dwg)"
    cat samples/r14.dwg; } >"$dir/request-seeds/put"
  { printf 'PUT /tika HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\nContent-Encoding: gzip\r\n\r\n'
    gzip -c samples/r12.dwg >"$dir/request-seeds/body.gz"
    printf '%x\r\n' "$(stat -c %s "$dir/request-seeds/body.gz")"; cat "$dir/request-seeds/body.gz"
    printf '\r\n0\r\n\r\n'; rm "$dir/request-seeds/body.gz"; } >"$dir/request-seeds/chunked-gzip"
  { printf 'POST /tika/form/text HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; boundary=b\r\n'
    printf 'Content-Length: %d\r\n\r\n' "$(($(stat -c %s samples/r12.dwg) + 76))"
    printf -- '--b\r\nContent-Disposition: form-data; name="f"; filename="a.dwg"\r\n\r\n'
    cat samples/r12.dwg; printf -- '\r\n--b--\r\n'; } >"$dir/request-seeds/multipart"
  echo "== fuzzing requests for $((seconds / 4))s =="
  "$dir/fuzz/request_fuzzer" "$dir/request-corpus" "$dir/request-seeds" \
    -dict=fuzz/http.dict -max_total_time="$((seconds / 4))" -max_len=65536 -timeout=20 -rss_limit_mb=2048 \
    -artifact_prefix="$dir/artifacts/" -print_final_stats=1 "$@"
fi
