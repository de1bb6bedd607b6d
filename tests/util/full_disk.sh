#!/usr/bin/env bash
# ctest fixture of the full-disk test: full_disk.sh mount|umount <dir>
# Mounting needs root; without it the test skips, so a failure here is no error.
dir=$2
case $1 in
  mount)
    mkdir -p "$dir"
    mountpoint -q "$dir" && umount "$dir"
    mount -t tmpfs -o size=1m tmpfs "$dir" 2>/dev/null || echo "full_disk.sh: cannot mount; test skips"
    ;;
  umount)
    mountpoint -q "$dir" && { umount "$dir" || umount -l "$dir"; }
    ;;
esac
exit 0
