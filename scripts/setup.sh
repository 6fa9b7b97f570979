#!/usr/bin/env bash
# Installs what building and testing need, when the machine lacks it.
set -euo pipefail

missing=()
need() { dpkg -s "$1" >/dev/null 2>&1 || missing+=("$1"); }
need cmake
need g++
need libgtest-dev
need googletest
need g++-multilib
need ripgrep
need qemu-user

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
