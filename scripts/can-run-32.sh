#!/usr/bin/env bash
# Exit 0 when this kernel runs a 32-bit (i386) program. Decided by running a
# tiny static i386 ELF built here with as/ld, never by the kernel version.
# On failure prints the reason on stdout (one line).
set -u
d="$(mktemp -d)"
trap 'rm -rf "$d"' EXIT
if ! command -v as >/dev/null || ! command -v ld >/dev/null; then
  echo "as/ld not found (binutils)"; exit 1
fi
printf '.globl _start\n_start:\n movl $1,%%eax\n movl $42,%%ebx\n int $0x80\n' >"$d/t.s"
if ! as --32 "$d/t.s" -o "$d/t.o" 2>/dev/null || ! ld -m elf_i386 "$d/t.o" -o "$d/t" 2>/dev/null; then
  echo "cannot assemble an i386 test program"; exit 1
fi
"$d/t" 2>/dev/null
rc=$?
if [ "$rc" != 42 ]; then
  echo "this kernel cannot run 32-bit programs (a static i386 program exited $rc)"; exit 1
fi
exit 0
