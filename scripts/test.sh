#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the four trees and
# runs the native suites, short fuzz runs and the Windows suites on both
# Windows builds: i686 (the shipped program, under 32-bit Wine) and x86_64
# (under wine64). Extra arguments go to every ctest run (e.g. -R Extractor).
# Ends with a summary of each part and its time; exits 1 if any part failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export B=${B:-$root/build}
"$root/scripts/deps.sh"

# Nothing the suites started outlives this command: for each Windows tree its
# wineserver, which takes the prefix's explorer, desktop holder and every
# other Wine process with it, and the Xvfb its wine-run.sh started (the
# display's lock file names its pid). A display the caller gave is not ours
# and is never recorded in .display.
stop_tree() {
  local dir=$1 n pid
  if [ -d "$dir/wineprefix" ]; then
    WINEPREFIX="$dir/wineprefix" timeout 30 /usr/lib/wine/wineserver -k 2>/dev/null || true
  fi
  if [ -f "$dir/.display" ]; then
    n=$(cat "$dir/.display")
    n=${n#:}
    pid=$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null || true)
    if [ -n "$pid" ] && [ "$(ps -p "$pid" -o comm= 2>/dev/null)" = Xvfb ]; then
      kill "$pid" 2>/dev/null || true
    fi
    rm -f "$dir/.display"
  fi
}
trap 'stop_tree "$B/x64"; stop_tree "$B/i686"' EXIT

"$root/scripts/build.sh"

summary=()
status=0
part() { # label, folder, ctest args...
  local label=$1 dir=$2; shift 2
  local t0=$SECONDS rc=0
  echo "== $label"
  # The scale label (tests/payload/scale.sh) takes minutes: ctest -L scale.
  (cd "$dir" && ctest --output-on-failure -LE scale "$@") || rc=$?
  local took=$((SECONDS - t0))
  if [ $rc = 0 ]; then
    summary+=("$label: passed (${took} s)")
  else
    summary+=("$label: FAILED (${took} s)")
    status=1
  fi
}

part "native suites" "$B/host" -j2 "$@"
part "fuzzers, a short run each" "$B/fuzz" -L fuzz "$@"
# A Wine case may die at exit after it passed ("Subprocess killed", seen once
# in the i686 hardening cases under load): Wine's server (8.0) sends SIGKILL to
# a program's Linux process one second after its last Windows thread ended
# when that process has not exited by then, which a loaded machine can miss.
# Nothing of ours outlives the case; a failed case gets one more run, and
# ctest's log shows both.
part "x86_64 suite (wine64)" "$B/x64" -j2 --repeat until-pass:2 "$@"
if why=$(bash "$root/scripts/can-run-32.sh"); then
  part "i686 suite (32-bit Wine, the shipped build)" "$B/i686" -j2 --repeat until-pass:2 "$@"
else
  echo "!! i686 suite: NOT RUN: $why" >&2
  summary+=("i686 suite: not run: $why")
fi

echo "== summary"
printf '  %s\n' "${summary[@]}"
exit $status
