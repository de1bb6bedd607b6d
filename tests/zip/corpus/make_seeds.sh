#!/usr/bin/env bash
# Regenerates the fuzz_zip seed corpus: a few tiny archives made by Debian's
# zip, each showing one feature the reader meets (stored, deflate, folders,
# empty files, comment, UTF-8 name, data descriptor, CP936 names whose last
# byte is 0x5C, a folder marked by its MS-DOS attribute alone). Fixed times
# (the piped entry takes the time of the run), no extra fields (-X).
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
# CP936 bytes, UTF-8 flag clear: 说明運 (運 is DF 5C), 誠 (D5 5C).
readme=$(printf '\313\265\303\367\337\134') cheng=$(printf '\325\134')
mkdir "$cheng" Q
printf 'read me' > "$readme"
printf 'in the folder' > "$cheng/a.txt"
touch -d '2025-04-08 12:00:00' dir/sub/n.txt dir/a.txt one.bin empty.txt 'é名.txt' dir/sub dir \
  "$readme" "$cheng/a.txt" "$cheng" Q
mkdir -p "$out"; rm -f "$out"/*.zip
zip -qX -0 "$out/stored.zip" one.bin dir/a.txt
zip -qX -9 "$out/deflate.zip" dir/a.txt
zip -qXr "$out/tree.zip" dir empty.txt
zip -qX "$out/comment.zip" one.bin
printf 'seed comment' | zip -qz "$out/comment.zip"
zip -qX "$out/utf8.zip" 'é名.txt'
LC_ALL=C zip -qXr "$out/cp936.zip" "$readme" "$cheng"
# -k: made by MS-DOS, attribute 0x10 on the folder "Q/"; its name then becomes
# 運 (DF 5C) in both headers, so only the attribute says it is a folder.
LC_ALL=C zip -qXk "$out/dos_folder.zip" Q "$readme"
[ "$(LC_ALL=C grep -o -a 'Q/' "$out/dos_folder.zip" | wc -l)" = 2 ] || { echo "Q/ not once a header" >&2; exit 1; }
LC_ALL=C sed -i 's|Q/|\xdf\x5c|g' "$out/dos_folder.zip"
printf 'from a pipe, written to a pipe: sizes follow the data\n' | zip -qX -fz- - - | cat > "$out/descriptor.zip"
ls -l "$out"
