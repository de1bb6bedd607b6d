#!/usr/bin/env bash
# The size limit for real: an i686 installer carrying a product just under
# the limit (1,000 MiB of incompressible filler in 100 files, beside the
# sample's files) is built and installs unattended under 32-bit Wine (exit 0,
# every file there and the same as packed); a file 40 MiB larger (that
# product, grown sparsely: the size is refused before anything else is read)
# is refused when its tree is configured, and by tovra-archive-check, each
# time with the size and the limit. Label scale, outside the default
# suite (some 10 minutes, 6 GB under $TMPDIR or /var/tmp).
#   scale.sh <build root> <i686 build folder>    (what ctest gives)
# Exit 77 when 32-bit programs cannot run here.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
B=$1 tree=$2
if ! why=$("$root/scripts/can-run-32.sh"); then echo "scale: cannot run here: $why"; exit 77; fi
work=$(mktemp -d "${TMPDIR:-/var/tmp}/tovra-scale.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "scale: FAILED: $*"; exit 1; }
t0=$SECONDS
step() { echo "scale: $((SECONDS - t0)) s: $*"; }

step "making the products"
B=$B "$root/bench/make_product.sh" "$work/near.zip" --mb 1000 --files 100 || fail "make_product"
cp "$work/near.zip" "$work/past.zip" && truncate -s +40M "$work/past.zip" || fail "past.zip"

step "configuring a tree with the product past the limit (refused)"
args="${TOVRA_CMAKE_ARGS:-} -DTOVRA_HOST_BIN=$B/host/bin"
TOVRA_CMAKE_ARGS="$args -DTOVRA_PRODUCT_ARCHIVE=$work/past.zip" B=$work/past \
  "$root/scripts/build.sh" i686:TovraSetup >"$work/past.log" 2>&1 && fail "the build took past.zip"
# CMake wraps its message.
tr -s ' \n' ' ' <"$work/past.log" | grep -q "past.zip is [0-9]* bytes, past the limit of 1072693248 bytes" ||
  { tail -n 20 "$work/past.log"; fail "configure gave no size and limit"; }
[ ! -e "$work/past/i686/bin/TovraSetup.exe" ] || fail "an installer was linked"
version=$(sed -n 's/^TOVRA_PRODUCT_VERSION:STRING=//p' "$tree/CMakeCache.txt")
"$B/host/bin/tovra-archive-check" "$work/past.zip" "$version" 2>"$work/check.txt" &&
  fail "archive check took it"
grep -q "past the limit of 1,072,693,248 bytes" "$work/check.txt" || fail "$(cat "$work/check.txt")"
cat "$work/check.txt"
rm -rf "$work/past" "$work/past.zip"

step "building the installer carrying $(stat -c %s "$work/near.zip") bytes"
TOVRA_CMAKE_ARGS="$args -DTOVRA_PRODUCT_ARCHIVE=$work/near.zip" B=$work/near \
  "$root/scripts/build.sh" i686:TovraSetup >"$work/near.log" 2>&1 ||
  { tail -n 20 "$work/near.log"; fail "building near.zip's installer"; }
exe=$work/near/i686/bin/TovraSetup.exe
ls -l "$exe"

step "installing it unattended under 32-bit Wine"
TOVRA_BUILD=$tree
TOVRA_ARCH=i686
. "$root/scripts/wine-env.sh"
tovra_wine_up || fail "Wine"
mkdir -p "$work/to"
timeout 900 "$TOVRA_WINE" "$(tovra_winpath "$exe")" -auto_setup -target_dir "$(tovra_winpath "$work/to/安装")"
code=$?
[ $code = 0 ] || fail "the installer exited $code"
step "installed; comparing"
# The NSIS peer's generator unpacks the archive with its names decoded from CP936.
"$B/host/bin/tovra-nsis-peer" --tree "$work/near.zip" "$work/packed" >/dev/null || fail "unpacking near.zip"
diff -rq "$work/packed/files" "$work/to/安装" -x 7Z.DLL -x 7ZG.EXE -x setup.zip \
  -x TovraControl.launch.txt || fail "the install differs from the archive"
step "passed: $(find "$work/to/安装" -type f | wc -l) files"
