#!/usr/bin/env bash
# Configures (once) and builds the four trees under $B (default build/):
#   host  native tools (archive packer, payload generator, fuzzers, benches)
#   i686  the shipped 32-bit installer, with the Windows test suites (32-bit Wine)
#   x64   the same sources for x86_64, with the same suites (wine64)
#   fuzz  native clang build of the portable code with libFuzzer targets
# Usage: scripts/build.sh [tree[:target]] ...   (no argument: all four trees)
#   e.g. scripts/build.sh host i686:TovraSetup   builds one target of a tree.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
B=${B:-$root/build}
case "$B" in /*) ;; *) B=$root/$B ;; esac
trees=("$@"); [ ${#trees[@]} -gt 0 ] || trees=(host i686 x64 fuzz)
gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
common=(-DTOVRA_HOST_BIN="$B/host/bin" -DTOVRA_I686_BIN="$B/i686/bin" -DTOVRA_BUILD_ROOT="$B")
# Last on the command line, so they win over a tree's own settings.
# shellcheck disable=SC2206 # TOVRA_CMAKE_ARGS is a word list on purpose
user=(${TOVRA_CMAKE_ARGS:-})

# A tree counts as configured only once a configure has succeeded in it with
# the same arguments: a first configure that failed leaves a CMakeCache.txt
# behind, and is run again, and so is one whose arguments have changed since.
configure() { # tree, args...
  local t=$1; shift
  local stamp="$B/$t/.tovra-configured"
  local args
  args=$(printf '%s\n' "${gen[@]}" "${common[@]}" "$@" "${user[@]}" "CC=${CC:-}" "CXX=${CXX:-}")
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$args" ] && return 0
  if ! cmake -S "$root" -B "$B/$t" "${gen[@]}" "${common[@]}" "$@" "${user[@]}" >"$B/$t.configure.log" 2>&1; then
    echo "build.sh: configuring $B/$t failed; the log:" >&2
    tail -n 30 "$B/$t.configure.log" >&2
    return 1
  fi
  printf '%s\n' "$args" >"$stamp"
}
mkdir -p "$B"
for arg in "${trees[@]}"; do
  t=${arg%%:*}
  target=(); [ "$t" = "$arg" ] || target=(--target "${arg#*:}")
  case $t in
    host) configure host -DCMAKE_BUILD_TYPE=RelWithDebInfo ;;
    i686) configure i686 -DCMAKE_BUILD_TYPE=MinSizeRel -DTOVRA_BUILD_TESTS=ON \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686.cmake" ;;
    x64)  configure x64 -DCMAKE_BUILD_TYPE=MinSizeRel \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64.cmake" ;;
    fuzz) CC=clang CXX=clang++ configure fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVRA_FUZZ=ON ;;
    *) echo "build.sh: unknown tree $t" >&2; exit 2 ;;
  esac
  if ! cmake --build "$B/$t" -j "$(nproc)" "${target[@]}"; then
    echo "build.sh: building $B/$t ${target[*]} failed" >&2
    exit 1
  fi
done
