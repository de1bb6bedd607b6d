#!/usr/bin/env bash
# Builds and runs the installer under Wine (the x86_64 build of the shipped
# sources; this kernel cannot run the 32-bit one).
#   With $DISPLAY set: the installer's window, as a user sees it. Extra
#   arguments go to the installer (-auto_setup, -target_dir "C:\...").
#   Without: a private Xvfb display; a screenshot of the window, then an
#   unattended install into a scratch folder, and what it left there.
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
# The default folder is D:\Tovra; a fresh prefix has no D: drive.
mkdir -p "$B/drive-d"
ln -sfn "$B/drive-d" "$WINEPREFIX/dosdevices/d:"

if [ -n "$had_display" ]; then
  exec "$TOVRA_WINE" "$exe" "$@"
fi

"$TOVRA_WINE" "$exe" &
pid=$!
sleep 4
shot=$B/TovraSetup-screenshot.png
import -display "$DISPLAY" -window root "$shot"
echo "run.sh: screenshot of the installer's window: $shot"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true

scratch="$B/scratch/安装 目录"
rm -rf "$B/scratch"
mkdir -p "$B/scratch"
win_dir="Z:$(echo "$scratch" | tr / '\\')"
echo "run.sh: unattended install into $win_dir (starts after the installer's 6 s timer)"
start=$(date +%s.%N)
set +e
"$TOVRA_WINE" "$exe" -auto_setup -target_dir "$win_dir"
code=$?
set -e
end=$(date +%s.%N)
printf 'run.sh: installer exit code %s after %.1f s\n' "$code" "$(echo "$end - $start" | bc 2>/dev/null || echo 0)"
echo "run.sh: installed files:"
# The installer's own files and the three the installer relies on; the rest
# of the product is counted.
for f in 7Z.DLL 7ZG.EXE setup.zip TovraClientService.exe TovraControl.exe TovraClient.dat; do
  if [ -e "$scratch/$f" ]; then printf '  %-24s %10s bytes\n' "$f" "$(stat -c %s "$scratch/$f")"; fi
done
echo "  ... $(find "$scratch" -type f | wc -l) files in all"
for _ in $(seq 50); do [ -f "$scratch/TovraControl.launch.txt" ] && break; sleep 0.1; done
echo "run.sh: the control program's launch record (working folder <TAB> command line):"
sed 's/^/  /' "$scratch/TovraControl.launch.txt" 2>/dev/null || echo "  (none: the control program was not started)"
exit "$code"
