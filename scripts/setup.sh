#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, as root.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  g++-mingw-w64-x86-64-posix
  g++-mingw-w64-i686-posix
  mingw-w64-tools
  binutils-mingw-w64-x86-64
  binutils-mingw-w64-i686
  wine64
  wine
  libboost1.81-dev
  cmake
  ninja-build
  googletest
  python3
  npm
  attr
  locales
  fonts-wqy-microhei
  fonts-symbola
  # The ARM64 build: LLVM's windres, objcopy and readobj beside zig (which
  # cmake/zig.cmake fetches); Debian's debootstrap and qemu for its suite
  # come through scripts/arm64-root.sh.
  llvm-14
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# npm and python3 may come from outside Debian's packages on some machines.
if command -v npm >/dev/null 2>&1; then missing=("${missing[@]/npm}"); fi
if command -v python3 >/dev/null 2>&1; then missing=("${missing[@]/python3}"); fi
filtered=()
for p in "${missing[@]}"; do [ -n "$p" ] && filtered+=("$p"); done

if [ ${#filtered[@]} -gt 0 ]; then
  echo "setup: installing ${filtered[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${filtered[@]}"
else
  echo "setup: all packages present"
fi

# Wine's 32-bit part, for the 32-bit build's tests, from Debian's i386 packages:
# only where the kernel runs 32-bit programs; elsewhere it cannot run. Our
# scripts start each architecture's loader by name, so an installed wine32
# never changes what the 64-bit tree runs.
if sh "$(dirname "$0")/runs-32bit-programs.sh"; then
  if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
    echo "setup: installing wine32:i386"
    export DEBIAN_FRONTEND=noninteractive
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    apt-get update -q
    apt-get install -y -q --no-install-recommends wine32:i386
  fi
else
  echo "setup: this kernel runs no 32-bit programs: no 32-bit Wine, the 32-bit build is not run"
fi
