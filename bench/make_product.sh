#!/usr/bin/env bash
# Makes a product archive of a chosen size for the install benchmark and the
# scale test: the sample product's files (the i686 tree's product/content)
# plus filler files under filler/, packed by tovra-pack-zip as a maker's
# archive would be. The filler is random, incompressible bytes, or with --text
# random words that deflate packs 1.7 (files of a few KB) to 2.8 (of 400 KB) to 1.
#   bench/make_product.sh OUT.zip --mb M --files N [--text]     N files of M/N MB each
#   bench/make_product.sh OUT.zip --files N --kb A-B [--text]   N files of A to B KB
# The work folder beside OUT.zip is removed at the end. Needs
# scripts/build.sh host i686.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
B=${B:-$root/build}
case "$B" in /*) ;; *) B=$root/$B ;; esac
usage() { echo "usage: $0 OUT.zip (--mb M --files N | --files N --kb A-B) [--text]" >&2; exit 2; }
[ $# -ge 1 ] || usage
out=$(realpath -m "$1"); shift
mb=0 files=0 kb= text=0
while [ $# -gt 0 ]; do
  case $1 in
    --mb) mb=$2; shift 2 ;;
    --files) files=$2; shift 2 ;;
    --kb) kb=$2; shift 2 ;;
    --text) text=1; shift ;;
    *) usage ;;
  esac
done
[ "$files" -gt 0 ] && { [ "$mb" -gt 0 ] || [ -n "$kb" ]; } || usage
sample=$B/i686/product/content
[ -f "$sample/TovraClientService.exe" ] || { echo "make_product: no $sample: scripts/build.sh host i686" >&2; exit 1; }

work=$out.content
rm -rf "$work"
mkdir -p "$work/filler"
cp -r "$sample"/. "$work"/
# perl is always there on Debian; one process writes every filler file.
# Text comes from slices of one 8 MB pool of words at random places: deflate
# sees no repeats beyond its 32 KB window, so each file packs as text does.
perl -e '
  my ($dir, $files, $mb, $kb, $text) = @ARGV;
  my ($lo, $hi) = split /-/, ($kb || "0-0");
  srand(23);
  open(my $rnd, "<:raw", "/dev/urandom") or die "/dev/urandom: $!";
  my $pool = "";
  if ($text) {
    my @words = map { join "", map { chr(97 + int(rand(26))) } 1 .. 2 + int(rand(9)) } 1 .. 1000;
    $pool .= $words[int(rand(@words))] . (rand() < 0.1 ? "\n" : " ") while length($pool) < 8 << 20;
  }
  for my $i (1 .. $files) {
    my $size = $mb ? int($mb * 1048576 / $files) : 1024 * $lo + int(rand(1024 * ($hi - $lo) + 1));
    open(my $f, ">:raw", sprintf("%s/f%05d.bin", $dir, $i)) or die "$dir: $!";
    while ($size > 0) {
      my $n = $size < 1048576 ? $size : 1048576;
      my $buf;
      if ($text) {
        my $at = int(rand(length($pool) - $n));
        $buf = substr($pool, $at, $n);
      } else {
        read($rnd, $buf, $n) == $n or die "short read";
      }
      print $f $buf;
      $size -= $n;
    }
    close($f) or die "$dir: $!";
  }' "$work/filler" "$files" "$mb" "$kb" "$text"
"$B/host/bin/tovra-pack-zip" "$work" "$out"
rm -rf "$work"
echo "make_product: $out, $(stat -c %s "$out") bytes, $(($(find "$sample" -type f | wc -l) + files)) files"
