#!/usr/bin/env bash
# Builds and runs every test, with warnings as errors:
#
#   bash scripts/test.sh         the normal build, and the same under
#                                AddressSanitizer and UndefinedBehaviorSanitizer
#   bash scripts/test.sh --all   also the full fault sample under the
#                                sanitizers, a 32-bit build that proves the
#                                host records' offsets, a big-endian s390x
#                                build, the Windows DLLs with the x64 tests
#                                under wine, a short fuzzing run,
#                                dwgtext-server under load for 60 s, and
#                                the Debian package (cpack -G DEB) checked
#                                and unpacked with dpkg -x
#
# The fault sweep is the slow part under the sanitizers and emulators:
# there the default command fails a tenth of the calls (see
# tests/faultinjection_test.cpp).
set -euo pipefail
cd "$(dirname "$0")/.."

all=false
case ${1:-} in
  --all) all=true ;;
  "") ;;
  *) echo "usage: bash scripts/test.sh [--all]" >&2; exit 2 ;;
esac
bash scripts/setup.sh "$($all && echo all || echo test)"

jobs=$(nproc)
run_suite() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTQDUDADE_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" -j"$jobs" --output-on-failure ${CTEST_EXCLUDE:+-E "$CTEST_EXCLUDE"}
}

echo "== normal build =="
run_suite build/test

echo "== AddressSanitizer + UndefinedBehaviorSanitizer =="
# An empty sample is the default one.
sanitizer_sample=$($all || echo light)
TQDUDADE_FAULT_SAMPLE=$sanitizer_sample ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build/sanitize -DTQDUDADE_SANITIZE=ON

$all || exit 0

echo "== 32-bit build =="
TQDUDADE_FAULT_SAMPLE=light \
  run_suite build/m32 -DTQDUDADE_BUNDLED_GTEST=ON -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686.cmake

# dwgtext and libdwgtext decode code pages through the C library's iconv,
# whose conversion modules the s390x cross libc does not ship.
echo "== big-endian s390x build =="
TQDUDADE_FAULT_SAMPLE=light CTEST_EXCLUDE='^dwgtext_' \
  run_suite build/s390x -DTQDUDADE_BUNDLED_GTEST=ON -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-s390x.cmake

bash scripts/windows.sh

echo "== dwgtext-server under load =="
/usr/bin/python3 tools/server/load_test.py --server build/test/tools/server/dwgtext-server \
  --dwgtext build/test/tools/dwgtext/dwgtext --samples samples

# A Release build for the prefix /usr, as a distribution installs it.
echo "== Debian package =="
cmake -S . -B build/deb -DCMAKE_BUILD_TYPE=Release -DTQDUDADE_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build/deb -j"$jobs"
bash tests/package/deb_test.sh build/deb samples/r2000.dwg

echo "== fuzzing =="
bash scripts/fuzz.sh 60
