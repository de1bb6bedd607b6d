#!/usr/bin/env bash
# Builds (or brings up to date) the shipped i686 tree and writes a release:
#   dist/TovraSetup.exe   the installer, signed when a key is given
#   dist/SHA256SUMS       its SHA-256, as `sha256sum -c` reads it
# and prints version, sizes and hash. dist/ is replaced as a whole, and only
# when everything succeeded: on any error it is left as it was.
#
# Environment:
#   TOVRA_SIGN_PFX            PKCS#12 file with the code-signing key and certificate
#   TOVRA_SIGN_PASS_FILE      file whose first line is that file's password
#   TOVRA_SIGN_TIMESTAMP_URL  RFC 3161 time-stamp server (osslsigncode -ts), optional
#   TOVRA_DIST                output folder (default <source>/dist)
#   B                         build folder (default <source>/build), as scripts/build.sh
#   TOVRA_RELEASE_TREE        i686 (default); x64 only lets the tests release the
#                             x86_64 twin where 32-bit programs cannot run
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export B=${B:-$root/build}
case "$B" in /*) ;; *) B=$root/$B ;; esac
dist=${TOVRA_DIST:-$root/dist}
case "$dist" in /*) ;; *) dist=$root/$dist ;; esac
tree=${TOVRA_RELEASE_TREE:-i686}
pfx=${TOVRA_SIGN_PFX:-}
pass=${TOVRA_SIGN_PASS_FILE:-}
tsa=${TOVRA_SIGN_TIMESTAMP_URL:-}

fail() {
  echo "release.sh: $*" >&2
  exit 1
}

case "$tree" in i686 | x64) ;; *) fail "TOVRA_RELEASE_TREE must be i686 or x64, not $tree" ;; esac

# A readable regular file: test -r alone passes everything for root.
readable() { [ -f "$1" ] && head -c 1 "$1" >/dev/null 2>&1; }

# Signing inputs are checked before the build, so a bad key costs seconds.
signer=
if [ -n "$pfx" ] || [ -n "$pass" ]; then
  [ -n "$pfx" ] || fail "TOVRA_SIGN_PASS_FILE is set but TOVRA_SIGN_PFX is not: set both to sign"
  [ -n "$pass" ] || fail "TOVRA_SIGN_PFX is set but TOVRA_SIGN_PASS_FILE is not: set both to sign"
  command -v osslsigncode >/dev/null ||
    fail "osslsigncode not found: it signs the installer (scripts/deps.sh installs it)"
  command -v openssl >/dev/null || fail "openssl not found (scripts/deps.sh installs it)"
  readable "$pfx" || fail "cannot read the signing key TOVRA_SIGN_PFX=$pfx"
  readable "$pass" || fail "cannot read the password file TOVRA_SIGN_PASS_FILE=$pass"
  # OpenSSL 3 needs -legacy for the RC2/3DES files older tools write.
  legacy=
  if ! openssl pkcs12 -in "$pfx" -passin "file:$pass" -noout 2>/dev/null; then
    legacy=-legacy
    openssl pkcs12 -legacy -in "$pfx" -passin "file:$pass" -noout 2>/dev/null ||
      fail "cannot open $pfx with the password in $pass: wrong password, or not a PKCS#12 file"
  fi
  # The key is only looked at here, never kept.
  openssl pkcs12 $legacy -in "$pfx" -passin "file:$pass" -nocerts -nodes 2>/dev/null |
    grep -e "-BEGIN .*PRIVATE KEY-" >/dev/null || fail "$pfx holds no private key to sign with"
  signer=$(openssl pkcs12 $legacy -in "$pfx" -passin "file:$pass" -nokeys -clcerts 2>/dev/null |
    openssl x509 -noout -subject -nameopt oneline,-esc_msb 2>/dev/null) ||
    fail "$pfx holds no certificate for its key"
  signer=${signer#subject=}
fi

# Only the installer and what it carries; the tree's tests are not needed.
"$root/scripts/build.sh" host "$tree:TovraSetup" >&2

t=$B/$tree
exe=$t/bin/TovraSetup.exe
layout=$t/payload/tovra_payload-generated/payload/payload_layout.h
[ -s "$exe" ] || fail "the build left no $exe"
[ -s "$layout" ] || fail "the build left no payload layout $layout"
version=$(sed -n 's/^#define TOVRA_PRODUCT_VERSION_STR "\(.*\)"$/\1/p' "$t/generated/tovra_version.h")
size_of() { sed -n "s/^inline constexpr unsigned long $1 = \([0-9]*\)UL;$/\1/p" "$layout"; }
extractor=$(size_of ExtractorImageSize)
codec=$(size_of CodecLibraryImageSize)
archive=$(size_of ArchiveSize)
[ -n "$version" ] && [ -n "$extractor" ] && [ -n "$codec" ] && [ -n "$archive" ] ||
  fail "cannot read the version or the payload sizes from $t"
payload=$((extractor + codec + archive))
image=$(stat -c %s "$exe")

# Everything is written into a stage beside dist/ (same file system), which
# then takes dist/'s place in one rename.
parent=$(dirname "$dist")
mkdir -p "$parent"
if [ -e "$dist" ]; then
  [ -d "$dist" ] || fail "$dist is not a folder"
  other=$(find "$dist" -mindepth 1 -maxdepth 1 ! -name TovraSetup.exe ! -name SHA256SUMS | head -1)
  [ -z "$other" ] || fail "$dist holds other files ($other): not replacing it"
fi
stage=$(mktemp -d "$parent/.dist-stage.XXXXXX")
old=
# Interrupted between the two renames below, the earlier release goes back.
cleanup() {
  if [ -n "$old" ] && [ -e "$old" ] && [ ! -e "$dist" ]; then mv "$old" "$dist"; fi
  rm -rf "$stage" ${old:+"$old"}
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
chmod 755 "$stage"

if [ -n "$pfx" ]; then
  cp "$exe" "$stage/unsigned.exe"
  args=(sign -pkcs12 "$pfx" -readpass "$pass" -h sha256 -n "Tovra Setup" -i "http://www.tovra.cn")
  [ -z "$tsa" ] || args+=(-ts "$tsa")
  if ! out=$(osslsigncode "${args[@]}" -in "$stage/unsigned.exe" -out "$stage/TovraSetup.exe" 2>&1); then
    echo "$out" | grep -v '^Succeeded$' | sed 's/^/  osslsigncode: /' >&2
    fail "signing failed${tsa:+ (time-stamp server $tsa)}"
  fi
  rm "$stage/unsigned.exe"
else
  cp "$exe" "$stage/TovraSetup.exe"
fi
chmod 644 "$stage/TovraSetup.exe"
(cd "$stage" && sha256sum TovraSetup.exe >SHA256SUMS)
hash=$(cut -d' ' -f1 "$stage/SHA256SUMS")
installer=$(stat -c %s "$stage/TovraSetup.exe")

if [ -e "$dist" ]; then
  old=$(mktemp -u "$parent/.dist-old.XXXXXX")
  mv "$dist" "$old"
fi
if ! mv -T "$stage" "$dist"; then
  [ -z "$old" ] || mv "$old" "$dist"
  fail "cannot move the release into $dist"
fi

echo "Tovra Setup $version ($tree)"
printf '  %-10s %s\n' installer "$dist/TovraSetup.exe: $installer bytes"
printf '  %-10s %s\n' payload "$payload bytes (7ZG.EXE $extractor, 7Z.DLL $codec, setup.zip $archive)"
printf '  %-10s %s\n' "own code" "$((image - payload)) bytes (the image less its payload)"
if [ -n "$pfx" ]; then
  printf '  %-10s %s\n' signature "$((installer - image)) bytes, Authenticode SHA-256, $signer${tsa:+, time-stamped by $tsa}"
else
  printf '  %-10s %s\n' signature "none (set TOVRA_SIGN_PFX and TOVRA_SIGN_PASS_FILE to sign)"
fi
printf '  %-10s %s\n' SHA-256 "$hash"
