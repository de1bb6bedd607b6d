#!/usr/bin/env bash
# Installs the Debian packages the build, the Wine runs and the tests need.
# Idempotent: asks apt only for what is missing.
set -euo pipefail
pkgs=(
  cmake ninja-build make g++ clang libclang-rt-14-dev libfuzzer-14-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  libz-mingw-w64-dev zlib1g-dev googletest
  wine64 libwine fonts-wine xvfb fonts-wqy-microhei imagemagick x11-apps x11-utils
  locales libc-bin 7zip unzip zip e2fsprogs util-linux hyperfine bc
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
# With recommends, as on the machines this was tested on (Wine pulls in the
# GL, sound and font libraries it uses through them).
# wine32 makes /usr/bin/wine pick the 32-bit loader, which this kernel cannot
# run; we call /usr/lib/wine/wine64 directly and never install it.
