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

# A mirror whose i386 index of the security suite stays stale ("File has
# unexpected size ... Mirror sync in progress?", seen for hours) leaves
# wine32:i386 uninstallable: its libraries must match the amd64 ones to the
# version, and those came from the security suite. This fetches the i386 twin
# of every amd64 package installed from there, straight from the same
# mirror's pool, into a local repository apt then takes them from.
i386_security_twins() {
  local repo=${TOVRA_TWINS_DIR:-/var/cache/tovra-i386-twins} index
  index=$(ls /var/lib/apt/lists/*security*main_binary-amd64_Packages* 2>/dev/null | head -1)
  [ -n "$index" ] || return 0
  local base
  base=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/* 2>/dev/null | grep -v '^[[:space:]]*#' |
    grep -o 'http[^ ]*debian-security' | head -1)
  [ -n "$base" ] || return 0
  $SUDO mkdir -p "$repo"
  # Package, version and pool file of each multi-arch-same amd64 package.
  /usr/lib/apt/apt-helper cat-file "$index" | awk '
    /^Package: / { p = $2 } /^Version: / { v = $2 } /^Filename: / { f = $2 }
    /^Multi-Arch: same/ { m = 1 }
    /^$/ { if (m) print p, v, f; p = v = f = ""; m = 0 }' |
    while read -r p v f; do
      [ "$(dpkg-query -W -f='${Version}' "$p:amd64" 2>/dev/null)" = "$v" ] || continue
      (cd "$repo" && $SUDO curl -sfO "$base/${f%_amd64.deb}_i386.deb") || true
    done
  (cd "$repo" && dpkg-scanpackages -m . /dev/null 2>/dev/null | $SUDO tee Packages >/dev/null)
  echo "deb [trusted=yes] file:$repo ./" | $SUDO tee /etc/apt/sources.list.d/tovra-i386-twins.list >/dev/null
  $SUDO apt-get update -qq || true
}

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
    if [ "$run32" = 1 ] && [[ " ${missing[*]} " == *" wine32:i386 "* ]]; then
      echo "deps: trying once more with the i386 twins of the security updates" >&2
      rest=(curl dpkg-dev)
      for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
      DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${rest[@]}" >/dev/null &&
        i386_security_twins &&
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq wine32:i386 >/dev/null &&
        exit_ok=1
    fi
    if [ "${exit_ok:-0}" != 1 ]; then
      echo "deps: apt-get install failed for: ${missing[*]}" >&2
      exit 1
    fi
  fi
fi
if [ "$run32" = 0 ]; then
  echo "deps: this kernel cannot run 32-bit programs: wine32 not installed, the i686 suite will not run" >&2
fi
