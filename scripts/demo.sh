#!/usr/bin/env bash
# Builds the library and dwgtext, then prints the texts of the bundled
# sample drawings.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh demo
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTQDUDADE_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)" --target dwgtext
build/release/tools/dwgtext/dwgtext samples/*.dwg
echo
echo "dwgtext is built at $(pwd)/build/release/tools/dwgtext/dwgtext"
