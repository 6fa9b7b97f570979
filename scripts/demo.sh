#!/usr/bin/env bash
# Builds the library, libdwgtext, dwgtext and dwgtext-server, prints the texts
# of the bundled sample drawings, and installs the build under /usr/local,
# where Debian's /usr/bin/python3 finds the Python package tqdudade.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh demo
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTQDUDADE_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"
build/release/tools/dwgtext/dwgtext samples/*.dwg
cmake --install build/release --prefix /usr/local >/dev/null
ldconfig
echo
echo "dwgtext and dwgtext-server are built in $(pwd)/build/release/tools and installed in /usr/local/bin,"
echo "with libdwgtext and the Python package tqdudade:"
echo "  dwgtext --properties samples/r2018.dwg"
echo "  dwgtext-server &   # then: curl -T samples/r2018.dwg http://127.0.0.1:9998/tika"
echo "  /usr/bin/python3 -c 'import tqdudade; print(tqdudade.texts(\"samples/r2000.dwg\"))'"
