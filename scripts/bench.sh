#!/usr/bin/env bash
# Measures the overlay handlers against the floor of any overlay query and
# prints a table (run on demand; never part of the tests).
#   bash scripts/bench.sh [--quick | --large | --memory | --folders]
#     (--large: 1,000,000 rows without the status index only, then the filter table)
#   bash scripts/bench.sh --concurrency [SECONDS]   eight threads against a
#                                                   churning writer, per journal mode
#   bash scripts/bench.sh --sync [ROLLBACK_SECONDS [WAL_SECONDS [ROWS]]]
#     a 200-item folder listed while a writer commits 2, 10 and 50 times a second
set -euo pipefail
cd "$(dirname "$0")/.."

. scripts/prepare-build.sh

# A prefix of its own, where the bench stands in as the class verifier: the
# DLL loads into no other program.
export LUMBO_WINEPREFIX="$build/bench-prefix"
export LUMBO_NO_PREFIX_SETUP=1
"$build/wine-run" cmd /c exit
cp "$build/bin/overlay_bench.exe" "$LUMBO_WINEPREFIX/drive_c/windows/system32/verclsid.exe"
mkdir -p "$LUMBO_WINEPREFIX/drive_c/lumbo-bench"
# LUMBO_BENCH_DLL measures another build of the DLL with this bench.
cp "${LUMBO_BENCH_DLL:-$build/bin/lumboExt.dll}" "$LUMBO_WINEPREFIX/drive_c/lumbo-bench/lumboExt.dll"

echo "overlay bench, $(date -u +%Y-%m-%d), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $("$build/wine-run" --version)"
echo "load: $(uptime)"
if [ "${1:-}" = "--concurrency" ]; then
  cp "$build/bin/client_simulator.exe" "$LUMBO_WINEPREFIX/drive_c/lumbo-bench/client_simulator.exe"
  "$build/wine-run" 'C:\windows\system32\verclsid.exe' 'C:\lumbo-bench\lumboExt.dll' 'C:\lumbo-bench' \
    --concurrency 'C:\lumbo-bench\client_simulator.exe' "${2:-60}"
  exit
fi
"$build/wine-run" 'C:\windows\system32\verclsid.exe' 'C:\lumbo-bench\lumboExt.dll' 'C:\lumbo-bench' "$@"
