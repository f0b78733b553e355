#!/usr/bin/env bash
# Makes the release packages from a clean build of this tree: a 64-bit, a
# 32-bit and an ARM64 build (optimised, debug symbols apart), each zipped with
# its install scripts and the installer's text, and SHA256SUMS for the zips.
#
#   bash scripts/release.sh            writes build/dist/
#   LUMBO_RELEASE_DIR=FOLDER bash scripts/release.sh
#                                      builds and writes under FOLDER instead
#                                      (a second folder shows the packages are
#                                      reproducible: the checksums are equal)
set -euo pipefail
cd "$(dirname "$0")/.."
source_root="$(pwd)"

bash scripts/setup.sh >/dev/null
out="${LUMBO_RELEASE_DIR:-build}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
if [ -n "$(git status --porcelain 2>/dev/null)" ]; then
  echo "release: note: the tree has uncommitted changes; the packages hold them"
fi

dist="$out/dist"
rm -rf "$dist" && mkdir -p "$dist"
declare -A toolchain=([win64]=mingw-w64-x86_64 [win32]=mingw-w64-i686 [arm64]=zig-aarch64)
for arch in win64 win32 arm64; do
  tree="$out/release/$arch"
  rm -rf "$tree"  # a clean build: nothing of an earlier one may leak in
  cmake -S "$source_root" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
        -DCMAKE_TOOLCHAIN_FILE="$source_root/cmake/${toolchain[$arch]}.cmake" >/dev/null
  cmake --build "$tree" --target lumbo_package | tail -n 1
  cp "$tree"/package/lumboExt-*-"$arch".zip "$dist/"
done
(cd "$dist" && sha256sum lumboExt-*.zip >SHA256SUMS)
echo "release: $dist"
(cd "$dist" && ls -l lumboExt-*.zip | awk '{print "  " $NF ": " $5 " bytes"}' && sed 's/^/  /' SHA256SUMS)
