#!/usr/bin/env bash
# Builds and runs every test: the normal build, the same under
# AddressSanitizer and UndefinedBehaviorSanitizer, and a 32-bit build that
# proves the host records' offsets.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
run_suite() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" -j"$jobs" --output-on-failure
}

echo "== normal build =="
run_suite build/test

echo "== AddressSanitizer + UndefinedBehaviorSanitizer =="
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build/sanitize -DTQDUDADE_SANITIZE=ON

echo "== 32-bit build =="
run_suite build/m32 -DTQDUDADE_BUNDLED_GTEST=ON -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686.cmake
