#!/usr/bin/env bash
# Configures (once) and builds the three trees under $B (default build/):
#   host  native tools (archive packer, payload generator, fuzzers, benches)
#   i686  the shipped 32-bit installer
#   x64   the same sources for x86_64, with the test suites, run under wine64
#   fuzz  native clang build of the portable code with libFuzzer targets
# Usage: scripts/build.sh [host] [i686] [x64] [fuzz]   (no argument: all four)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
B=${B:-$root/build}
case "$B" in /*) ;; *) B=$root/$B ;; esac
trees=("$@"); [ ${#trees[@]} -gt 0 ] || trees=(host i686 x64 fuzz)
gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
common=(-DTOVRA_HOST_BIN="$B/host/bin" -DTOVRA_I686_BIN="$B/i686/bin" ${TOVRA_CMAKE_ARGS:-})

configure() { # tree, args...
  local t=$1; shift
  if [ ! -f "$B/$t/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$B/$t" "${gen[@]}" "${common[@]}" "$@" >/dev/null
  fi
}
for t in "${trees[@]}"; do
  case $t in
    host) configure host -DCMAKE_BUILD_TYPE=RelWithDebInfo ;;
    i686) configure i686 -DCMAKE_BUILD_TYPE=MinSizeRel -DTOVRA_BUILD_TESTS=OFF \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686.cmake" ;;
    x64)  configure x64 -DCMAKE_BUILD_TYPE=MinSizeRel \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64.cmake" ;;
    fuzz) CC=clang CXX=clang++ configure fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVRA_FUZZ=ON ;;
    *) echo "build.sh: unknown tree $t" >&2; exit 2 ;;
  esac
  cmake --build "$B/$t" -j "$(nproc)"
done
