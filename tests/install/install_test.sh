#!/usr/bin/env bash
# Installs a build into a fresh prefix, checks what lands where, and builds
# the C host of examples/ against the installed copy twice: through pkg-config and
# through find_package(TQDUDADE). Both, and the installed dwgtext, must print
# the texts of the drawing given.
#
#   install_test.sh BUILD_DIR CMAKE C_COMPILER DRAWING
set -euo pipefail
build=$1 cmake=$2 cc=$3 drawing=$4
examples=$(cd "$(dirname "$0")/../../examples" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "install_test: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

pc=$(find "$prefix" -name TQDUDADE.pc)
[[ -n $pc ]] || fail "no TQDUDADE.pc installed"
libdir=$(dirname "$(dirname "$pc")")
for file in include/TQDUDADE.h bin/dwgtext share/man/man1/dwgtext.1; do
  [[ -f $prefix/$file ]] || fail "$file is not installed"
done
[[ -f $libdir/cmake/TQDUDADE/TQDUDADEConfig.cmake ]] || fail "no CMake package config"
real=$(readlink -f "$libdir/libTQDUDADE.so")
[[ $real =~ libTQDUDADE\.so\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "libTQDUDADE.so leads to $real"
soname=$(objdump -p "$real" | awk '$1 == "SONAME" {print $2}')
[[ $soname =~ ^libTQDUDADE\.so\.[0-9]+$ && -e $libdir/$soname ]] || fail "SONAME '$soname' is not installed"

# What every consumer must print: the texts as delivered.
"$prefix/bin/dwgtext" --raw "$drawing" >"$work/expected"
[[ -s $work/expected ]] || fail "the installed dwgtext printed nothing"

export PKG_CONFIG_PATH=$libdir/pkgconfig
[[ $(pkg-config --modversion TQDUDADE) =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "pkg-config has no version"
# shellcheck disable=SC2046
"$cc" -Wall -Werror "$examples/print_texts.c" -o "$work/print_texts_pc" \
  $(pkg-config --cflags --libs TQDUDADE) -Wl,-rpath,"$libdir"
"$work/print_texts_pc" "$drawing" | cmp - "$work/expected" || fail "the pkg-config build printed other texts"

"$cmake" -S "$examples" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_COMPILER="$cc" >/dev/null
"$cmake" --build "$work/consumer" >/dev/null
"$work/consumer/print_texts" "$drawing" | cmp - "$work/expected" || fail "the find_package build printed other texts"

echo "install_test: installed layout, pkg-config and find_package(TQDUDADE) all work"
