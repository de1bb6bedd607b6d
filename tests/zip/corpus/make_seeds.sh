#!/usr/bin/env bash
# Regenerates the fuzz_zip seed corpus: a few tiny archives made by Debian's
# zip, each showing one feature the reader meets (stored, deflate, folders,
# empty files, comment, UTF-8 name, data descriptor). Fixed times (the piped
# entry takes the time of the run), no extra fields (-X).
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)/fuzz_zip
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
mkdir -p dir/sub
printf 'hello hello hello hello\n' > dir/a.txt
printf 'x' > one.bin
: > empty.txt
printf 'nested' > dir/sub/n.txt
printf 'utf8' > 'é名.txt'
touch -d '2025-04-08 12:00:00' dir/sub/n.txt dir/a.txt one.bin empty.txt 'é名.txt' dir/sub dir
mkdir -p "$out"; rm -f "$out"/*.zip
zip -qX -0 "$out/stored.zip" one.bin dir/a.txt
zip -qX -9 "$out/deflate.zip" dir/a.txt
zip -qXr "$out/tree.zip" dir empty.txt
zip -qX "$out/comment.zip" one.bin
printf 'seed comment' | zip -qz "$out/comment.zip"
zip -qX "$out/utf8.zip" 'é名.txt'
printf 'from a pipe, written to a pipe: sizes follow the data\n' | zip -qX -fz- - - | cat > "$out/descriptor.zip"
ls -l "$out"
