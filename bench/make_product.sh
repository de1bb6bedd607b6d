#!/usr/bin/env bash
# Makes a product archive of a chosen size for the install benchmark and the
# scale test: the sample product's files (the i686 tree's product/content)
# plus filler files of random, incompressible bytes under filler/, packed by
# tovra-pack-zip as a maker's archive would be.
#   bench/make_product.sh OUT.zip --mb M --files N      N files of M/N MB each
#   bench/make_product.sh OUT.zip --files N --kb A-B    N files of A to B KB
# The work folder beside OUT.zip is removed at the end. Needs
# scripts/build.sh host i686.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
B=${B:-$root/build}
case "$B" in /*) ;; *) B=$root/$B ;; esac
usage() { echo "usage: $0 OUT.zip (--mb M --files N | --files N --kb A-B)" >&2; exit 2; }
[ $# -ge 1 ] || usage
out=$(realpath -m "$1"); shift
mb=0 files=0 kb=
while [ $# -gt 0 ]; do
  case $1 in
    --mb) mb=$2; shift 2 ;;
    --files) files=$2; shift 2 ;;
    --kb) kb=$2; shift 2 ;;
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
perl -e '
  my ($dir, $files, $mb, $kb) = @ARGV;
  my ($lo, $hi) = split /-/, ($kb || "0-0");
  srand(23);
  open(my $rnd, "<:raw", "/dev/urandom") or die "/dev/urandom: $!";
  for my $i (1 .. $files) {
    my $size = $mb ? int($mb * 1048576 / $files) : 1024 * $lo + int(rand(1024 * ($hi - $lo) + 1));
    open(my $f, ">:raw", sprintf("%s/f%05d.bin", $dir, $i)) or die "$dir: $!";
    while ($size > 0) {
      my $n = $size < 1048576 ? $size : 1048576;
      read($rnd, my $buf, $n) == $n or die "short read";
      print $f $buf;
      $size -= $n;
    }
    close($f) or die "$dir: $!";
  }' "$work/filler" "$files" "$mb" "$kb"
"$B/host/bin/tovra-pack-zip" "$work" "$out"
rm -rf "$work"
echo "make_product: $out, $(stat -c %s "$out") bytes, $(($(find "$sample" -type f | wc -l) + files)) files"
