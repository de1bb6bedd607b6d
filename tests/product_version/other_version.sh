#!/usr/bin/env bash
# other_version.sh <source root> <i686 tree> <host bin folder> <work folder>
# A maker's installer for a product of version 4.1.0.7, built as the README
# says (TOVRA_CMAKE_ARGS=-DTOVRA_PRODUCT_VERSION=4.1.0.7 scripts/build.sh) in
# a tree of its own beside the host tree:
#   - its sample product's service program carries 4.1.0.7 in every language
#     of its version record (the host's archive check says so, and refuses it
#     for the default version, naming both);
#   - the installer, its extractor pair and the sample's programs hold no
#     trace of the default version; the installer's version record and
#     manifest say 4.1.0.7;
#   - it installs unattended under Wine in the i686 tree's prefix (exit 0: the
#     installed service program passed the installer's own version check),
#     and the installed service program is the one built with 4.1.0.7;
#   - the same tree refuses to build an installer carrying the sample archive
#     of the default version, naming both versions.
# The tree is kept between runs, as a maker's would be, and rebuilt as needed.
set -euo pipefail
src=$(cd "$1" && pwd)
tree=$2
host_bin=$3
work=$4
version=4.1.0.7
default=3.0.26.203
. "$src/tests/support/checks.sh"

export B=$work/build
mkdir -p "$B"
# scripts/build.sh gives its trees $B/host/bin as the host tools.
ln -sfn "$(dirname "$host_bin")" "$B/host"
args="-DTOVRA_PRODUCT_VERSION=$version -DTOVRA_PRODUCT_ARCHIVE= -DTOVRA_BUILD_TESTS=OFF"
launcher=$(sed -n 's/^CMAKE_CXX_COMPILER_LAUNCHER:[A-Z]*=//p' "$tree/CMakeCache.txt")
if [ -n "$launcher" ]; then
  args="$args -DCMAKE_C_COMPILER_LAUNCHER=$launcher -DCMAKE_CXX_COMPILER_LAUNCHER=$launcher"
fi
if ! TOVRA_CMAKE_ARGS=$args bash "$src/scripts/build.sh" i686:TovraSetup >"$work/build.log" 2>&1; then
  tail -30 "$work/build.log" >&2
  echo "FAIL: the build of version $version failed (log: $work/build.log)" >&2
  exit 1
fi
t=$B/i686
exe=$t/bin/TovraSetup.exe

# The sample archive, read by the host's PE reader.
set +e
"$host_bin/tovra-archive-check" "$t/product/setup.zip" "$version" 2>"$work/check.err"
accepted=$?
"$host_bin/tovra-archive-check" "$t/product/setup.zip" "$default" 2>"$work/check-default.err"
refused=$?
set -e
check "the sample archive passes the check for $version ($(head -1 "$work/check.err"))" test $accepted = 0
check "the check for $default refuses it" test $refused = 1
check "the refusal names both versions" grep -qF \
  "TovraClientService.exe has file version $version, the installer requires $default" "$work/check-default.err"

# Version records hold UTF-16 text; without its zero bytes it reads as ASCII.
# grep -c reads to the end: an early exit would fail the pipe (pipefail).
has_text() { [ "$(tr -d '\0' <"$1" | grep -caF -- "$2" || true)" -gt 0 ]; }
lacks_text() { ! has_text "$@"; }
for f in bin/TovraSetup.exe bin/7ZG.exe bin/7Z.dll bin/TovraClientService.exe bin/TovraControl.exe; do
  check "$f holds no $default" lacks_text "$t/$f" "$default"
  check "$f's version record says $version" has_text "$t/$f" "FileVersion$version"
  check "$f's version record's product version is $version" has_text "$t/$f" "ProductVersion$version"
done
check "the installer's manifest says $version" grep -qaF "version=\"$version\"" "$exe"

# The install, in the i686 tree's Wine prefix.
dir="$work/安装 $version"
rm -rf "$dir"
mkdir -p "$dir"
set +e
timeout 300 "$tree/wine-run.sh" "$exe" -auto_setup -target_dir "Z:$(echo "$dir" | tr / '\\')" \
  </dev/null >"$work/install.log" 2>&1
code=$?
set -e
for _ in $(seq 50); do [ -f "$dir/TovraControl.launch.txt" ] && break; sleep 0.1; done
check "the installer exits 0 (got $code)" test $code = 0
check "the installed service program is the one built with $version" \
  cmp -s "$dir/TovraClientService.exe" "$t/bin/TovraClientService.exe"
check "the install started the control program" test -f "$dir/TovraControl.launch.txt"

# The sample archive of the default version, carried by this tree: refused.
set +e
TOVRA_CMAKE_ARGS="$args -DTOVRA_PRODUCT_ARCHIVE=$tree/product/setup.zip" \
  bash "$src/scripts/build.sh" i686:TovraSetup >"$work/refused.log" 2>&1
refused=$?
set -e
check "the build carrying the $default sample fails" test $refused != 0
check "it says why, naming both versions" grep -qF \
  "TovraClientService.exe has file version $default, the installer requires $version" "$work/refused.log"

[ $failures = 0 ]
