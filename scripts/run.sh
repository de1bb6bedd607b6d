#!/usr/bin/env bash
# Builds and runs the shipped installer (the i686 build, under 32-bit Wine;
# the x86_64 build of the same sources where this kernel cannot run 32-bit
# programs, said so on stderr).
#   On a display that answers ($DISPLAY): the installer's window, as a user
#   sees it. Extra arguments go to the installer (-auto_setup, -target_dir
#   "C:\...").
#   Headless: a private Xvfb display; a screenshot of the window, then an
#   unattended install into a scratch folder, and what it left there.
# Every Wine process it starts has a time limit, and what it started is
# stopped on the way out, interrupted or not.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export B=${B:-$root/build}
case "$B" in /*) ;; *) B=$root/$B ;; esac

die() { echo "run.sh: $*" >&2; exit 1; }

"$root/scripts/deps.sh" || die "installing the packages failed"
if why=$(bash "$root/scripts/can-run-32.sh"); then
  tree=i686
else
  echo "run.sh: $why: running the x86_64 build of the same sources instead" >&2
  tree=x64
fi
"$root/scripts/build.sh" host "$tree:TovraSetup" || die "the build failed"

TOVRA_BUILD=$B/$tree
TOVRA_ARCH=$([ "$tree" = i686 ] && echo i686 || echo x86_64)
. "$root/scripts/wine-env.sh"
exe=$B/$tree/bin/TovraSetup.exe
[ -f "$exe" ] || die "$exe was not built"

interactive=0
if tovra_display_ok "${DISPLAY:-}"; then
  interactive=1
elif [ -n "${DISPLAY:-}" ]; then
  echo "run.sh: DISPLAY=$DISPLAY does not answer: running headless" >&2
  unset DISPLAY
fi

cleanup() {
  local rc=$?
  trap - EXIT INT TERM
  # Only what this run started: a server or display kept by the test
  # suite stays for it.
  if [ "${TOVRA_STARTED_SERVER:-0}" = 1 ]; then "$TOVRA_WINESERVER" -k 2>/dev/null || true; fi
  if [ -n "${TOVRA_STARTED_XVFB:-}" ]; then
    kill "$TOVRA_STARTED_XVFB" 2>/dev/null || true
    rm -f "$TOVRA_BUILD/.display"
  fi
  exit $rc
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Headless, DISPLAY is unset by now and a private Xvfb is started.
tovra_wine_up || die "Wine could not be set up"

# The default folder is D:\Tovra; a fresh prefix has no D: drive.
mkdir -p "$B/drive-d"
ln -sfn "$B/drive-d" "$WINEPREFIX/dosdevices/d:"

if [ $interactive = 1 ]; then
  "$TOVRA_WINE" "$exe" "$@"
  exit $?
fi

# The installer's window: the one 644x377 window of the display.
find_window() {
  xwininfo -display "$DISPLAY" -root -tree 2>/dev/null |
    awk '/ 644x377\+/ { print $1; exit }'
}
shot=$B/TovraSetup-screenshot.png
timeout 60 "$TOVRA_WINE" "$exe" &
pid=$!
win=
for _ in $(seq 300); do
  win=$(find_window)
  [ -n "$win" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$win" ]; then
  kill "$pid" 2>/dev/null || true
  die "the installer's window did not appear within 30 s"
fi
# Painting follows mapping by a moment: wait until two shots agree. A window
# just found may not be viewable yet, and X then refuses the shot: try again.
prev=
for _ in $(seq 50); do
  if import -display "$DISPLAY" -window "$win" "$shot" 2>/dev/null; then
    sum=$(md5sum <"$shot")
    [ "$sum" = "$prev" ] && break
    prev=$sum
  fi
  sleep 0.2
done
[ -n "$prev" ] || die "no screenshot of window $win could be taken in 10 s"
echo "run.sh: screenshot of the installer's window ($(identify -format '%wx%h' "$shot")): $shot"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true

scratch="$B/scratch/安装 目录"
rm -rf "$B/scratch"
mkdir -p "$B/scratch"
win_dir=$(tovra_winpath "$scratch")
echo "run.sh: unattended install into $win_dir (starts after the installer's 6 s timer)"
start=$(date +%s.%N)
code=0
timeout 180 "$TOVRA_WINE" "$exe" -auto_setup -target_dir "$win_dir" || code=$?
end=$(date +%s.%N)
[ $code != 124 ] || die "the unattended install did not end within 180 s"
printf 'run.sh: installer exit code %s after %.1f s\n' "$code" "$(echo "$end - $start" | bc)"
# The control program is started without waiting for it; its record may
# land a moment after the installer has exited.
for _ in $(seq 50); do [ -f "$scratch/TovraControl.launch.txt" ] && break; sleep 0.1; done
echo "run.sh: installed files:"
# The installer's own files and the three the installer relies on; the rest
# of the product is counted.
for f in 7Z.DLL 7ZG.EXE setup.zip TovraClientService.exe TovraControl.exe TovraClient.dat; do
  if [ -e "$scratch/$f" ]; then printf '  %-24s %10s bytes\n' "$f" "$(stat -c %s "$scratch/$f")"; fi
done
echo "  ... $(find "$scratch" -type f ! -name TovraControl.launch.txt | wc -l) files in all"
echo "run.sh: the control program's launch record (working folder <TAB> command line):"
if [ -f "$scratch/TovraControl.launch.txt" ]; then
  sed 's/^/  /' "$scratch/TovraControl.launch.txt"
else
  echo "  (none: the control program was not started)"
  [ $code != 0 ] || die "the installer reported success but the control program was not started"
fi
exit "$code"
