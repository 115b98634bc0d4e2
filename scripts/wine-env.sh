# Sourced by the scripts that run Windows programs: a display, a Wine prefix
# of the build's own, and a pinned locale. Call wine_env_stop when done.
#   ZELTRA_BUILD_DIR  the MinGW build tree (the prefix lives inside it)

: "${ZELTRA_BUILD_DIR:?}"
export WINEPREFIX="${WINEPREFIX:-$ZELTRA_BUILD_DIR/wineprefix}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH=win32
# C.UTF-8 gives Wine the ANSI code page 1252, the same on every machine.
export LC_ALL=C.UTF-8

zeltra_started_xvfb=""
zeltra_started_wm=""

wine_env_start() {
  if [ -z "${DISPLAY:-}" ]; then
    local n
    for n in $(seq 90 120); do
      [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
      Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
      zeltra_started_xvfb=$!
      export DISPLAY=":$n"
      break
    done
    local i
    for i in $(seq 50); do
      [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break
      sleep 0.1
    done
    # A window manager, as every desktop has: without one Wine cannot
    # minimize a window, and leaves it mapped where it would stand restored.
    openbox --sm-disable >/dev/null 2>&1 &
    zeltra_started_wm=$!
    for i in $(seq 50); do
      xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
      sleep 0.1
    done
  fi
  # The prefix is the build's own: a server left from an earlier run (on a
  # display that may be gone) is ended, so this run starts clean.
  wineserver -k >/dev/null 2>&1 || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-env: creating a Wine prefix in $WINEPREFIX" >&2
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  # One server for the whole run, instead of one started per program.
  wineserver -p
}

wine_env_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$zeltra_started_wm" ]; then
    kill "$zeltra_started_wm" 2>/dev/null || true
    wait "$zeltra_started_wm" 2>/dev/null || true
  fi
  if [ -n "$zeltra_started_xvfb" ]; then
    kill "$zeltra_started_xvfb" 2>/dev/null || true
    wait "$zeltra_started_xvfb" 2>/dev/null || true
  fi
}
