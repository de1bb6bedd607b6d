#!/usr/bin/env bash
# reproducible.sh <source root> <host tree> <work folder>
# Builds the shipped i686 files twice from two copies of the sources, in
# folders whose paths differ (the second holds a blank and Chinese
# characters), at different times, in different time zones, once without and
# once with the test suites configured, and compares TovraSetup.exe, 7ZG.EXE,
# 7Z.DLL and setup.zip byte for byte. Both trees are configured by
# scripts/build.sh as the shipped tree is; only the installer target and what
# it carries are built. The trees are kept for inspection when they differ.
set -euo pipefail
src=$(cd "$1" && pwd)
host=$(cd "$2" && pwd)
work=$3
files=(bin/TovraSetup.exe bin/7ZG.exe bin/7Z.dll product/setup.zip)
[ -x "$host/bin/tovra-payload-gen" ] || { echo "no host tools in $host/bin (build the host tree)" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
one="$work/one/src"
two="$work/二 号 副本/源码"

# The tracked and the untracked, not ignored files: what a clean clone plus
# the change under test holds, without build or dist folders.
copy_sources() { # dest
  mkdir -p "$1"
  if git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$src" && git ls-files -z --cached --others --exclude-standard |
      while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
      xargs -0 cp --parents -t "$1")
  else
    tar -C "$src" --exclude='./build*' --exclude=./dist --exclude=./.git -cf - . | tar -C "$1" -xf -
  fi
  # Both trees use the one host tree: its tools run at build time, none of
  # their bytes are carried.
  mkdir -p "$1/build"
  ln -s "$host" "$1/build/host"
}

build() { # source copy, time zone, extra cmake arguments
  local log="$work/build-$(basename "$1").log"
  if ! TZ=$2 B="$1/build" TOVRA_CMAKE_ARGS=$3 bash "$1/scripts/build.sh" i686:TovraSetup >"$log" 2>&1; then
    tail -20 "$log" >&2
    echo "the i686 build in $1 failed (log: $log)" >&2
    exit 1
  fi
}

# The COFF header's TimeDateStamp (4 bytes at e_lfanew + 8), in decimal.
link_stamp() {
  local pe
  pe=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  od -An -t u4 -j $((pe + 8)) -N 4 "$1" | tr -d ' '
}

copy_sources "$one"
copy_sources "$two"
start=$(date +%s)
build "$one" UTC -DTOVRA_BUILD_TESTS=OFF
# A build in another second, so a time stamp taken from the clock would differ;
# configured as scripts/build.sh configures the shipped tree (with its tests).
while [ "$(date +%s)" = "$start" ]; do sleep 0.2; done
build "$two" Asia/Shanghai ""

status=0
# One tree without its test suites, one with them, as the shipped tree is.
tests_of() { sed -n 's/^TOVRA_BUILD_TESTS:BOOL=//p' "$1/build/i686/CMakeCache.txt"; }
if [ "$(tests_of "$one")" != OFF ] || [ "$(tests_of "$two")" != ON ]; then
  echo "DIFF TOVRA_BUILD_TESTS: $(tests_of "$one") and $(tests_of "$two"), not OFF and ON" >&2
  status=1
fi
for f in "${files[@]}"; do
  a="$one/build/i686/$f"
  b="$two/build/i686/$f"
  if [ ! -s "$a" ] || [ ! -s "$b" ]; then
    echo "DIFF $f: not built in both trees" >&2
    status=1
  elif cmp -s "$a" "$b"; then
    printf 'same %-20s %10s bytes  %s\n' "$f" "$(stat -c %s "$a")" "$(sha256sum <"$a" | cut -c1-16)"
  else
    echo "DIFF $f: $(cmp -l "$a" "$b" 2>/dev/null | wc -l) bytes differ; the first (offset, octal bytes):" >&2
    cmp -l "$a" "$b" 2>/dev/null | head -5 >&2 || true
    for d in "$one" "$two"; do
      if grep -qaF "$d" "$d/build/i686/$f"; then echo "  $d/build/i686/$f holds its own folder's path" >&2; fi
    done
    status=1
  fi
done
for f in bin/TovraSetup.exe bin/7ZG.exe bin/7Z.dll; do
  stamp=$(link_stamp "$one/build/i686/$f")
  if [ "$stamp" != 0 ]; then
    echo "DIFF $f: link time stamp $stamp, not 0" >&2
    status=1
  fi
done
if [ $status = 0 ]; then
  rm -rf "$work"
else
  echo "trees kept for inspection: $one, $two" >&2
fi
exit $status
