#!/usr/bin/env bash
# Installs what a task needs, when the machine lacks it:
#
#   bash scripts/setup.sh demo    cmake, a C++ compiler (iconv is in the C library)
#                                 and Python 3, for the Python package
#   bash scripts/setup.sh test    also GoogleTest, Google Benchmark, ripgrep,
#                                 Recoll, pytest, pip and Dask's distributed,
#                                 for the tests that run them, and cpp-httplib,
#                                 curl and Python's requests for dwgtext-server
#                                 and its tests
#   bash scripts/setup.sh all     also the 32-bit, s390x and Windows cross
#                                 toolchains, qemu, wine and clang, for
#                                 scripts/test.sh --all
set -euo pipefail

task=${1:-test}
packages=(cmake g++ python3)
if [[ $task == test || $task == all ]]; then
  packages+=(libgtest-dev googletest libbenchmark-dev pkg-config ripgrep recoll
    python3-pytest python3-pip python3-setuptools python3-distributed
    libcpp-httplib-dev curl python3-requests python3-ezdxf)
fi
if [[ $task == all ]]; then
  # The versioned multilib package: the unversioned g++-multilib conflicts
  # with the s390x cross compiler.
  packages+=(g++-12-multilib linux-libc-dev-i386-cross qemu-user g++-s390x-linux-gnu libc6-dev-s390x-cross
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
