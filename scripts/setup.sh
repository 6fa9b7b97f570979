#!/usr/bin/env bash
# Installs what building and testing need, when the machine lacks it.
set -euo pipefail

missing=()
need() { dpkg -s "$1" >/dev/null 2>&1 || missing+=("$1"); }
need cmake
need g++
need libgtest-dev
need googletest
need libbenchmark-dev
# The versioned multilib package: the unversioned g++-multilib conflicts
# with the s390x cross compiler.
need g++-12-multilib
need linux-libc-dev-i386-cross
need ripgrep
need qemu-user
need g++-s390x-linux-gnu
need libc6-dev-s390x-cross
need clang
need libclang-rt-14-dev

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
