#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the three trees and
# runs the native suites and the Windows suites (under wine64, on Xvfb).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export B=${B:-$root/build}
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
status=0
echo "== native suites"
(cd "$B/host" && ctest --output-on-failure -j2 "$@") || status=1
echo "== fuzzers, a short run each"
(cd "$B/fuzz" && ctest --output-on-failure -L fuzz "$@") || status=1
echo "== Windows suites (x86_64 build under wine64)"
(cd "$B/x64" && ctest --output-on-failure -j2 "$@") || status=1
exit $status
