#!/usr/bin/env bash
# The Debian package cpack makes of a build configured for the prefix /usr:
# it holds the libraries, the programs, the server's unit, the man pages and
# the Python package, all below /usr, and unpacked into a scratch root its
# dwgtext and its Python package read a drawing as the build's dwgtext does.
#
#   bash tests/package/deb_test.sh BUILD_DIR DRAWING
set -euo pipefail
build=$(realpath "$1")
drawing=$(realpath "$2")
fail() { echo "deb_test: $*" >&2; exit 1; }

rm -f "$build"/tqdudade_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/tqdudade_*.deb)
deb=${debs[0]}

files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}')
for wanted in 'usr/bin/dwgtext' 'usr/bin/dwgtext-pre' 'usr/bin/dwgtext-server' \
    'usr/lib/[^/]*/libdwgtext\.so\.1' 'usr/lib/[^/]*/libTQDUDADE\.so\.1' 'usr/include/dwgtext\.h' \
    'usr/lib/[^/]*/pkgconfig/dwgtext\.pc' 'usr/lib/systemd/system/dwgtext-server\.service' \
    'usr/share/man/man1/dwgtext\.1' 'usr/share/man/man1/dwgtext-server\.1' \
    'usr/lib/python3/dist-packages/tqdudade/__init__\.py' 'usr/lib/python3/dist-packages/tqdudade/_installed\.py'; do
  grep -qx "\./$wanted" <<<"$files" || fail "$(basename "$deb") holds no /$wanted"
done
if grep -v '^\./usr/' <<<"$files"; then fail "$(basename "$deb") holds the files above outside /usr"; fi
grep -qx 'ExecStart=/usr/bin/dwgtext-server.*' < <(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/lib/systemd/system/dwgtext-server.service) ||
  fail "the unit starts a dwgtext-server outside /usr/bin"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
libdir=$(dirname "$(find "$root" -name libdwgtext.so.1)")
expected=$("$build/tools/dwgtext/dwgtext" "$drawing")
[[ -n $expected ]] || fail "the build's dwgtext gives no text of $drawing"
[[ $(LD_LIBRARY_PATH=$libdir "$root/usr/bin/dwgtext" "$drawing") == "$expected" ]] ||
  fail "the packaged dwgtext reads $drawing otherwise"
[[ $(env -u TQDUDADE_DWGTEXT_LIBRARY PYTHONPATH="$root/usr/lib/python3/dist-packages" /usr/bin/python3 -c \
  'import sys, tqdudade; print(*tqdudade.texts(sys.argv[1]), sep="\n")' "$drawing") == "$expected" ]] ||
  fail "the packaged Python package reads $drawing otherwise"
echo "deb_test: $(basename "$deb") holds what it should and reads $(basename "$drawing")"
