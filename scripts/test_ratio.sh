#!/usr/bin/env bash
# Lines of tests against lines of code, as the project counts them: the
# non-blank lines of the checkout's source files (C and C++ sources and
# headers, Python, shell, CMake; tracked, or new and not ignored). Tests
# are everything under tests/ and python/tests/ and any file named *_test.*
# or test_*; code is the library (include/ front/ core/ support/ r13/ r12/
# r2004/ dxf/), capi/, tools/, host/ and python/. The test kit (testkit/),
# the fuzzers (fuzz/), these scripts and the benchmarks' own code (bench/,
# but for its *_test.* files) are tools for testing and measuring, on
# neither side.
#
#   bash scripts/test_ratio.sh        prints tests, code and their ratio
#   bash scripts/test_ratio.sh -v     and the lines of each test file
set -euo pipefail
cd "$(dirname "$0")/.."

verbose=false
[[ ${1:-} == -v ]] && verbose=true

# Each tracked source file as "test FILE" or "code FILE", or nothing.
sides() {
  git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' '*.c' '*.py' '*.sh' '*.cmake' '*CMakeLists.txt' |
    sort -u | while IFS= read -r file; do [[ -f $file ]] && echo "$file"; done | awk '
    /^(testkit|fuzz|scripts)\// { next }
    { n = split($0, part, "/"); base = part[n] }
    /^(tests|python\/tests)\// || base ~ /_test\./ || base ~ /^test_/ { print "test", $0; next }
    /^(include|front|core|support|r13|r12|r2004|dxf|capi|tools|host|python)\// { print "code", $0 }'
}
lines() { sides | awk -v side="$1" '$1 == side { print $2 }' | xargs cat | grep -c '[^[:space:]]'; }

if $verbose; then
  sides | awk '$1 == "test" { print $2 }' | while IFS= read -r file; do
    printf '%6d %s\n' "$(grep -c '[^[:space:]]' "$file")" "$file"
  done | sort -rn
fi
tests=$(lines test)
code=$(lines code)
echo "tests $tests, code $code, ratio $(awk -v t="$tests" -v c="$code" 'BEGIN { printf "%.3f", t / c }')"
