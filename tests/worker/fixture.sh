#!/bin/sh
# Prepares (setup) or removes (cleanup) the folders the worker tests cannot
# make from inside Wine: <dir>/readonly holds an immutable 7ZG.EXE that is not
# the carried one (as root, Wine writes read-only files all the same),
# <dir>/locked an immutable TovraClient.dat that the extractor cannot
# overwrite, and <dir>/full is a 1 MiB tmpfs. Where this is not possible a marker file tells
# the test to skip.
set -u
cmd=$1
dir=$2

cleanup() {
  for f in "$dir/readonly/7ZG.EXE" "$dir/locked/TovraClient.dat"; do
    [ -e "$f" ] && chattr -i "$f" 2>/dev/null
  done
  mountpoint -q "$dir/full" 2>/dev/null && umount "$dir/full"
  rm -rf "$dir"
}

case $cmd in
  setup)
    cleanup
    mkdir -p "$dir/readonly" "$dir/locked" "$dir/full"
    printf 'not the carried extractor' >"$dir/readonly/7ZG.EXE"
    printf 'locked' >"$dir/locked/TovraClient.dat"
    { chattr +i "$dir/readonly/7ZG.EXE" && chattr +i "$dir/locked/TovraClient.dat"; } 2>/dev/null ||
      touch "$dir/no-immutable"
    mount -t tmpfs -o size=1m tmpfs "$dir/full" 2>/dev/null || touch "$dir/no-tmpfs"
    ;;
  cleanup) cleanup ;;
  *) echo "usage: fixture.sh setup|cleanup <dir>" >&2; exit 2 ;;
esac
exit 0
