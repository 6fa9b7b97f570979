#!/usr/bin/env bash
# Installs what a task needs, when the machine lacks it:
#
#   bash scripts/setup.sh demo    cmake, a C++ compiler (iconv is in the C library),
#                                 Python 3, for the Python package, and
#                                 libmicrohttpd, libexttextcat and zlib with
#                                 pkg-config, for dwgtext-server
#   bash scripts/setup.sh test    also GoogleTest, Google Benchmark, ripgrep,
#                                 Recoll, pytest, pip, setuptools, wheel and
#                                 venv (to build and install the Python package
#                                 offline) and Dask's distributed, for the tests
#                                 that run them, and curl and Python's
#                                 requests and httpx for dwgtext-server's tests
#   bash scripts/setup.sh all     also the 32-bit, s390x and Windows cross
#                                 toolchains, qemu, wine, clang and dpkg-dev
#                                 (for the Debian package), for
#                                 scripts/test.sh --all
set -euo pipefail

task=${1:-test}
packages=(cmake g++ python3 pkg-config libmicrohttpd-dev libexttextcat-dev zlib1g-dev)
if [[ $task == test || $task == all ]]; then
  packages+=(libgtest-dev googletest libbenchmark-dev ripgrep recoll
    python3-pytest python3-pip python3-setuptools python3-wheel python3-venv python3-distributed
    curl python3-requests python3-httpx python3-ezdxf)
fi
if [[ $task == all ]]; then
  # The versioned multilib package: the unversioned g++-multilib conflicts
  # with the s390x cross compiler.
  packages+=(dpkg-dev g++-12-multilib linux-libc-dev-i386-cross qemu-user g++-s390x-linux-gnu libc6-dev-s390x-cross
    clang libclang-rt-14-dev g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
