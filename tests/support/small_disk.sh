#!/bin/sh
# The small-disk fixture of the Windows suites: what they cannot make from
# inside Wine, once per set (one set per suite, so that no suite finds what
# another left). small_disk.sh setup|cleanup <dir> <set>...
#   <set>/full        a 1 MiB tmpfs
#   <set>/readonly    an immutable 7ZG.EXE that is not the carried one (as
#                     root, Wine writes read-only files all the same)
#   <set>/locked      an immutable TovraClient.dat the extractor cannot replace
#   <set>/unwritable  an immutable empty folder
# Mounting and chattr need root; where they fail a marker file (no-tmpfs,
# no-immutable) tells the cases to skip, so the fixture itself never fails.
set -u
cmd=$1
dir=$2
shift 2

cleanup() { # set folder
  for f in "$1/readonly/7ZG.EXE" "$1/locked/TovraClient.dat" "$1/unwritable"; do
    [ -e "$f" ] && chattr -i "$f" 2>/dev/null
  done
  mountpoint -q "$1/full" 2>/dev/null && { umount "$1/full" || umount -l "$1/full"; }
}

case $cmd in
  setup)
    for set in "$@"; do
      d=$dir/$set
      cleanup "$d"
      rm -rf "$d"
      mkdir -p "$d/readonly" "$d/locked" "$d/full" "$d/unwritable"
      printf 'not the carried extractor' >"$d/readonly/7ZG.EXE"
      printf 'locked' >"$d/locked/TovraClient.dat"
      { chattr +i "$d/readonly/7ZG.EXE" && chattr +i "$d/locked/TovraClient.dat" &&
        chattr +i "$d/unwritable"; } 2>/dev/null || touch "$d/no-immutable"
      mount -t tmpfs -o size=1m tmpfs "$d/full" 2>/dev/null || touch "$d/no-tmpfs"
    done
    ;;
  cleanup)
    for d in "$dir"/*/; do [ -d "$d" ] && cleanup "${d%/}"; done
    rm -rf "$dir"
    ;;
  *) echo "usage: small_disk.sh setup|cleanup <dir> <set>..." >&2; exit 2 ;;
esac
exit 0
