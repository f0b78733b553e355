#!/bin/sh
# Runs one tool of the ARM64 Windows toolchain: zig's C and C++ compilers and
# archiver, LLVM's windres. CMake calls it through the launchers that
# cmake/zig-aarch64.cmake writes into the build tree.
# usage: driver.sh ZIG TOOL ARGUMENT...
set -eu
zig="$1"
tool="$2"
shift 2
# One cache beside zig for every tree: the paths of the runtime objects zig
# builds there end up in the PDB, so they must not depend on the tree.
export ZIG_GLOBAL_CACHE_DIR="$zig-cache" ZIG_LOCAL_CACHE_DIR="$zig-cache"
case "$tool" in
  cc | c++)
    linked=""
    previous=""
    for arg; do
      case "$arg" in
        # zig ignores -municode and its MinGW start-up code calls only
        # main(): such a program gets a main that hands over to wmain.
        -municode) set -- "$@" "$(dirname "$0")/wmain_entry.cpp" ;;
        -c | -E | -S) linked="" && break ;;
        *.dll | *.exe) [ "$previous" = -o ] && linked="$arg" ;;
      esac
      previous="$arg"
    done
    if [ -z "$linked" ]; then
      exec "$zig" "$tool" -target aarch64-windows-gnu "$@"
    fi
    # lld writes the paths of the objects into the PDB made absolute from
    # $PWD: every tree links from one folder name, a link to the tree, in
    # turns, so the PDB (and its identity in the DLL) do not depend on where
    # the tree lies.
    alias="$zig-link"
    flock "$alias.lock" sh -c '
      tree="$PWD" alias="$1" && shift && ln -sfn "$tree" "$alias" && cd "$alias" && PWD="$alias" exec "$@"
    ' sh "$alias" "$zig" "$tool" -target aarch64-windows-gnu "$@"
    # lld stamps the link time, and zig passes on no option against it.
    python3 "$(dirname "$0")/clear_link_time.py" "$linked" ;;
  ar | ranlib)
    exec "$zig" "$tool" "$@" ;;
  windres)
    # The resource scripts include <winver.h>: preprocessed by zig (with its
    # MinGW headers), through the "clang" that llvm-windres looks for.
    LUMBO_ZIG="$zig" PATH="$(dirname "$0")/windres-clang:$PATH" \
      exec llvm-windres-14 --target=aarch64-w64-mingw32 "$@" ;;
  *)
    echo "driver.sh: unknown tool $tool" >&2
    exit 2 ;;
esac
