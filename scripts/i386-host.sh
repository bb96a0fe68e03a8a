#!/usr/bin/env bash
# Tells how this host runs i386 (32-bit x86) Linux programs, as one word:
#   native    the kernel runs them itself
#   emulated  the kernel refuses them (32-bit emulation disabled) and a
#             binfmt_misc handler, qemu-i386 (scripts/install-deps.sh), runs them
#   none      neither
#
# It builds a small static i386 program (gcc -m32, from gcc-multilib) and runs
# two copies of it. In the second, ELF header byte 8 (EI_ABIVERSION) is 1: the
# kernel's ELF loader does not look at that byte, while the qemu-i386
# binfmt_misc entry matches only a 0 there. So the second copy runs only if
# the kernel itself runs i386 programs, and the first runs either way. Nothing
# on the host is toggled or registered to find out.
set -euo pipefail

me=i386-host
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Programs must be able to run from the scratch folder at all (not noexec),
# or every answer below would be "none".
cp "$(type -P true)" "$work/true"
if ! "$work/true" 2>/dev/null; then
  echo "$me: cannot run programs in $work (mounted noexec?); set TMPDIR elsewhere" >&2
  exit 1
fi

printf '%s\n' '#include <unistd.h>' \
  'int main(void) { return write(1, "i386\n", 5) == 5 ? 0 : 1; }' >"$work/probe.c"
if ! gcc -m32 -static -o "$work/probe" "$work/probe.c" 2>"$work/cc.log"; then
  cat "$work/cc.log" >&2
  echo "$me: cannot build the i386 probe (gcc -m32 -static needs gcc-multilib)" >&2
  exit 1
fi
cp "$work/probe" "$work/probe-kernel-only"
printf '\001' | dd of="$work/probe-kernel-only" bs=1 seek=8 conv=notrunc status=none

# An i386 program that cannot be run fails with "Exec format error" (126).
runs() { [ "$("$1" 2>/dev/null)" = i386 ]; }

if runs "$work/probe-kernel-only"; then
  echo native
elif runs "$work/probe"; then
  echo emulated
else
  echo none
fi
