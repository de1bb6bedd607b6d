# Sourced, not run. Prepares everything a Wine run of ours needs and exports
# it: TOVRA_BUILD must name the build folder that owns the prefix, and
# TOVRA_ARCH (i686 or x86_64, default x86_64) the kind of program it runs.
#   tovra_wine_env      exports WINEPREFIX, LOCPATH, LANG, TOVRA_WINE, ... (cheap)
#   tovra_wine_prefix   creates the prefix once (locale, fonts, registry)
#   tovra_wine_server   starts a persistent wineserver detached from our pipes
#   tovra_display       makes sure DISPLAY names an X server that answers
#                       (starts a private Xvfb when none does)
#   tovra_wine_up       all of it in order, for a script that runs Windows
#                       programs: env, prefix, display, server, desktop holder
# Every step is guarded by a lock, so parallel ctest jobs can call it. Each
# function returns non-zero with a message on stderr when it fails; none of
# them relies on the caller's set -e.

TOVRA_WINE64=/usr/lib/wine/wine64
TOVRA_WINE32=/usr/lib/wine/wine
TOVRA_WINESERVER=/usr/lib/wine/wineserver

tovra_wine_env() {
  : "${TOVRA_BUILD:?TOVRA_BUILD must name the build folder}"
  export WINEPREFIX="$TOVRA_BUILD/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LOCPATH="$TOVRA_BUILD/locale"
  # bash warns when it cannot load the locale itself; only Wine needs it.
  { export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8; } 2>/dev/null
  # One win64 prefix serves both kinds of program: its syswow64 side holds
  # the 32-bit DLLs once wine32 is installed.
  export WINEARCH=win64
  case "${TOVRA_ARCH:-x86_64}" in
    i686) TOVRA_WINE=$TOVRA_WINE32 ;;
    *) TOVRA_WINE=$TOVRA_WINE64 ;;
  esac
  export TOVRA_WINE
}

# The Windows path of a host path: Wine's drive Z: is the host's root.
tovra_winpath() {
  echo "Z:$1" | tr / '\\'
}

# Without a generated zh_CN.UTF-8 locale Wine mangles non-ASCII argv and file
# names, and the ANSI code page would not be 936.
tovra_locale() {
  [ -d "$LOCPATH/zh_CN.UTF-8" ] && return 0
  mkdir -p "$LOCPATH" || return 1
  # localedef warns (exit 1) about harmless details of the zh_CN source
  # while still writing the locale; the folder decides.
  LC_ALL=C localedef -i zh_CN -f UTF-8 "$LOCPATH/zh_CN.UTF-8" >/dev/null 2>&1
  [ -d "$LOCPATH/zh_CN.UTF-8" ]
}

# A prefix made before wine32 was installed has no 32-bit side, and a 32-bit
# program then dies with "could not load kernel32.dll".
tovra_prefix_complete() {
  [ -f "$WINEPREFIX/.tovra-ready" ] || return 1
  if [ -x "$TOVRA_WINE32" ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    return 1
  fi
  return 0
}

tovra_wine_prefix() {
  tovra_wine_env
  mkdir -p "$TOVRA_BUILD" || return 1
  (
    set +e
    flock 9 || exit 1
    tovra_locale || { echo "wine-env: localedef zh_CN.UTF-8 failed" >&2; exit 1; }
    tovra_prefix_complete && exit 0
    fail() { echo "wine-env: prefix $WINEPREFIX: $*" >&2; exit 1; }
    # A half-made or outdated prefix: its server (if one runs) must go first.
    # No server running is the usual case, and -k then fails: tolerated.
    "$TOVRA_WINESERVER" -k 2>/dev/null 9>&- || true
    rm -rf "$WINEPREFIX" || fail "cannot remove the old prefix"
    timeout 300 "$TOVRA_WINE64" wineboot -i </dev/null >/dev/null 2>&1 9>&- || fail "wineboot -i failed"
    timeout 120 "$TOVRA_WINESERVER" -w 9>&- || fail "wineserver -w failed"
    [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] || fail "wineboot made no system32"
    if [ -x "$TOVRA_WINE32" ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
      fail "wine32 is installed but the prefix has no 32-bit side (syswow64)"
    fi
    # Wine does not load its own Tahoma unless it sits in the prefix.
    cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" ||
      fail "cannot copy Tahoma (fonts-wine)"
    # Chinese typefaces the programs ask for, mapped to the installed WenQuanYi
    # font. A UTF-16LE .reg file keeps the Chinese value names intact.
    reg="$TOVRA_BUILD/fonts.reg"
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
      '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
      '"微软雅黑"="WenQuanYi Micro Hei"' '"Microsoft YaHei"="WenQuanYi Micro Hei"' \
      '"宋体"="WenQuanYi Micro Hei"' '"SimSun"="WenQuanYi Micro Hei"' '' |
      iconv -f UTF-8 -t UTF-16 >"$reg" || fail "cannot write $reg"
    timeout 120 "$TOVRA_WINE64" reg import "$(tovra_winpath "$reg")" </dev/null >/dev/null 2>&1 9>&- ||
      fail "reg import of the font replacements failed"
    timeout 120 "$TOVRA_WINESERVER" -w 9>&- || fail "wineserver -w failed"
    touch "$WINEPREFIX/.tovra-ready" || fail "cannot mark it ready"
  ) 9>"$TOVRA_BUILD/.wineprefix.lock"
}

# ctest waits until its output pipes close, and Wine's server and service
# processes inherit them from the first wine process. Starting them here with
# every standard stream on /dev/null keeps them off ctest's pipes.
# Sets TOVRA_STARTED_SERVER=1 when this call started the server.
tovra_wine_server() {
  tovra_wine_env
  TOVRA_STARTED_SERVER=0
  # -k0 asks a running server to stay; it fails when none runs (expected).
  if "$TOVRA_WINESERVER" -k0 2>/dev/null; then return 0; fi
  (
    set +e
    flock 9 || exit 1
    "$TOVRA_WINESERVER" -k0 2>/dev/null && exit 3
    setsid "$TOVRA_WINESERVER" -p </dev/null >/dev/null 2>&1 9>&- ||
      { echo "wine-env: cannot start wineserver" >&2; exit 1; }
    timeout 120 setsid "$TOVRA_WINE64" wineboot </dev/null >/dev/null 2>&1 9>&- ||
      { echo "wine-env: wineboot failed" >&2; exit 1; }
    exit 0
  ) 9>"$TOVRA_BUILD/.wineserver.lock"
  case $? in
    0) TOVRA_STARTED_SERVER=1 ;;
    3) ;;  # another job started it meanwhile
    *) return 1 ;;
  esac
}

# Starts <holder.exe> once per wineserver, detached from our pipes: it keeps
# Wine's desktop process up, so that no test's program starts it (and hands
# it that test's output pipes). Returns once the holder reports the desktop
# up (or has died, or 60 s passed: the run then goes on as it would without
# a holder). Missing holder: nothing to do.
tovra_desktop_hold() {
  local exe=$1
  [ -f "$exe" ] || return 0
  (
    flock 9 || exit 0
    mark="$TOVRA_BUILD/.desktop-hold"
    ready="$TOVRA_BUILD/.desktop-ready"
    pid=$(cat "$mark" 2>/dev/null)
    if [ -n "$pid" ] && grep -q desktop_hold "/proc/$pid/cmdline" 2>/dev/null; then exit 0; fi
    rm -f "$ready"
    setsid "$TOVRA_WINE" "$exe" "$(tovra_winpath "$ready")" </dev/null >/dev/null 2>&1 9>&- &
    pid=$!
    echo $pid >"$mark"
    for _ in $(seq 600); do
      [ -f "$ready" ] && exit 0
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    echo "wine-env: the desktop holder did not report the desktop up" >&2
    exit 0
  ) 9>"$TOVRA_BUILD/.desktop-hold.lock"
}

# An X server counts only when a client can connect to it: that works for a
# local Xvfb and for DISPLAY=localhost:10.0 forwarded over ssh alike.
tovra_display_ok() {
  [ -n "${1:-}" ] && DISPLAY=$1 timeout 10 xdpyinfo >/dev/null 2>&1
}

# Xvfb has no window manager, which suits tests that place windows exactly.
# Sets TOVRA_STARTED_XVFB to the pid when this call started one.
tovra_display() {
  TOVRA_STARTED_XVFB=
  if tovra_display_ok "${DISPLAY:-}"; then return 0; fi
  local f="$TOVRA_BUILD/.display" out
  mkdir -p "$TOVRA_BUILD" || return 1
  out=$( (
    set +e
    flock 9 || exit 1
    if [ -f "$f" ] && tovra_display_ok "$(cat "$f")"; then cat "$f"; exit 0; fi
    for n in $(seq 91 140); do
      [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
      setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 9>&- &
      pid=$!
      for _ in $(seq 100); do
        tovra_display_ok ":$n" && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
      done
      # Another run may have taken the same number at the same moment: then
      # our Xvfb has exited and the next number is tried.
      if kill -0 "$pid" 2>/dev/null && tovra_display_ok ":$n"; then
        echo ":$n" >"$f"
        echo ":$n $pid"
        exit 0
      fi
      kill "$pid" 2>/dev/null
    done
    echo "wine-env: no free X display (tried :91 to :140)" >&2
    exit 1
  ) 9>"$TOVRA_BUILD/.display.lock") || return 1
  export DISPLAY=${out%% *}
  case "$out" in *" "*) TOVRA_STARTED_XVFB=${out#* } ;; esac
  return 0
}

# What every script of ours that runs Windows programs does first: TOVRA_BUILD
# names the tree (build/i686, build/x64) and TOVRA_ARCH the kind of program;
# the tree's desktop holder is started when it was built. Leaves
# TOVRA_STARTED_XVFB and TOVRA_STARTED_SERVER set for a caller that stops
# what it started; returns non-zero (said on stderr) at the first step that fails.
tovra_wine_up() {
  tovra_wine_prefix || return 1
  tovra_display || return 1
  tovra_wine_server || return 1
  tovra_desktop_hold "$TOVRA_BUILD/bin/desktop_hold.exe"
}
