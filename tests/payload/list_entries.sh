#!/bin/sh
# Debian's unzip and 7zz read the carried archive: it tests clean and lists
# 71 entries, one of them a folder; it is plain ZIP (no ZIP64, no comment).
set -e
zip=$1
unzip -tqq "$zip"
unzip -l "$zip" | tail -1 | grep -q ' 71 files$' || { unzip -l "$zip" | tail -3; exit 1; }
out=$(7zz l "$zip")
echo "$out" | tail -1 | grep -q '70 files, 1 folders' || { echo "$out" | tail -3; exit 1; }
zipinfo "$zip" | head -1 | grep -q "Archive:" 
# The end record must be the file's last 22 bytes (no comment).
tail -c 22 "$zip" | od -An -tx1 | head -1 | grep -q '^ 50 4b 05 06'
! 7zz l -slt "$zip" | grep -q 'Characteristics = .*Zip64'
echo ok
