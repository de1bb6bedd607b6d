#!/usr/bin/env bash
# Installs the Debian packages the build, the Wine runs and the tests need.
# Idempotent: asks apt only for what is missing, so a second run does nothing.
# Adds 32-bit Wine (wine32:i386) when this kernel runs 32-bit programs, found
# out by running one.
#
# It installs only what apt takes from signed indexes. When wine32:i386 cannot
# be resolved as asked (a stale i386 index, or amd64 libraries at versions no
# i386 index offers), it pins each Multi-Arch: same library wine32 needs to
# one version both architectures' indexes offer; that may upgrade some
# installed amd64 libraries to the version of the i386 side (never downgrade
# them, never remove a package). Each fallback is said in one line on stderr.
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
export DEBIAN_FRONTEND=noninteractive

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for p in "${pkgs[@]}"; do installed "$p" || missing+=("$p"); done

updated=0
apt_update() {
  [ "$updated" = 0 ] || return 0
  updated=1
  # A mirror caught mid-sync fails an index ("File has unexpected size");
  # that often passes within a minute, so the update is tried again, and the
  # install then runs on whatever indexes did arrive.
  local log why
  log=$(mktemp)
  for try in 1 2 3; do
    if $SUDO apt-get update -qq >"$log" 2>&1; then
      rm -f "$log"
      return 0
    fi
    why=$(grep -m1 '^E: ' "$log" | sed 's/ \[IP: .*//' | cut -c1-200)
    if [ "$try" = 3 ]; then
      echo "deps: apt-get update failed 3 times ($why); going on with the indexes that did arrive" >&2
    else
      echo "deps: apt-get update failed (try $try of 3: $why); again in $((try * 10)) s" >&2
      sleep $((try * 10))
    fi
  done
  rm -f "$log"
}

apt_install() { # apt-get options..., packages...
  # With recommends, as on the machines this was tested on (Wine pulls in the
  # GL, sound and font libraries it uses through them).
  $SUDO apt-get install -y -qq "$@" >/dev/null
}

# 32-bit Wine only where a 32-bit program really runs here; the check
# assembles one, so a machine without binutils gets them first.
if ! command -v as >/dev/null || ! command -v ld >/dev/null; then
  echo "deps: installing binutils first: the 32-bit check assembles a tiny program"
  apt_update
  apt_install binutils
fi
run32=0
if bash "$here/can-run-32.sh" >/dev/null 2>&1; then run32=1; fi
if [ "$run32" = 1 ]; then
  installed wine32:i386 || missing+=(wine32:i386)
  if ! installed wine32:i386 && ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "deps: adding the i386 architecture"
    $SUDO dpkg --add-architecture i386
    updated=0 # the new architecture's indexes are still to come
  fi
fi

# One version for both architectures of every Multi-Arch: same package that
# wine32:i386 may pull in. Such a pair must be at one version, and apt takes
# each architecture's candidate on its own, so it gives up ("held broken
# packages") when they differ. Two causes, seen on fresh machines:
#   - a suite whose i386 index failed (a mirror caught mid-sync, stale for
#     days): its amd64 packages are newer than anything i386 is offered. Such
#     a suite is set below the installed versions for this install, so the
#     candidates of both architectures come from the suites that have both;
#   - amd64 libraries installed at a version no index carries any more: each
#     is pinned to the highest version both architectures' indexes offer at or
#     above the installed one (an upgrade, from a signed index).
# Writes the APT preferences to $1. Fails naming every package left without
# such a version, and why.
pin_common_versions() {
  local prefs=$1 closure avail inst rel f suite
  closure=$(mktemp) avail=$(mktemp) inst=$(mktemp)
  : >"$prefs"
  for rel in /var/lib/apt/lists/*_InRelease /var/lib/apt/lists/*_Release; do
    [ -e "$rel" ] || continue
    grep -q ' [a-z-]*/binary-i386/Packages' "$rel" || continue
    f=${rel%_InRelease}
    f=${f%_Release}
    ls "$f"_*_binary-i386_Packages* >/dev/null 2>&1 && continue
    suite=$(sed -n 's/^Codename: //p' "$rel" | head -1)
    [ -n "$suite" ] || continue
    echo "deps: $suite has no i386 index here (its download failed); this install takes nothing from it" >&2
    printf 'Package: *\nPin: release n=%s\nPin-Priority: 50\n\n' "$suite" >>"$prefs"
  done
  apt-cache depends --recurse --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances wine32:i386 2>/dev/null |
    sed -n 's/^\([^ <][^ ]*\):i386$/\1/p' | sort -u >"$closure"
  # Every Multi-Arch: same record of the amd64 and i386 indexes: name arch version.
  for f in /var/lib/apt/lists/*_binary-amd64_Packages* /var/lib/apt/lists/*_binary-i386_Packages*; do
    [ -e "$f" ] || continue
    /usr/lib/apt/apt-helper cat-file "$f"
    echo
  done | awk '/^Package: / { p = $2 } /^Architecture: / { a = $2 } /^Version: / { v = $2 }
      /^Multi-Arch: same/ { m = 1 }
      /^$/ { if (m && p != "") print p, a, v; p = a = v = ""; m = 0 }' | sort -u >"$avail"
  dpkg-query -W -f='${Package} ${Architecture} ${Version} ${db:Status-Abbrev}\n' |
    awk '$2 == "amd64" && $4 ~ /^.i/ { print $1, $3 }' | sort -u >"$inst"
  local p have i386v amd64v best v failed=0 n=0
  # One line per installed amd64 package of the closure that has i386
  # records: name, installed version, i386 versions, amd64 versions (the
  # version lists comma-separated).
  while read -r p have i386v amd64v; do
    [[ ",$i386v," != *",$have,"* ]] || continue # its twin is offered
    best=
    for v in ${i386v//,/ }; do
      [[ ",$amd64v," == *",$v,"* ]] || continue
      dpkg --compare-versions "$v" ge "$have" || continue
      [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best" || continue
      best=$v
    done
    if [ -z "$best" ]; then
      echo "deps: cannot resolve $p:i386: $p:amd64 is installed at $have, and no index offers" \
        "$p:i386 at that version or at one both architectures have above it (i386 offers:" \
        "${i386v//,/ })" >&2
      failed=1
      continue
    fi
    printf 'Package: %s\nPin: version %s\nPin-Priority: 990\n\n' "$p" "$best" >>"$prefs"
    n=$((n + 1))
  done < <(awk 'FILENAME == ARGV[1] { want[$1] = 1; next }
      FILENAME == ARGV[2] { if ($1 in want) { if ($2 == "i386") i[$1] = i[$1] "," $3; else a[$1] = a[$1] "," $3 } next }
      { if ($1 in want) have[$1] = $2 }
      END { for (p in i) if (p in have) print p, have[p], substr(i[p], 2), (p in a ? substr(a[p], 2) : "-") }' \
    "$closure" "$avail" "$inst")
  rm -f "$closure" "$avail" "$inst"
  [ "$failed" = 0 ] || return 1
  [ "$n" = 0 ] || echo "deps: $n installed amd64 libraries have no i386 twin at their version: each moves up to the highest version both architectures are offered" >&2
}

if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  apt_update
  if ! $SUDO apt-get install -s -qq "${missing[@]}" >/dev/null 2>&1; then
    if [[ " ${missing[*]} " == *" wine32:i386 "* ]]; then
      echo "deps: apt cannot resolve wine32:i386 as asked; pinning its Multi-Arch: same libraries to versions both architectures' indexes offer" >&2
      prefs=$(mktemp)
      trap 'rm -f "$prefs"' EXIT
      if ! pin_common_versions "$prefs"; then
        echo "deps: apt-get install failed: no common version for the packages above" >&2
        exit 1
      fi
      # --no-remove: this must never take a package off the machine.
      if ! apt_install --no-remove -o Dir::Etc::Preferences="$prefs" "${missing[@]}"; then
        echo "deps: apt-get install failed for: ${missing[*]} (even with the pins; apt's reasons above)" >&2
        exit 1
      fi
      missing=()
    fi
  fi
  if [ ${#missing[@]} -gt 0 ] && ! apt_install "${missing[@]}"; then
    echo "deps: apt-get install failed for: ${missing[*]} (apt's reasons above)" >&2
    exit 1
  fi
fi
if [ "$run32" = 0 ]; then
  echo "deps: this kernel cannot run 32-bit programs: wine32 not installed, the i686 suite will not run" >&2
fi
