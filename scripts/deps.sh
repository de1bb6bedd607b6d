#!/usr/bin/env bash
# Installs the Debian packages the build, the Wine runs and the tests need.
# Idempotent: asks apt only for what is missing. Adds 32-bit Wine (wine32:i386)
# when this kernel runs 32-bit programs, found out by running one.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
pkgs=(
  cmake ninja-build make g++ clang libclang-rt-14-dev libfuzzer-14-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  libz-mingw-w64-dev zlib1g-dev googletest
  wine64 libwine fonts-wine xvfb fonts-wqy-microhei imagemagick x11-apps x11-utils
  locales libc-bin 7zip unzip zip e2fsprogs util-linux hyperfine bc
  osslsigncode openssl nsis binutils
)
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for p in "${pkgs[@]}"; do installed "$p" || missing+=("$p"); done

# 32-bit Wine only where a 32-bit program really runs here.
run32=0
if bash "$here/can-run-32.sh" >/dev/null 2>&1; then run32=1; fi
if [ "$run32" = 1 ]; then
  installed wine32:i386 || missing+=(wine32:i386)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "deps: adding the i386 architecture"
    $SUDO dpkg --add-architecture i386
  fi
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  # A mirror caught mid-sync fails an index ("File has unexpected size"):
  # that passes within minutes, so the update is tried again before giving
  # up, and the install then still runs on whatever indexes did arrive.
  for try in 1 2 3 4 5; do
    $SUDO apt-get update -qq && break
    echo "deps: apt-get update failed (try $try of 5)" >&2
    [ "$try" = 5 ] || sleep $((try * 20))
  done
  # With recommends, as on the machines this was tested on (Wine pulls in the
  # GL, sound and font libraries it uses through them).
  if ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null; then
    echo "deps: apt-get install failed for: ${missing[*]}" >&2
    exit 1
  fi
fi
if [ "$run32" = 0 ]; then
  echo "deps: this kernel cannot run 32-bit programs: wine32 not installed, the i686 suite will not run" >&2
fi
