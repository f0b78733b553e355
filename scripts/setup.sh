#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, as root.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  g++-mingw-w64-x86-64-posix
  mingw-w64-tools
  binutils-mingw-w64-x86-64
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
