#!/bin/bash
# Installs, only when missing, everything the build and the tests need on a Debian 12 machine:
# CMake and Ninja, g++, clang with its sanitizer and fuzzer runtimes, the two mingw-w64 cross
# compilers (POSIX threads), wine64, Xvfb, ImageMagick, GoogleTest and Google Benchmark, and the
# two installer builders the companion's tests use (wixl, with msitools, and makensis from nsis).
# Safe to run again: it only asks apt for what is not installed yet.
set -euo pipefail

packages=(
  cmake ninja-build g++ make
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  wine64
  xvfb imagemagick x11-utils
  googletest libgtest-dev libbenchmark-dev
  zip unzip file
  msitools wixl nsis
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "bootstrap: everything is installed"
  exit 0
fi

echo "bootstrap: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
echo "bootstrap: done"
