# Wine environment for running and testing our programs. Source this file, then:
#   pv_wine_start [dir]   fresh WINEPREFIX under dir (default: a new folder in /tmp),
#                         Xvfb on a free display, Japanese locale (ANSI code page 932),
#                         font replacements for the faces our forms ask for, real
#                         shell folders, D: a second fixed drive, E: a network drive
#   pv_wine_stop          stops the wineserver and the Xvfb started here
#   pv_screenshot f.png   screenshot of the whole (virtual) display
#   pv_win_arch           i686 or x86_64: the Windows build this machine runs (below)
#   pv_win_build_dir      build/win or build/win64, the folder of that build
#   pv_wine_unusable      true (and says why) when this machine cannot run Wine at all
# Everything is exported so that wine-run.sh and child processes see it.

PV_SCRIPTS_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# True when this machine's kernel runs 32-bit x86 programs: a 93-byte i386 ELF that
# only calls exit(0). Some virtual machines' kernels refuse it ("Exec format error").
pv_runs_x86_32() {
  local probe rc
  probe=$(mktemp /tmp/pv-x86-32.XXXXXX) || return 1
  printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0''\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\135\0\0\0\135\0\0\0\5\0\0\0\0\20\0\0\270\1\0\0\0\61\333\315\200' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null; rc=$?
  rm -f "$probe"
  [ $rc = 0 ]
}

# The product is the i686 build, and the Windows tests run on it wherever the kernel
# runs 32-bit code. Elsewhere they run on the x86-64 build of the same sources under
# 64-bit Wine. PV_WIN_ARCH=i686 or x86_64 chooses by hand.
pv_win_arch() {
  if [ -z "${PV_WIN_ARCH:-}" ]; then
    if pv_runs_x86_32; then PV_WIN_ARCH=i686; else PV_WIN_ARCH=x86_64; fi
  fi
  export PV_WIN_ARCH
  echo "$PV_WIN_ARCH"
}
pv_win_build_dir() { [ "$(pv_win_arch)" = i686 ] && echo build/win || echo build/win64; }
pv_win_toolchain() { [ "$(pv_win_arch)" = i686 ] && echo cmake/toolchain-mingw32.cmake || echo cmake/toolchain-mingw64.cmake; }
# One line for logs: which build runs, under which Wine.
pv_win_describe() {
  if [ "$(pv_win_arch)" = i686 ]; then echo "the i686 build (the product) under 32-bit Wine"
  else echo "the x86-64 test build under 64-bit Wine (this machine runs no 32-bit x86 code)"; fi
}

# Settings every Wine run gets, prepared or not.
pv_wine_exports() {
  export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
  export WINEDEBUG=-all
  # No Linux menu entries for shortcuts; no Mono/Gecko download prompts from wineboot.
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
  if [ "$(pv_win_arch)" = i686 ]; then
    export WINEARCH=win32
  else
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
    case ":$PATH:" in *":$PV_SCRIPTS_DIR/wine64:"*) ;; *) export PATH="$PV_SCRIPTS_DIR/wine64:$PATH" ;; esac
  fi
}

# First display number whose lock file and socket are both absent.
pv_free_display() {
  local n
  for n in $(seq 90 250); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      echo "$n"; return 0
    fi
  done
  return 1
}

# Starts Xvfb unless PV_XVFB_PID already points to a live one; exports DISPLAY.
pv_xvfb_start() {
  if [ -n "${PV_XVFB_PID:-}" ] && kill -0 "$PV_XVFB_PID" 2>/dev/null; then return 0; fi
  local n tries=0
  while [ $tries -lt 5 ]; do
    tries=$((tries+1))
    n=$(pv_free_display) || { echo "pv_wine_start: no free X display" >&2; return 1; }
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -ac >/dev/null 2>&1 &
    PV_XVFB_PID=$!
    local i
    for i in $(seq 1 50); do
      if [ -e "/tmp/.X11-unix/X$n" ]; then
        export DISPLAY=":$n" PV_XVFB_PID PV_XVFB_OWNED=1
        return 0
      fi
      kill -0 "$PV_XVFB_PID" 2>/dev/null || break   # lost the race for this display
      sleep 0.1
    done
    kill "$PV_XVFB_PID" 2>/dev/null; wait "$PV_XVFB_PID" 2>/dev/null
  done
  echo "pv_wine_start: Xvfb did not start" >&2
  return 1
}

# Registry file mapping the faces our forms use to the IPA fonts. regedit reads
# REGEDIT4 files in the ANSI code page, so the file is written in CP932.
# Xvfb runs no window manager, and Wine waits up to 2 s for one whenever a captioned
# window closes (a cost of this display, not of Windows): Managed=N tells it not to.
# It also turns off the crash debugger: a crashing test program must fail at once
# instead of waiting in winedbg until the test's time limit; and it makes drive E:
# a network drive (see pv_prefix_folders).
pv_font_reg() {
  local out=$1
  printf '%s\r\n' 'REGEDIT4' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"ＭＳ Ｐゴシック"="IPAPGothic"' \
    '"MS UI Gothic"="IPAPGothic"' \
    '"ＭＳ ゴシック"="IPAGothic"' \
    '"ＭＳ Ｐ明朝"="IPAPMincho"' \
    '"ＭＳ 明朝"="IPAMincho"' '' \
    '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]' \
    '"Auto"="0"' '"Debugger"=""' '' \
    '[HKEY_LOCAL_MACHINE\Software\Wine\Drives]' '"e:"="network"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"' '' | iconv -f UTF-8 -t CP932 > "$out"
}

# Keeps every test inside its prefix and gives it drives to measure:
# - the user's shell folders (Desktop, Documents, ...) are links to the Linux home
#   folder in a fresh prefix; the installer writes shortcuts there, so they become
#   real folders;
# - D: is a second fixed drive and E: a network drive, both folders inside the
#   prefix. Wine reads the drive types (imported with the fonts) when its services
#   start, so the wineserver is restarted and the services brought up again, quietly.
#   Wine removes a drive's folder when asked to remove an empty drive root: a file in
#   each keeps it.
pv_prefix_folders() {
  local link
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$link" ]; then rm -f "$link" && mkdir -p "$link"; fi
  done
  mkdir -p "$WINEPREFIX/drive_d" "$WINEPREFIX/drive_e"
  touch "$WINEPREFIX/drive_d/.pv-drive" "$WINEPREFIX/drive_e/.pv-drive"
  ln -sfn ../drive_d "$WINEPREFIX/dosdevices/d:"
  ln -sfn ../drive_e "$WINEPREFIX/dosdevices/e:"
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  wineserver -p || { echo "pv_wine_start: wineserver did not restart" >&2; return 1; }
  wineboot </dev/null >/dev/null 2>&1 || { echo "pv_wine_start: wineboot failed after restart" >&2; return 1; }
}

# True (and says why) when no Windows build of ours can run here: the chosen Wine
# does not start (32-bit Wine on a kernel that refuses 32-bit code, or no Wine).
pv_wine_unusable() {
  local out
  pv_wine_exports
  out=$(wine --version 2>&1) && return 1
  echo "Wine cannot start on this machine for $(pv_win_describe): $out" >&2
}

pv_wine_start() {
  local base=${1:-}
  pv_wine_exports
  if [ -z "$base" ]; then base=$(mktemp -d /tmp/pv-wine.XXXXXX); fi
  mkdir -p "$base"
  base=$(cd "$base" && pwd)
  # A prefix must belong to us and be new for every run: stale state from an earlier
  # run (registry placement, mutexes of crashed programs) would leak into tests.
  export WINEPREFIX="$base/prefix"
  if [ -e "$WINEPREFIX" ]; then
    WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  mkdir -p "$WINEPREFIX"
  export PV_WINE_DIR="$base"
  pv_xvfb_start || return 1
  # One persistent wineserver for the whole run: starting one per test costs seconds.
  # It must exist before wineboot, so that Wine's own background processes (services,
  # the desktop) start now with our quiet output and stay. Started later by a test
  # program, they would inherit its output pipe and keep CTest waiting for the end
  # of that output long after the program has exited.
  wineserver -p || { echo "pv_wine_start: wineserver did not start" >&2; return 1; }
  wineboot -i </dev/null >/dev/null 2>&1 || { echo "pv_wine_start: wineboot failed" >&2; return 1; }
  pv_font_reg "$base/fonts.reg"
  wine regedit "$(winepath -w "$base/fonts.reg")" </dev/null >/dev/null 2>&1 ||
    { echo "pv_wine_start: font replacements not imported" >&2; return 1; }
  pv_prefix_folders || return 1
  export PV_WINE_READY=1
}

pv_wine_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k 2>/dev/null || true; fi
  if [ "${PV_XVFB_OWNED:-}" = 1 ] && [ -n "${PV_XVFB_PID:-}" ]; then
    kill "$PV_XVFB_PID" 2>/dev/null || true
    wait "$PV_XVFB_PID" 2>/dev/null || true
  fi
  unset PV_WINE_READY PV_XVFB_PID PV_XVFB_OWNED
}

pv_screenshot() {
  local out=${1:?usage: pv_screenshot file.png}
  import -display "${DISPLAY:?no DISPLAY}" -window root "$out"
}
