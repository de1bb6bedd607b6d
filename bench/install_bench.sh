#!/usr/bin/env bash
# Install benchmark: our shipped i686 TovraSetup.exe, unattended, against an
# NSIS installer of the same product, run silently, interleaved on the same
# 32-bit Wine. Prints every run, both medians, their ratio and both sizes.
#   bench/install_bench.sh [--runs N] [--ours EXE] [--base EXE] [--archive ZIP]
#   (default 7 runs, the i686 build's TovraSetup.exe; needs scripts/build.sh
#   host i686)
# --base adds another build of ours (e.g. an older one) to the same rounds,
# for a before/after comparison in one run. --archive measures another
# product: our installer comes from a tree configured with
# TOVRA_PRODUCT_ARCHIVE=ZIP ($B/bench/products/<name of ZIP>, made or reused;
# it takes the host tools of $B/host), the peer from the same files
# (bench/make_product.sh makes such archives).
# The peak resident memory (VmHWM) of every installer process and of the
# extractor is sampled from /proc while they run; the largest of each is printed.
# The NSIS peer: the files of the carried setup.zip (names decoded from CP936),
# SetCompressor zlib, each file compressed on its own, built with Debian's
# makensis. How the time is taken, and how our 6 s timer is left out: see
# bench/install_bench.cpp. Exit 77 when it cannot run here (no 32-bit
# programs, a missing tree or makensis), 1 when an installer fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
B=${B:-$root/build}
case "$B" in /*) ;; *) B=$root/$B ;; esac
runs=7
ours=$B/i686/bin/TovraSetup.exe
own_build=1
base=()
product=
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --ours) ours=$(realpath "$2"); own_build=0; shift 2 ;;  # another build, e.g. an older one
    --base) base=("$(realpath "$2")"); shift 2 ;;
    --archive) product=$(realpath "$2"); shift 2 ;;
    *) echo "usage: $0 [--runs N] [--ours EXE] [--base EXE] [--archive ZIP]" >&2; exit 2 ;;
  esac
done

skip() { echo "install_bench: $*"; exit 77; }
if ! why=$("$root/scripts/can-run-32.sh"); then
  skip "cannot run here: 32-bit Wine needs 32-bit programs: $why"
fi
[ -x /usr/lib/wine/wine ] || skip "cannot run here: /usr/lib/wine/wine (package wine32:i386) is missing"
command -v makensis >/dev/null || skip "makensis (package nsis) is missing: scripts/deps.sh"
driver=$B/i686/bin/install_bench.exe
peer_gen=$B/host/bin/tovra-nsis-peer
work=$B/bench/install
if [ -n "$product" ]; then
  [ -f "$product" ] || { echo "install_bench: no $product" >&2; exit 2; }
  tree=$B/bench/products/$(basename "$product" .zip)
  echo "install_bench: building the installer carrying $product in $tree"
  mkdir -p "$tree"
  # A refused archive stops here with the reason (exit 1).
  TOVRA_CMAKE_ARGS="${TOVRA_CMAKE_ARGS:-} -DTOVRA_HOST_BIN=$B/host/bin -DTOVRA_PRODUCT_ARCHIVE=$product" \
    B=$tree "$root/scripts/build.sh" i686:TovraSetup >"$tree/build.log" 2>&1 ||
    { tail -n 20 "$tree/build.log"; exit 1; }
  [ $own_build = 0 ] || ours=$tree/i686/bin/TovraSetup.exe
  work=$tree/bench
fi
for f in "$ours" "$driver" "$peer_gen" "${base[@]}"; do
  [ -f "$f" ] || skip "missing $f: scripts/build.sh host i686"
done
# The archive the i686 installer carries (the sample product unless the tree
# was configured with another).
archive=$(cat "$B/i686/payload/carried-archive.txt" 2>/dev/null)
[ -z "$product" ] || archive=$product
[ -f "$archive" ] || skip "cannot find the carried archive ($archive)"

peer=$work/peer/TovraNsisPeer.exe
if [ ! -f "$peer" ] || [ "$archive" -nt "$peer" ] || [ "$peer_gen" -nt "$peer" ]; then
  rm -rf "$work/peer"
  mkdir -p "$work/peer"
  "$peer_gen" "$archive" "$work/peer" || exit 1
  makensis -V2 "$work/peer/peer.nsi" || exit 1
fi

# The i686 tree's own prefix: a win64 prefix with its 32-bit side (one made
# before wine32 was installed is made again), run by the 32-bit loader.
TOVRA_BUILD=$B/i686 TOVRA_ARCH=i686
. "$root/scripts/wine-env.sh"
tovra_wine_up || exit 1
wine32=$TOVRA_WINE

scratch=$work/runs
rm -rf "$scratch"
mkdir -p "$scratch"
echo "install_bench: $runs runs each, interleaved, under $wine32 (prefix $WINEPREFIX)"
base_arg=()
[ ${#base[@]} -eq 0 ] || base_arg=("$(tovra_winpath "${base[0]}")")
# Wine gives each process its Windows command line, which names the run's
# folder below $scratch (other trees' installers may run beside); the Linux
# process keeps VmHWM, the peak resident set, until it exits.
sample_memory() {
  shopt -s nocasematch
  local here args cmd
  here=$(tovra_winpath "$scratch")
  while :; do
    for s in /proc/[0-9]*/status; do
      d=${s%/status}
      { mapfile -d '' args <"$d/cmdline"; } 2>/dev/null || continue
      cmd="${args[*]}"
      case $cmd in *"$here"*) ;; *) continue ;; esac
      case $cmd in
        *TovraSetup.exe*) who=ours ;; *TovraNsisPeer.exe*) who=NSIS ;; *7ZG.EXE*) who=extractor ;;
        *) continue ;;
      esac
      awk -v w="$who" -v p="${d#/proc/}" '/^VmHWM/ { print w, p, $2 }' "$s" 2>/dev/null
    done
    sleep 0.1
  done >"$work/memory.txt"
}
sample_memory &
sampler=$!
"$wine32" "$driver" "$runs" "$(tovra_winpath "$ours")" "$(tovra_winpath "$peer")" \
  "$(tovra_winpath "$scratch")" "${base_arg[@]}" 2>/dev/null
code=$?
kill "$sampler" 2>/dev/null
wait "$sampler" 2>/dev/null
awk '{ if ($3 > peak[$1]) peak[$1] = $3 }
     END { for (w in peak) printf "peak resident (VmHWM): %-9s %7.1f MB\n", w, peak[w] / 1024 }' \
  "$work/memory.txt" | sort
if [ $code -ne 0 ]; then
  echo "install_bench: the run failed (driver exit code $code)"
  exit 1
fi

# Both must have installed the same product: the same files, byte for byte,
# beside our three carried files and the control program's launch record.
if ! diff -rq -x 7Z.DLL -x 7ZG.EXE -x setup.zip -x TovraControl.launch.txt \
     "$scratch/peer-1" "$scratch/ours-1" >/dev/null; then
  echo "install_bench: the two installs differ:"
  diff -rq -x 7Z.DLL -x 7ZG.EXE -x setup.zip -x TovraControl.launch.txt \
    "$scratch/peer-1" "$scratch/ours-1" | head
  exit 1
fi
echo "install_bench: both installed the same $(find "$scratch/peer-1" -type f | wc -l) product files"

size() { stat -c %s "$1"; }
pair=$(($(size "$(dirname "$ours")/7ZG.exe") + $(size "$(dirname "$ours")/7Z.dll")))
stub=$(size /usr/share/nsis/Stubs/zlib-x86-unicode 2>/dev/null || echo 0)
if [ $own_build = 1 ]; then
  printf 'size: ours %d bytes (own code and section padding %d, carried pair %d, archive %d)\n' "$(size "$ours")" \
    $(($(size "$ours") - pair - $(size "$archive"))) "$pair" "$(size "$archive")"
else
  printf 'size: ours %d bytes\n' "$(size "$ours")"
fi
printf 'size: NSIS %d bytes (its zlib stub %d); ours/NSIS %s\n' "$(size "$peer")" "$stub" \
  "$(awk -v a="$(size "$ours")" -v b="$(size "$peer")" 'BEGIN { printf "%.3f", a / b }')"
rm -rf "$scratch"
