#!/usr/bin/env bash
# The unattended install's own time against our extractor alone on the same
# archive, under one Windows tree's Wine (default x64; the shipped build is
# i686, where 32-bit programs run). See bench/install_vs_extractor.cpp.
#   bench/install_vs_extractor.sh [--tree x64|i686] [--rounds N]   (default 3 rounds)
# Needs scripts/build.sh host <tree>. Exit 1 when a run fails or the install
# is far slower than the extractor alone (a stall), 77 when the tree is missing.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
B=${B:-$root/build}
case "$B" in /*) ;; *) B=$root/$B ;; esac
tree=x64
rounds=3
while [ $# -gt 0 ]; do
  case $1 in
    --tree) tree=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    *) echo "usage: $0 [--tree x64|i686] [--rounds N]" >&2; exit 2 ;;
  esac
done
t=$B/$tree
archive=$(cat "$t/payload/carried-archive.txt" 2>/dev/null)
for f in "$t/wine-run.sh" "$t/bin/install_vs_extractor.exe" "$t/bin/TovraSetup.exe" \
         "$t/bin/7ZG.exe" "$archive"; do
  [ -f "$f" ] || { echo "install_vs_extractor: missing $f: scripts/build.sh host $tree"; exit 77; }
done
winpath() { echo "Z:$1" | tr / '\\'; }
scratch=$B/bench/install-vs-extractor-$tree
rm -rf "$scratch"
mkdir -p "$scratch"
"$t/wine-run.sh" "$t/bin/install_vs_extractor.exe" "$(winpath "$t/bin/TovraSetup.exe")" \
  "$(winpath "$t/bin/7ZG.exe")" "$(winpath "$archive")" "$(winpath "$scratch")" "$rounds"
code=$?
rm -rf "$scratch"
exit $code
