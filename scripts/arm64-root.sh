#!/usr/bin/env bash
# Makes ready what running ARM64 Windows programs on this x86-64 machine takes:
# Debian 12's arm64 Wine in an arm64 root, run by qemu through the kernel's
# binfmt_misc. Prints the root's path on stdout; messages go to stderr.
# Exit 1, with the reason as the last message, where this machine cannot.
#
# The root is cached outside any build tree, keyed by what it holds, so every
# tree and every run share it; it is made in a scratch folder and renamed into
# place only when complete. qemu comes unpacked from Debian's package, not
# installed: the package's scripts would register every architecture, and a
# registration for i386 would make this kernel look as if it ran 32-bit
# programs (scripts/runs-32bit-programs.sh).
set -euo pipefail

say() { echo "arm64: $*" >&2; }
cannot() { say "$*"; exit 1; }

suite=bookworm
mirror=http://deb.debian.org/debian
packages=(wine64 wine libwine locales)
cache="${LUMBO_ARM64_CACHE:-/var/cache/lumbo}"
key="$(echo "$suite minbase ${packages[*]}" | sha256sum | cut -c1-12)"
root="$cache/arm64-root-$key"
qemu="$cache/qemu-user-static/usr/bin/qemu-aarch64-static"

[ "$(id -u)" -eq 0 ] || cannot "not root (binfmt_misc and the root need it)"
[ "$(uname -m)" = x86_64 ] || cannot "this is not an x86-64 machine"
mkdir -p "$cache"

# qemu for aarch64, from Debian's package, unpacked into the cache.
if [ ! -x "$qemu" ]; then
  say "unpacking qemu-aarch64-static from Debian's qemu-user-static"
  scratch="$(mktemp -d "$cache/qemu.XXXXXX")"
  (cd "$scratch" && apt-get download -q qemu-user-static >/dev/null 2>&1) ||
    { rm -rf "$scratch"; cannot "could not download qemu-user-static"; }
  dpkg-deb -x "$scratch"/qemu-user-static_*.deb "$scratch/tree"
  rm -rf "$cache/qemu-user-static"
  mkdir -p "$cache/qemu-user-static/usr/bin"
  mv "$scratch/tree/usr/bin/qemu-aarch64-static" "$qemu"
  rm -rf "$scratch"
fi

# The aarch64 entry only, and only when missing. The F flag opens qemu now,
# so it also serves programs inside the root, where that path does not exist.
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/register" ]; then
  mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
    cannot "binfmt_misc is not available (mounting it failed)"
fi
if [ ! -e "$binfmt/qemu-aarch64" ]; then
  magic='\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00'
  mask='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":qemu-aarch64:M::$magic:$mask:$qemu:OCF" >"$binfmt/register" ||
    cannot "binfmt_misc refused the aarch64 entry"
  say "registered qemu-aarch64 in binfmt_misc (aarch64 only)"
fi

if [ ! -x "$root/usr/lib/wine/wine64" ]; then
  command -v debootstrap >/dev/null || {
    say "installing debootstrap"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap >/dev/null
  }
  say "making the arm64 root with ${packages[*]} (a few minutes, once per machine)"
  scratch="$(mktemp -d "$cache/arm64-root.XXXXXX")"
  trap 'rm -rf "$scratch"' EXIT
  debootstrap --arch=arm64 --variant=minbase "$suite" "$scratch" "$mirror" >"$scratch.log" 2>&1 ||
    cannot "debootstrap failed; see $scratch.log"
  # apt inside the root wants /proc; a private mount namespace drops it again.
  unshare -m sh -c '
    root="$1" && shift && mount -t proc proc "$root/proc" &&
    chroot "$root" apt-get update -q &&
    DEBIAN_FRONTEND=noninteractive chroot "$root" apt-get install -y -q --no-install-recommends "$@"
  ' sh "$scratch" "${packages[@]}" >>"$scratch.log" 2>&1 ||
    cannot "installing Wine into the root failed; see $scratch.log"
  rm -rf "$scratch/var/cache/apt/archives"/*.deb "$root"
  mv "$scratch" "$root"
  trap - EXIT
  rm -f "$scratch.log"
fi
echo "$root"
