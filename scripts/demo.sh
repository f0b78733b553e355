#!/usr/bin/env bash
# Shows lumboExt.dll at work, under Wine, beside a simulated lumbo client:
# registers the DLL with the real regsvr32, lists a sample synchronised folder
# with the badges the registered handlers give, explains three of them, runs
# the doctor, sends an outside file in through the context menu (a real shell
# copy), lets the client mark it synchronised, lists again, draws the
# listing, unregisters.
set -euo pipefail
cd "$(dirname "$0")/.."

. scripts/prepare-build.sh
demo="$build/demo"
mkdir -p "$demo"
# A prefix of its own, where the shell host stands in as the class verifier.
export LUMBO_WINEPREFIX="$build/demo-prefix"
export LUMBO_NO_PREFIX_SETUP=1
export DISPLAY=  # headless: the shell copies without dialogs
run() { "$build/wine-run" "$@" 2> >(grep -v -E 'nodrv_CreateWindow|^$' >&2); }

install='C:\Program Files\lumbo'
sync='C:\lumbo-demo\Sync'
outside='C:\lumbo-demo\Outside\report.txt'
host='C:\windows\system32\verclsid.exe'

echo "== preparing the prefix ($LUMBO_WINEPREFIX)"
run cmd /c exit
drive_c="$LUMBO_WINEPREFIX/drive_c"
rm -rf "$drive_c/lumbo-demo" "$drive_c/Program Files/lumbo"
mkdir -p "$drive_c/Program Files/lumbo" "$drive_c/lumbo-demo/Outside"
cp "$build/bin/lumboExt.dll" "$drive_c/Program Files/lumbo/lumboExt.dll"
cp "$build/bin/shell_host.exe" "$drive_c/windows/system32/verclsid.exe"
printf 'Quarterly report\r\n' > "$drive_c/lumbo-demo/Outside/report.txt"

echo "== regsvr32 lumboExt.dll"
run regsvr32 "$install\\lumboExt.dll"

echo "== starting the simulated client on $sync"
fifo="$demo/simulator.in"
rm -f "$fifo" && mkfifo "$fifo"
run "$build/bin/client_simulator.exe" "$install" "$sync" --sample --index <"$fifo" >"$demo/simulator.out" &
simulator=$!
exec 3>"$fifo"
stop() {
  echo quit >&3 2>/dev/null || true
  exec 3>&- || true
  wait "$simulator" 2>/dev/null || true
}
trap stop EXIT
for _ in $(seq 100); do grep -q '^ready' "$demo/simulator.out" 2>/dev/null && break; sleep 0.2; done
grep -q '^ready' "$demo/simulator.out" || { echo "the simulator did not start"; cat "$demo/simulator.out"; exit 1; }

tell() {  # a command to the simulator, answered by "ok"
  local before
  before=$(grep -c '^ok' "$demo/simulator.out" || true)
  echo "$1" >&3
  for _ in $(seq 100); do [ "$(grep -c '^ok' "$demo/simulator.out" || true)" -gt "$before" ] && return; sleep 0.1; done
  echo "the simulator did not answer: $1"; exit 1
}

echo
echo "== the synchronised folder, as Explorer would badge it"
run "$host" tree "$sync"

echo
echo "== why? (from the trace the DLL writes to the debugger)"
for item in 'new notes.txt' 'secret.txt' '隱藏筆記.txt' 'Work' '.git\config'; do
  run "$host" diagnose "$sync\\$item" | grep -v '^      |'
done

echo
echo "== the doctor: what support staff run when badges are missing"
started=$(date +%s%N)
run "$build/bin/lumboDoctor.exe" "$sync\\new notes.txt" || echo "(the doctor found a fault: exit code $?)"
echo "(the doctor took $(( ($(date +%s%N) - started) / 1000000 )) ms, Wine's start included)"

echo
echo "== the context menu of $outside"
run "$host" menu "$outside" --invoke
echo "== the context menu of an item inside the folder"
run "$host" menu "$sync\\synchronised.txt"

echo
echo "== the client uploads report.txt and marks it synchronised; the upload of uploading.txt fails"
tell "status 1 $sync\\report.txt"
run "$host" tree "$sync" | grep 'report.txt' || true
tell "status 0 $sync\\report.txt"
tell "status 2 $sync\\uploading.txt"

echo
echo "== the folder again"
run "$host" tree "$sync" --picture 'C:\lumbo-demo\listing.bmp'
python3 tools/bmp_to_png.py "$drive_c/lumbo-demo/listing.bmp" "$demo/listing.png"
echo "picture of the listing: $demo/listing.png"

echo
echo "== regsvr32 /u lumboExt.dll"
run regsvr32 /u "$install\\lumboExt.dll"
