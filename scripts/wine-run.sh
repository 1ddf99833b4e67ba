#!/usr/bin/env bash
# CTest emulator for the Windows build: runs `wine program args...` and returns the
# program's exit code. test.sh prepares one Wine environment for the whole run; when
# called by hand (ctest in build/win) this prepares a throwaway one for this run only.
# The toolchain file names the build's architecture first (--arch=i686 or x86_64), so
# that a hand run picks the matching Wine.
set -u
case ${1:-} in --arch=*) export PV_WIN_ARCH=${1#--arch=}; shift ;; esac
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"

if [ -z "${PV_WINE_READY:-}" ] || [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  own=$(mktemp -d /tmp/pv-wine-run.XXXXXX)
  unset PV_XVFB_PID
  pv_wine_start "$own" >&2 || { rm -rf "$own"; exit 125; }
  trap 'pv_wine_stop; rm -rf "$own"' EXIT
else
  pv_wine_exports
fi

wine "$@"
status=$?
exit $status
