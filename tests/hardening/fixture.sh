#!/bin/sh
# Prepares (setup) or removes (cleanup) what the hardening tests cannot make
# from inside Wine, once for the in-process worker (<dir>/inproc) and once for
# the unattended installer (<dir>/unattended): the worker suite's fixture
# (readonly/, locked/, full/ a 1 MiB tmpfs) plus unwritable/, an immutable
# empty folder. Where this is not possible a marker file tells the test to skip.
set -u
cmd=$1
dir=$2
worker_fixture=$(dirname "$0")/../worker/fixture.sh

for mode in inproc unattended; do
  d=$dir/$mode
  case $cmd in
    setup)
      [ -d "$d/unwritable" ] && chattr -i "$d/unwritable" 2>/dev/null
      sh "$worker_fixture" setup "$d"
      mkdir -p "$d/unwritable"
      chattr +i "$d/unwritable" 2>/dev/null || touch "$d/no-immutable"
      ;;
    cleanup)
      [ -d "$d/unwritable" ] && chattr -i "$d/unwritable" 2>/dev/null
      sh "$worker_fixture" cleanup "$d"
      ;;
    *) echo "usage: fixture.sh setup|cleanup <dir>" >&2; exit 2 ;;
  esac
done
[ "$cmd" = cleanup ] && rm -rf "$dir"
exit 0
