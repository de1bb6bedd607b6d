# Sourced, not run. Prepares everything a Wine run of ours needs and exports
# it: TOVRA_BUILD must name the build folder that owns the prefix.
#   tovra_wine_env      exports WINEPREFIX, LOCPATH, LANG, ... (cheap)
#   tovra_wine_prefix   creates the prefix once (locale, fonts, registry)
#   tovra_wine_server   starts a persistent wineserver detached from our pipes
#   tovra_display       makes sure DISPLAY names a running X server (Xvfb)
# Every step is guarded by a lock, so parallel ctest jobs can call it.

TOVRA_WINE=/usr/lib/wine/wine64
TOVRA_WINESERVER=/usr/lib/wine/wineserver

tovra_wine_env() {
  : "${TOVRA_BUILD:?TOVRA_BUILD must name the build folder}"
  export WINEPREFIX="$TOVRA_BUILD/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LOCPATH="$TOVRA_BUILD/locale"
  # bash warns when it cannot load the locale itself; only Wine needs it.
  export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 2>/dev/null
  export WINEARCH=win64
}

# Without a generated zh_CN.UTF-8 locale Wine mangles non-ASCII argv and file
# names, and the ANSI code page would not be 936.
tovra_locale() {
  [ -d "$LOCPATH/zh_CN.UTF-8" ] && return 0
  mkdir -p "$LOCPATH"
  LC_ALL=C localedef -i zh_CN -f UTF-8 "$LOCPATH/zh_CN.UTF-8" >/dev/null 2>&1 || true
  [ -d "$LOCPATH/zh_CN.UTF-8" ]
}

tovra_wine_prefix() {
  tovra_wine_env
  mkdir -p "$TOVRA_BUILD"
  (
    flock 9
    tovra_locale || { echo "wine-env: localedef zh_CN.UTF-8 failed" >&2; exit 1; }
    [ -f "$WINEPREFIX/.tovra-ready" ] && exit 0
    # A half-made prefix from an interrupted run: its server must go first.
    "$TOVRA_WINESERVER" -k 2>/dev/null 9>&-
    rm -rf "$WINEPREFIX"
    "$TOVRA_WINE" wineboot -i </dev/null >/dev/null 2>&1 9>&-
    "$TOVRA_WINESERVER" -w
    # Wine does not load its own Tahoma unless it sits in the prefix.
    cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
    # Chinese typefaces the programs ask for, mapped to the installed WenQuanYi
    # font. A UTF-16LE .reg file keeps the Chinese value names intact.
    reg="$TOVRA_BUILD/fonts.reg"
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
      '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
      '"微软雅黑"="WenQuanYi Micro Hei"' '"Microsoft YaHei"="WenQuanYi Micro Hei"' \
      '"宋体"="WenQuanYi Micro Hei"' '"SimSun"="WenQuanYi Micro Hei"' '' |
      iconv -f UTF-8 -t UTF-16 >"$reg"
    "$TOVRA_WINE" reg import "$(echo "Z:$reg" | tr / '\\')" </dev/null >/dev/null 2>&1 9>&-
    "$TOVRA_WINESERVER" -w
    touch "$WINEPREFIX/.tovra-ready"
  ) 9>"$TOVRA_BUILD/.wineprefix.lock"
}

# ctest waits until its output pipes close, and Wine's server and service
# processes inherit them from the first wine process. Starting them here with
# every standard stream on /dev/null keeps them off ctest's pipes.
tovra_wine_server() {
  tovra_wine_env
  (
    flock 9
    if ! "$TOVRA_WINESERVER" -k0 2>/dev/null; then
      setsid "$TOVRA_WINESERVER" -p </dev/null >/dev/null 2>&1 9>&-
      setsid "$TOVRA_WINE" wineboot </dev/null >/dev/null 2>&1 9>&-
    fi
  ) 9>"$TOVRA_BUILD/.wineserver.lock"
}

# Xvfb has no window manager, which suits tests that place windows exactly.
tovra_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo_ok; then return 0; fi
  local f="$TOVRA_BUILD/.display"
  (
    flock 9
    if [ -f "$f" ]; then
      d=$(cat "$f")
      DISPLAY=$d xdpyinfo_ok && exit 0
    fi
    for n in $(seq 91 140); do
      [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
      setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 9>&- &
      for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
      echo ":$n" >"$f"
      exit 0
    done
    echo "wine-env: no free X display" >&2
    exit 1
  ) 9>"$TOVRA_BUILD/.display.lock" || return 1
  export DISPLAY=$(cat "$f")
}

xdpyinfo_ok() {
  # A socket file is the cheapest sign of a live local server.
  local n=${DISPLAY#:}
  n=${n%%.*}
  [ -S "/tmp/.X11-unix/X$n" ]
}
