#!/usr/bin/env bash
# Builds the DLL, the tests and the tools for ARM64 Windows (cmake/zig-aarch64.cmake)
# and runs the suite under the emulated ARM64 Wine of scripts/arm64-root.sh.
# The build and its package are made on every machine; the suite runs where
# the arm64 root can be made and run (root, binfmt_misc), otherwise it says
# why not and passes. Writes the suite's status ("arm64 ran" or
# "arm64 NOT RUN (why)") into TREE/suite-status for the test command.
#
# usage: scripts/test-arm64.sh TREE        (the test command passes build/arm64)
set -euo pipefail
cd "$(dirname "$0")/.."
tree="$1"
mkdir -p "$tree"
status_file="$tree/suite-status"
echo "arm64 NOT RUN (stopped before the suite)" >"$status_file"
took() { echo "arm64: $1 took $((SECONDS - started)) s"; started=$SECONDS; }

started=$SECONDS
root=""
why=""
if root="$(bash scripts/arm64-root.sh 2> >(tee "$tree/arm64-root.log" >&2))"; then
  took "the arm64 root"
else
  why="$(tail -n 1 "$tree/arm64-root.log" | sed 's/^arm64: //')"
  root=""
fi

cmake -S . -B "$tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/zig-aarch64.cmake" \
      -DLUMBO_ARM64_ROOT="$root" >/dev/null
cmake --build "$tree"
cmake --build "$tree" --target lumbo_package | tail -n 1
took "the ARM64 build (zig fetched and its runtime built when not cached)"

if [ -z "$root" ]; then
  echo "arm64 NOT RUN ($why)" | tee "$status_file"
  exit 0
fi
echo "== the tests of $tree (ARM64, in an ARM64 prefix of the emulated Wine)"
while read -r skipped; do echo "arm64: skipped $skipped"; done <"$tree/skipped-tests.txt"
status=0
(cd "$tree" && ctest --output-on-failure --timeout 300) || status=$?
took "the ARM64 suite"
echo "arm64 ran" >"$status_file"
exit "$status"
