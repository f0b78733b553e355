#!/usr/bin/env bash
# Installs what is missing, builds the DLL and the tests, and runs them under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build="${LUMBO_BUILD_DIR:-build}"
cmake -S . -B "$build" -G Ninja
cmake --build "$build"

status=0
(cd "$build" && ctest --output-on-failure --timeout 300) || status=$?

# The prefix's wineserver would otherwise linger for a minute.
WINEPREFIX="$(cd "$build" && pwd)/wineprefix" timeout 30 wineserver -k 2>/dev/null || true
exit "$status"
