#!/usr/bin/env bash
# Installs each release package into a fresh Wine prefix of its architecture,
# as a client's installer would: install.cmd registers the DLL from the folder
# it was unpacked to, the shell host (of the same architecture, reaching the
# DLL only through COM) lists a sample folder with its badges, uninstall.cmd
# removes what registration wrote, and the other architecture's install.cmd
# refuses to register anything.
#
# usage: tests/package_test.sh DIST_FOLDER BUILD64 BUILD32 BUILDARM64
#   The builds are test build trees (their wine-run, shell host and client
#   simulator); each prefix is made anew under BUILD64/package-test.
#   Where the kernel runs no 32-bit programs there is no 32-bit prefix: the
#   32-bit package is then checked as a file and refused in the 64-bit prefix.
#   The ARM64 package gets a prefix of the emulated ARM64 Wine where its suite
#   ran (BUILDARM64/suite-status).
set -uo pipefail

dist="$(cd "$1" && pwd)"
declare -A build=([win64]="$(cd "$2" && pwd)" [win32]="$(cd "$3" && pwd)" [arm64]="$(cd "$4" && pwd)")
declare -A objdump=([win64]=x86_64-w64-mingw32-objdump [win32]=i686-w64-mingw32-objdump [arm64]=llvm-objdump-14)
declare -A debug_file=([win64]=lumboExt.dll.debug [win32]=lumboExt.dll.debug [arm64]=lumboExt.pdb)
# The processor each package is for, as Windows names it.
declare -A processor=([win64]=AMD64 [win32]=x86 [arm64]=ARM64)
work="${build[win64]}/package-test"
source_root="$(cd "$(dirname "$0")/.." && pwd)"

passed=0
failed=0
check() {  # check NAME COMMAND...: one line per check, counted
  local name="$1"
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok     $name"
  else
    failed=$((failed + 1))
    echo "FAILED $name"
    return 1
  fi
}

package_of() { ls "$dist"/lumboExt-*-"$1".zip 2>/dev/null | head -n 1; }

# The keys registration writes, and the shared ones above them that stay.
clsids=({2B8987D5-ECE1-4918-8CCE-F694624DEF4A} {B1C1C94C-280B-48FD-9171-AE0CDF13316F}
        {100E0AF5-A72F-4FBF-A6C6-56EE95107183} {B8C0EF9F-4AB8-4344-8533-77E89FEA96BA})
libid='{8D1155F0-0AFC-4CFE-9675-A033706D4CA9}'
overlays='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\ShellIconOverlayIdentifiers'
registered_keys=(
  "$overlays\\.lumboExt0" "$overlays\\.lumboExt1" "$overlays\\.lumboExt2"
  'HKCR\*\ShellEx\ContextMenuHandlers\lumboExt'
  'HKCR\lnkfile\ShellEx\ContextMenuHandlers\lumboExt'
  'HKCR\Directory\ShellEx\ContextMenuHandlers\lumboExt'
  'HKCR\AppID\lumboExt.DLL'
  'HKCR\lumboExt.lumboExt0.1' 'HKCR\lumboExt.lumboShlExt'
  "HKCR\\TypeLib\\$libid")
for clsid in "${clsids[@]}"; do registered_keys+=("HKCR\\CLSID\\$clsid"); done
shared_keys=('HKCR\CLSID' 'HKCR\AppID' "$overlays"
  'HKCR\*\ShellEx\ContextMenuHandlers' 'HKCR\lnkfile\ShellEx\ContextMenuHandlers'
  'HKCR\Directory\ShellEx\ContextMenuHandlers')

run_script() { run cmd /c 'C:\as-processor.cmd' "${processor[$arch]}" "$1"; }
run() { "${build[$arch]}/wine-run" "$@" 2> >(grep -v -E 'nodrv_CreateWindow|^$' >&2); }
# The registry view each package's installer writes to: the native 64-bit one
# on 64-bit Windows, the only one on 32-bit Windows. Named outright, so that a
# reg.exe of the other architecture cannot read the other view.
declare -A registry_view=([win64]=/reg:64 [win32]=/reg:32 [arm64]=/reg:64)
reg_query() { run reg query "$@" "${registry_view[$arch]}"; }
key_exists() { reg_query "$1" >/dev/null 2>&1; }
all_keys_exist() { local k; for k in "$@"; do key_exists "$k" || { echo "  missing: $k"; return 1; }; done; }
no_key_exists() { local k; for k in "$@"; do ! key_exists "$k" || { echo "  still there: $k"; return 1; }; done; }
default_value_is() {  # KEY TEXT: the key's default value is exactly TEXT
  reg_query "$1" /ve 2>/dev/null | tr -d '\r' | grep -q -F -x "    (Default)    REG_SZ    $2"
}
says() { grep -q -F -- "$2" <<<"$1" || { echo "  expected \"$2\" in:"; sed 's/^/  | /' <<<"$1"; return 1; }; }
badge_is() { grep -q -E "^ +$(sed 's/[.\\]/\\&/g' <<<"$1") +$2\$" <<<"$listing" || { echo "  $1: not $2"; return 1; }; }
exports_are_undecorated() {
  local table
  table="$("${objdump[$arch]}" -p "$1")"
  local name
  for name in DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer; do
    grep -q -E "^\s+\[\s*[0-9]+\] \+?(base\[ *[0-9]+\] )?(0x[0-9a-f]+ )?$name\$" <<<"$table" ||
      { echo "  $name is not exported under that name"; return 1; }
  done
}
exports_exactly_four() {
  local names
  names="$(llvm-readobj-14 --coff-exports "$1" | sed -n 's/^ *Name: //p' | LC_ALL=C sort | tr '\n' ' ')"
  [ "$names" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ] ||
    { echo "  exports: $names"; return 1; }
}
imports_only_system_dlls() {  # no runtime DLL of a compiler (all are linked in)
  local dlls
  dlls="$(llvm-readobj-14 --coff-imports "$1" | sed -n 's/^ *Name: //p' | grep -i '\.dll$')"
  ! grep -i -E 'libstdc|libgcc|libc\+\+|libunwind|winpthread|msvcp|vcruntime' <<<"$dlls" ||
    { echo "  imports: $(tr '\n' ' ' <<<"$dlls")"; return 1; }
}
names_its_pdb() { llvm-readobj-14 --coff-debug-directory "$1" | grep -q -x ' *PDBFileName: lumboExt.pdb'; }
holds_no_build_path() { ! grep -a -q -F "$source_root" "$1" && ! grep -a -q -F "${build[$arch]}" "$1"; }
crlf_only() { local f; for f; do ! grep -q -v $'\r$' "$f" || { echo "  $f: a line without CR"; return 1; }; done; }
has_section() { "${objdump[$arch]}" -h "$1" | grep -q -F " $2 "; }

unpack() {  # unpack PACKAGE FOLDER: its files straight into FOLDER
  local scratch
  scratch="$(mktemp -d)"
  python3 -m zipfile -e "$1" "$scratch"
  mkdir -p "$2"
  cp "$scratch"/*/* "$2"/
  rm -rf "$scratch"
}

# What each package holds.
for arch in win64 win32 arm64; do
  package="$(package_of "$arch")"
  echo "== $(basename "${package:-lumboExt-?-$arch.zip}")"
  check "$arch: the package exists" test -f "$package" || continue
  files="$work/$arch-files"
  rm -rf "$files" && unpack "$package" "$files"
  check "$arch: it holds the DLL, its debug file, the doctor, the two scripts and the text" \
    eval 'diff <(cd "$files" && LC_ALL=C ls) <(printf "%s\n" INSTALL.txt install.cmd lumboDoctor.exe lumboExt.dll ${debug_file[$arch]} uninstall.cmd)'
  check "$arch: the doctor is stripped, holds no build path and is named in INSTALL.txt" \
    eval '! has_section "$files/lumboDoctor.exe" .debug_info && holds_no_build_path "$files/lumboDoctor.exe" &&
          grep -q -F lumboDoctor.exe "$files/INSTALL.txt"'
  if [ "$arch" != arm64 ]; then
    check "$arch: the DLL exports its four entry points by their plain names" \
      exports_are_undecorated "$files/lumboExt.dll"
    check "$arch: the DLL is stripped and links its debug file" \
      eval '! has_section "$files/lumboExt.dll" .debug_info && has_section "$files/lumboExt.dll" .gnu_debuglink &&
            has_section "$files/lumboExt.dll.debug" .debug_info'
  else
    check "$arch: the DLL carries no DWARF and names its PDB beside it" \
      eval '! has_section "$files/lumboExt.dll" .debug_info && names_its_pdb "$files/lumboExt.dll"'
  fi
  check "$arch: the DLL exports exactly its four entry points" exports_exactly_four "$files/lumboExt.dll"
  check "$arch: the DLL imports no compiler runtime DLL" imports_only_system_dlls "$files/lumboExt.dll"
  check "$arch: neither the DLL nor its debug file holds a build path" \
    eval 'holds_no_build_path "$files/lumboExt.dll" && holds_no_build_path "$files/${debug_file[$arch]}"'
  check "$arch: the scripts and the text end their lines with CR LF" \
    crlf_only "$files/install.cmd" "$files/uninstall.cmd" "$files/INSTALL.txt"
done

# Each package installed into a fresh prefix of its architecture, where this
# machine runs one: 32-bit Wine needs a kernel that runs 32-bit programs.
prefix_archs=(win64)
if sh "$source_root/scripts/runs-32bit-programs.sh" && [ -x /usr/lib/wine/wine ]; then
  prefix_archs+=(win32)
else
  echo "== no 32-bit prefix: this kernel runs no 32-bit programs (the win32 package is checked only as above and in the 64-bit prefix)"
fi
if grep -q -x "arm64 ran" "${build[arm64]}/suite-status" 2>/dev/null; then
  prefix_archs+=(arm64)
else
  echo "== no ARM64 prefix: the ARM64 suite did not run here (the arm64 package is checked only as above and in the 64-bit prefix)"
fi
# The packages each prefix must refuse.
declare -A others=([win64]="win32 arm64" [win32]="win64 arm64" [arm64]="win64 win32")
for arch in "${prefix_archs[@]}"; do
  package="$(package_of "$arch")"
  [ -f "$package" ] || continue
  echo "== $(basename "$package") in a fresh $arch prefix"

  prefix="$work/$arch-prefix"
  "${build[$arch]}/wine-run" cmd /c exit >/dev/null 2>&1 || true  # the build tree's own prefix, warm
  export LUMBO_WINEPREFIX="$prefix" LUMBO_NO_PREFIX_SETUP=1 DISPLAY=
  [ -d "$prefix" ] && WINEPREFIX="$prefix" timeout 30 wineserver -k 2>/dev/null
  rm -rf "$prefix" && mkdir -p "$work"
  run cmd /c exit
  drive_c="$prefix/drive_c"
  # A script runs as on Windows of this package's processor. The emulated
  # ARM64 Wine says x86, whatever the environment says, so the variable is
  # set inside the command prompt itself.
  printf '@set PROCESSOR_ARCHITECTURE=%%1\r\n@call "%%~2"\r\n@exit /b %%errorlevel%%\r\n' >"$drive_c/as-processor.cmd"
  unpack "$package" "$drive_c/Program Files/lumbo"
  install='C:\Program Files\lumbo'
  dll="$install\\lumboExt.dll"


  output="$(run_script "$install\\install.cmd")"
  code=$?
  check "$arch: install.cmd exits 0" test "$code" -eq 0
  check "$arch: install.cmd says Explorer must restart" says "$output" "after it restarts"
  check "$arch: the classes, overlay and menu keys and the type library are registered" \
    all_keys_exist "${registered_keys[@]}"
  check "$arch: the classes are served by the installed DLL" \
    default_value_is "HKCR\\CLSID\\${clsids[0]}\\InprocServer32" "$dll"
  check "$arch: the type library is registered for $arch" \
    default_value_is "HKCR\\TypeLib\\$libid\\1.0\\409\\$arch" "$dll"

  # Explorer's part: the shell host, as the class verifier, beside a simulated client.
  cp "${build[$arch]}/bin/shell_host.exe" "$drive_c/windows/system32/verclsid.exe"
  fifo="$work/$arch-simulator.in"
  rm -f "$fifo" && mkfifo "$fifo"
  run "${build[$arch]}/bin/client_simulator.exe" 'C:\lumbo' 'C:\lumbo-sync' --sample \
    <"$fifo" >"$work/$arch-simulator.out" &
  simulator=$!
  exec 3>"$fifo"
  for _ in $(seq 150); do grep -q '^ready' "$work/$arch-simulator.out" 2>/dev/null && break; sleep 0.2; done
  listing="$(run 'C:\windows\system32\verclsid.exe' tree 'C:\lumbo-sync' | tr -d '\r')"
  # The support tool, run from the installed package on this healthy machine.
  doctor="$(run "$install\\lumboDoctor.exe" | tr -d '\r')"
  doctor_code=$?
  echo quit >&3
  exec 3>&-
  wait "$simulator"
  check "$arch: the shell host lists the sample folder with its badges" eval '
    badge_is synchronised.txt synchronised && badge_is uploading.txt pending &&
    badge_is broken.pdf failed && badge_is "Work\\" pending && badge_is secret.txt none &&
    badge_is "new notes.txt" pending' || sed 's/^/  | /' <<<"$listing"
  check "$arch: the installed doctor finds nothing failed (exit 0)" eval '[ "$doctor_code" -eq 0 ] &&
    ! grep -q "^FAIL" <<<"$doctor" && grep -q "^ok   registration.dll: .* the doctor.s own version" <<<"$doctor"' ||
    sed 's/^/  | /' <<<"$doctor"

  if [ "$arch" = win64 ] && [ "${prefix_archs[*]}" = "win64 win32" ]; then
    # From a 32-bit command prompt the script runs itself again in the native one.
    output="$(run 'C:\windows\syswow64\cmd.exe' /c "$install\\install.cmd")"
    code=$?
    check "win64: install.cmd from a 32-bit command prompt registers too" \
      eval '[ "$code" -eq 0 ] && default_value_is "HKCR\\TypeLib\\$libid\\1.0\\409\\win64" "$dll"'
  fi

  output="$(run_script "$install\\uninstall.cmd")"
  code=$?
  check "$arch: uninstall.cmd exits 0" test "$code" -eq 0
  check "$arch: what registration wrote is gone" no_key_exists "${registered_keys[@]}"
  check "$arch: the shared keys stay" all_keys_exist "${shared_keys[@]}"

  # A DLL that does not load: install.cmd passes the failure on and says so.
  mkdir -p "$drive_c/broken"
  cp "$drive_c/Program Files/lumbo/install.cmd" "$drive_c/broken/"
  printf 'not a DLL' >"$drive_c/broken/lumboExt.dll"
  output="$(run_script 'C:\broken\install.cmd')"
  code=$?
  check "$arch: install.cmd fails with regsvr32's code when the DLL does not load" test "$code" -eq 3
  check "$arch: install.cmd says why" says "$output" "could not register"

  # The other architectures' packages refuse this Windows and name the one that fits.
  for other in ${others[$arch]}; do
    wrong="$(package_of "$other")"
    [ -n "$wrong" ] || continue
    rm -rf "$drive_c/wrong" && unpack "$wrong" "$drive_c/wrong"
    output="$(run_script 'C:\wrong\install.cmd')"
    code=$?
    check "$arch: the $other package's install.cmd refuses (exit 1)" test "$code" -eq 1
    check "$arch: it says which Windows the package is for and which fits" \
      eval 'says "$output" "this package is for" && says "$output" "-$arch.zip here"'
    check "$arch: it registers nothing" no_key_exists "HKCR\\CLSID\\${clsids[0]}" "$overlays\\.lumboExt0"
  done
  WINEPREFIX="$prefix" timeout 30 wineserver -k 2>/dev/null
  unset LUMBO_WINEPREFIX LUMBO_NO_PREFIX_SETUP
done

echo "packages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
