# Sourced by the scripts that run Windows programs: which Windows builds this
# machine can run, and for the one chosen a display, a Wine prefix of the
# build's own and a pinned locale. Call wine_env_stop when done.
#
#   wine_env_arches          the builds to run: ZELTRA_WINE_ARCHES (i686,
#                            x86_64, or both, blanks or commas between) or both
#   wine_env_i386_missing    why this machine runs no 32-bit program, said
#                            for people; nothing where it runs them
#   wine_env_pick            the one build to show or measure: the 32-bit
#                            product where it runs, else the 64-bit build
#   wine_env_select <arch>   the build, loader and prefix for i686 or x86_64
#   wine_env_start           the bench's own display, with a window manager,
#                            and a Wine server

export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG="${WINEDEBUG:--all}"
# C.UTF-8 gives Wine the ANSI code page 1252, the same on every machine.
export LC_ALL=C.UTF-8

zeltra_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
zeltra_started_xvfb=""
zeltra_started_wm=""

wine_env_arches() {
  local requested="${ZELTRA_WINE_ARCHES:-i686 x86_64}" arch
  for arch in ${requested//,/ }; do
    case "$arch" in
      i686|x86_64) echo "$arch" ;;
      *) echo "wine-env: ZELTRA_WINE_ARCHES names '$arch'; the builds are i686 and x86_64" >&2; return 2 ;;
    esac
  done
}

# Prints nothing where this machine runs 32-bit programs, else why it does
# not. Only "Exec format error" from a 32-bit program means the kernel refuses
# them all; no 32-bit loader means install-deps could not install wine32. Any
# other failure of the loader is a broken install, reported and returned as an
# error.
wine_env_i386_missing() {
  local loader=/usr/lib/wine/wine
  if [ ! -e "$loader" ]; then
    echo "Wine's 32-bit half (wine32:i386) could not be installed here"
    return
  fi
  python3 - "$loader" <<'PY'
import errno, subprocess, sys
try:
    result = subprocess.run([sys.argv[1], "--version"], capture_output=True, text=True, timeout=60)
except OSError as error:
    if error.errno == errno.ENOEXEC:
        print("this machine cannot run 32-bit programs")
        sys.exit(0)
    sys.exit(f"wine-env: the 32-bit Wine loader {sys.argv[1]} cannot be started: {error}")
if result.returncode != 0:
    sys.exit(f"wine-env: the 32-bit Wine loader {sys.argv[1]} failed ({result.returncode}): "
             f"{(result.stderr or result.stdout).strip()}")
PY
}

# Prints the build and, after a blank, why it was picked.
wine_env_pick() {
  local requested why
  requested=$(wine_env_arches) || return
  if grep -qx i686 <<<"$requested"; then
    why=$(wine_env_i386_missing) || return
    if [ -z "$why" ]; then
      echo "i686 the 32-bit build, the product"
      return
    fi
    grep -qx x86_64 <<<"$requested" || {
      echo "wine-env: the 32-bit build was asked for, but $why" >&2
      return 1
    }
    echo "x86_64 the 64-bit build: $why"
    return
  fi
  echo "x86_64 the 64-bit build, as ZELTRA_WINE_ARCHES asks"
}

wine_env_select() {
  export ZELTRA_WINE_ARCH="$1"
  case "$1" in
    i686)
      export ZELTRA_PRESET=mingw-i686 ZELTRA_ENCODER_ARCH=i386 WINEARCH=win32
      export ZELTRA_BUILD_DIR="$zeltra_root/build/mingw"
      # Debian's wrapper, which picks the 32-bit loader.
      export ZELTRA_WINE=wine ;;
    x86_64)
      export ZELTRA_PRESET=mingw-x86_64 ZELTRA_ENCODER_ARCH=amd64 WINEARCH=win64
      export ZELTRA_BUILD_DIR="$zeltra_root/build/mingw-x86_64"
      # Not on PATH, and the wrapper would pick the 32-bit loader where installed.
      export ZELTRA_WINE=/usr/lib/wine/wine64 ;;
    *) echo "wine-env: no Windows build '$1'" >&2; return 2 ;;
  esac
  # Each build has its prefix: a 64-bit loader cannot use a 32-bit prefix.
  export WINEPREFIX="$ZELTRA_BUILD_DIR/wineprefix"
}

# The bench's own display, whatever DISPLAY the caller has: a known screen
# (1280x800) with a window manager, as every desktop has. Without one Wine
# cannot minimize a window: it leaves it mapped where it would stand restored,
# freezes what other windows paint there, and waits 2 s on every such window
# it hides. A display without a window manager fails here, not in the tests.
wine_env_start_display() {
  local n i
  zeltra_display_log="$ZELTRA_BUILD_DIR/display.log"
  mkdir -p "$ZELTRA_BUILD_DIR"
  : >"$zeltra_display_log"
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >>"$zeltra_display_log" 2>&1 &
    zeltra_started_xvfb=$!
    for i in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$zeltra_started_xvfb" 2>/dev/null || break
      sleep 0.1
    done
    kill -0 "$zeltra_started_xvfb" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ] && break
    # Taken meanwhile by another run, say: the next one.
    kill "$zeltra_started_xvfb" 2>/dev/null
    wait "$zeltra_started_xvfb" 2>/dev/null
    zeltra_started_xvfb=""
  done
  [ -n "$zeltra_started_xvfb" ] || { wine_env_display_failed "Xvfb started on none of :90 to :120"; return 1; }
  export DISPLAY=":$n"
  openbox --sm-disable >>"$zeltra_display_log" 2>&1 &
  zeltra_started_wm=$!
  for i in $(seq 100); do
    wine_env_window_manager_running && break
    kill -0 "$zeltra_started_wm" 2>/dev/null || break
    sleep 0.1
  done
  wine_env_window_manager_running || { wine_env_display_failed "openbox did not start on $DISPLAY"; return 1; }
  echo "wine-env: display $DISPLAY (Xvfb 1280x800, openbox)" >&2
}

wine_env_window_manager_running() {
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

wine_env_display_failed() {
  echo "wine-env: $1; what it printed:" >&2
  sed 's/^/  /' "$zeltra_display_log" >&2
  wine_env_stop
}

wine_env_start() {
  : "${ZELTRA_WINE:?wine_env_select first}"
  wine_env_start_display || return
  # The prefix is the build's own: a server left from an earlier run (on a
  # display that may be gone) is ended, so this run starts clean.
  wineserver -k >/dev/null 2>&1 || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-env: creating a Wine prefix in $WINEPREFIX" >&2
    # The loader itself runs wineboot: Debian's wineboot wrapper would pick
    # the 32-bit loader, which may not run here.
    "$ZELTRA_WINE" wineboot -i >/dev/null 2>&1
    wineserver -w
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wine-env: no prefix was created" >&2; return 1; }
  fi
  # One server for the whole run, instead of one started per program.
  wineserver -p
}

wine_env_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$zeltra_started_wm" ]; then
    kill "$zeltra_started_wm" 2>/dev/null || true
    wait "$zeltra_started_wm" 2>/dev/null || true
    zeltra_started_wm=""
  fi
  if [ -n "$zeltra_started_xvfb" ]; then
    kill "$zeltra_started_xvfb" 2>/dev/null || true
    wait "$zeltra_started_xvfb" 2>/dev/null || true
    zeltra_started_xvfb=""
    unset DISPLAY
  fi
}
