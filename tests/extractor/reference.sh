#!/bin/sh
# Writes the sample archive and extracts it natively with Debian's 7zz and
# unzip: the trees 7ZG.EXE's output is compared with under Wine. Both tools
# write the CP936 names as raw bytes; they are renamed to UTF-8 here (names
# that already are valid UTF-8 came from the UTF-8 flag and stay). The two
# references must agree with each other.
# Usage: reference.sh <make_sample_zip> <dir>
set -eu
tool=$1; dir=$2
rm -rf "$dir"; mkdir -p "$dir"
"$tool" "$dir/sample.zip"
7zz x -y -bd -o"$dir/ref-7zz" "$dir/sample.zip" >/dev/null
unzip -q -o "$dir/sample.zip" -d "$dir/ref-unzip"
for tree in "$dir/ref-7zz" "$dir/ref-unzip"; do
  find "$tree" -depth -mindepth 1 | while IFS= read -r path; do
    base=$(basename "$path")
    printf %s "$base" | iconv -f UTF-8 -t UTF-8 >/dev/null 2>&1 && continue
    mv "$path" "$(dirname "$path")/$(printf %s "$base" | iconv -f CP936 -t UTF-8)"
  done
done
diff -r "$dir/ref-7zz" "$dir/ref-unzip"
touch "$dir/stamp"
