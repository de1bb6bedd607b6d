#!/usr/bin/env bash
# A longer fuzz run of one target: scripts/fuzz.sh <target> [seconds] [libFuzzer flags...]
# (say -runs=10000000: it stops at whichever limit comes first).
# Targets: ls build/fuzz/bin/fuzz_*. Findings land in build/fuzz/findings/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export B=${B:-$root/build}
"$root/scripts/build.sh" fuzz
name=$1; secs=${2:-300}; shift $(($# < 2 ? $# : 2))
mkdir -p "$B/fuzz/findings/$name" "$B/fuzz/fuzz-corpus/$name"
seeds=$(find "$root/tests" -type d -path "*corpus/$name" | head -1)
cd "$B/fuzz/findings/$name"
"$B/fuzz/bin/$name" -max_total_time="$secs" -print_final_stats=1 -jobs=1 "$@" \
  "$B/fuzz/fuzz-corpus/$name" ${seeds:+"$seeds"}
