#!/bin/sh
# Exits 0 when this machine's kernel runs 32-bit x86 programs (which Wine's
# 32-bit part needs), 1 when it does not (a kernel built or booted without ia32
# emulation refuses them with "Exec format error").
# The probe: a 93-byte i386 ELF program that only calls exit(0).
probe="$(mktemp)"
trap 'rm -f "$probe"' EXIT
printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\061\333\315\200' >"$probe"
chmod +x "$probe"
"$probe" 2>/dev/null
