#!/usr/bin/env bash
# Where one unattended install's time goes: runs the install benchmark's
# driver once under Wine's relay trace of a few calls (timestamps in ms, by
# process) and prints the phases of the last run of ours.
#   bench/install_trace.sh [TovraSetup.exe]   (default: the i686 build's)
#   (PEER=<its peer> for an installer of another product)
# Only the calls named below are traced, so the trace costs little. The
# prefix's relay filter is set for the run and removed afterwards.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
B=${B:-$root/build}
case "$B" in /*) ;; *) B=$root/$B ;; esac
ours=${1:-$B/i686/bin/TovraSetup.exe}
peer=${PEER:-$B/bench/install/peer/TovraNsisPeer.exe}  # install_bench.sh --archive makes one per product
driver=$B/i686/bin/install_bench.exe
[ -f "$peer" ] || { echo "install_trace: run bench/install_bench.sh once first (it builds the peer)"; exit 77; }

TOVRA_BUILD=$B/i686 TOVRA_ARCH=i686
. "$root/scripts/wine-env.sh"
tovra_wine_up || exit 1
wine32=$TOVRA_WINE

work=$B/bench/trace
rm -rf "$work"
mkdir -p "$work/runs"
calls="CreateProcessW;CreateWindowExW;SetTimer;KillTimer;CreateDirectoryA;CreateFileA;ShellExecuteExA"
calls="$calls;LoadLibraryExW;ExitProcess;GetFileVersionInfoSizeA;ShellExecuteA"
printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' '[HKEY_CURRENT_USER\Software\Wine\Debug]' \
  "\"RelayInclude\"=\"$calls\"" '' | iconv -f UTF-8 -t UTF-16 >"$work/relay.reg"
"$TOVRA_WINE64" reg import "$(tovra_winpath "$work/relay.reg")" >/dev/null 2>&1
WINEDEBUG=+timestamp,+pid,+relay "$wine32" "$driver" 1 "$(tovra_winpath "$ours")" \
  "$(tovra_winpath "$peer")" "$(tovra_winpath "$work/runs")" >"$work/driver.txt" 2>"$work/trace.txt"
"$TOVRA_WINE64" reg delete 'HKCU\Software\Wine\Debug' /v RelayInclude /f >/dev/null 2>&1

# Lines: <seconds>:<pid>:<tid>:Call <dll>.<function>(<arguments>) ...; the
# first window of the run is taken as the installer's (the desktop is up by then).
awk -F: '
  $4 ~ /^Call / {
    t = $1 * 1000; pid = $2; line = $0
    if (line ~ /CreateProcessW\(.*TovraSetup/) { start = t; setup = ""; ext = ""; delete ev }
    else if (line ~ /user32\.CreateWindowExW/ && setup == "" && start) { setup = pid; ev["window"] = t }
    else if (pid == setup && line ~ /user32\.SetTimer/) ev["timer set"] = t
    else if (pid == setup && line ~ /user32\.KillTimer/) ev["timer fired"] = t
    else if (pid == setup && line ~ /CreateFileA\(.*7Z\.DLL/ && !("pair" in ev)) ev["pair"] = t
    else if (pid == setup && line ~ /CreateFileA\(.*setup\.zip/ && !("archive" in ev)) ev["archive"] = t
    else if (pid == setup && line ~ /ShellExecuteExA/ && !("extractor" in ev)) ev["extractor"] = t
    else if (line ~ /LoadLibraryExW\(.*7z\.dll/) { ext = pid; ev["codec"] = t }
    else if (pid == ext && line ~ /ExitProcess/) ev["extracted"] = t
    else if (pid == setup && line ~ /GetFileVersionInfoSizeA/ && !("version" in ev)) ev["version"] = t
    # The control program goes through the same runner as the extractor
    # (ShellExecuteExA) or through ShellExecuteA, which calls it in turn.
    else if (pid == setup && line ~ /shell32\.ShellExecute(Ex)?A\(/ && ("version" in ev) &&
             !("launch" in ev)) ev["launch"] = t
    else if (pid == setup && line ~ /ExitProcess/) ev["exit"] = t
  }
  END {
    if (!("exit" in ev)) { print "install_trace: the trace holds no complete run"; exit 1 }
    printf "%-44s %8s\n", "phase (last run of ours, relay-traced)", "ms"
    row("process start (CreateProcess to first window)", start, ev["window"])
    row("window creation (to the 6000 ms timer)", ev["window"], ev["timer set"])
    row("the timer (not counted below)", ev["timer set"], ev["timer fired"])
    row("timer to the first write (folder, backup)", ev["timer fired"], ev["pair"])
    row("pair write (7Z.DLL, 7ZG.EXE)", ev["pair"], ev["archive"])
    row("archive write (setup.zip)", ev["archive"], ev["extractor"])
    row("extractor start (shell, process, codec)", ev["extractor"], ev["codec"])
    row("extraction (to the extractor exit)", ev["codec"], ev["extracted"])
    row("extractor exit to version check", ev["extracted"], ev["version"])
    row("version check", ev["version"], ev["launch"])
    row("control program launch, installer exit", ev["launch"], ev["exit"])
    printf "%-44s %8.1f\n", "total less the timer", ev["exit"] - start - (ev["timer fired"] - ev["timer set"])
  }
  function row(name, a, b) { printf "%-44s %8.1f\n", name, b - a }
' "$work/trace.txt"
