#!/usr/bin/env bash
# Installs a build into a fresh prefix, checks what lands where, and builds
# the C host of examples/ against the installed copy twice: through pkg-config and
# through find_package(TQDUDADE). Both, and the installed dwgtext, must print
# the texts of the drawing given. Then the same for the C API: the example
# program and CMake project of the README's "The C API" section, taken from
# the README itself, must print what the installed dwgtext prints of
# API_DRAWING.
#
#   install_test.sh BUILD_DIR CMAKE C_COMPILER DRAWING README API_DRAWING
set -euo pipefail
build=$1 cmake=$2 cc=$3 drawing=$4 readme=$5 api_drawing=$6
examples=$(cd "$(dirname "$0")/../../examples" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "install_test: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

pc=$(find "$prefix" -name TQDUDADE.pc)
[[ -n $pc ]] || fail "no TQDUDADE.pc installed"
libdir=$(dirname "$(dirname "$pc")")
for file in include/TQDUDADE.h include/dwgtext.h bin/dwgtext share/man/man1/dwgtext.1; do
  [[ -f $prefix/$file ]] || fail "$file is not installed"
done
for package in TQDUDADE dwgtext; do
  [[ -f $libdir/cmake/$package/${package}Config.cmake ]] || fail "no CMake package config of $package"
  [[ -f $libdir/pkgconfig/$package.pc ]] || fail "no $package.pc installed"
  real=$(readlink -f "$libdir/lib$package.so")
  [[ $real =~ lib$package\.so\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "lib$package.so leads to $real"
  soname=$(objdump -p "$real" | awk '$1 == "SONAME" {print $2}')
  [[ $soname =~ ^lib$package\.so\.[0-9]+$ && -e $libdir/$soname ]] || fail "SONAME '$soname' is not installed"
done

# What every consumer must print: the texts as delivered, of the classic
# kinds, which are all the library's own protocol gives.
"$prefix/bin/dwgtext" --raw --kinds=classic "$drawing" >"$work/expected"
[[ -s $work/expected ]] || fail "the installed dwgtext printed nothing"
# dwgtext-pre runs the dwgtext beside it, whatever PATH holds.
PATH=/nonexistent "$prefix/bin/dwgtext-pre" --raw --kinds=classic "$drawing" >"$work/pre" && cmp -s "$work/pre" "$work/expected" ||
  fail "the installed dwgtext-pre does not print what dwgtext prints"

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

# The README's C API example, as the README has it: the first ```c and
# ```cmake blocks of its section "The C API".
section() { awk '/^## /{inside = ($0 == "## The C API")} inside' "$readme"; }
block() { section | awk -v lang="$1" '/^```/{if (inside) exit; if ($0 == "```" lang) {inside = 1; next}} inside'; }
mkdir "$work/api"
block c >"$work/api/texts.c"
block cmake >"$work/api/CMakeLists.txt"
[[ -s $work/api/texts.c && -s $work/api/CMakeLists.txt ]] || fail "the README has no C API example"
(( $(wc -l <"$work/api/texts.c") <= 30 )) || fail "the README's C API example is longer than a screen"

"$prefix/bin/dwgtext" "$api_drawing" >"$work/api_expected"
[[ -s $work/api_expected ]] || fail "the installed dwgtext printed nothing"
# shellcheck disable=SC2046
"$cc" -Wall -Werror "$work/api/texts.c" -o "$work/texts_pc" $(pkg-config --cflags --libs dwgtext) -Wl,-rpath,"$libdir"
"$work/texts_pc" "$api_drawing" | cmp - "$work/api_expected" || fail "the README's example built with pkg-config printed other texts"

"$cmake" -S "$work/api" -B "$work/api_consumer" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" >/dev/null
"$cmake" --build "$work/api_consumer" >/dev/null
"$work/api_consumer/texts" "$api_drawing" | cmp - "$work/api_expected" ||
  fail "the README's example built with find_package(dwgtext) printed other texts"

echo "install_test: installed layout, pkg-config and find_package of TQDUDADE and dwgtext all work"
