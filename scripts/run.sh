#!/usr/bin/env bash
# Builds and runs the installer under Wine: on $DISPLAY when set, otherwise on
# a private Xvfb display with a screenshot saved under build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export B=${B:-$root/build}
"$root/scripts/deps.sh"
"$root/scripts/build.sh" host i686 x64
TOVRA_BUILD=$B/x64
. "$root/scripts/wine-env.sh"
had_display=${DISPLAY:-}
tovra_wine_prefix
tovra_display
tovra_wine_server
exe=$B/x64/bin/TovraSetup.exe
if [ -n "$had_display" ]; then
  exec "$TOVRA_WINE" "$exe" "$@"
fi
"$TOVRA_WINE" "$exe" "$@" &
pid=$!
sleep 4
shot=$B/TovraSetup-screenshot.png
import -display "$DISPLAY" -window root "$shot"
echo "run.sh: screenshot of the running installer: $shot"
kill "$pid" 2>/dev/null || true
