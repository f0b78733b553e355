# Sourced by the scripts: installs what is missing, builds if needed, and sets
# `build` to the build folder's absolute path.
bash scripts/setup.sh >/dev/null
build="${LUMBO_BUILD_DIR:-build}"
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" | tail -n 1
build="$(cd "$build" && pwd)"
