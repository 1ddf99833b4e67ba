#!/usr/bin/env bash
# Installs what building and testing needs on Debian 12 (run as root, or with sudo
# available). Safe to run again: does nothing when everything is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
# shellcheck source=wine-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

# The i686 build is the product and is built everywhere. Its tests run under 32-bit
# Wine where the kernel runs 32-bit code; elsewhere the x86-64 build of the same sources
# runs them under 64-bit Wine, and wine32 is left out: once installed, Debian's `wine`
# wrapper takes its loader for every program and fails there.
arch=$(pv_win_arch)
packages=(
  g++-mingw-w64-i686      # the i686-w64-mingw32 compilers, posix thread variant included
  xvfb xauth              # a display for Wine without a real one
  locales                 # ja_JP.UTF-8: Wine's ANSI code page becomes 932
  fonts-ipafont-gothic fonts-ipafont-mincho   # stand-ins for the Japanese Windows fonts
  imagemagick             # screenshots from the shell, image checks
  lhasa jlha-utils liblhasa-dev               # independent LHA tools to check our archives
  cmake g++ googletest make
  clang libclang-rt-14-dev                    # libFuzzer targets
  zip
  python3                                     # builds the help file and checks it
)
if [ "$arch" = i686 ]; then
  packages+=(wine wine32:i386)                  # runs the product's build
else
  packages+=(g++-mingw-w64-x86-64 wine wine64)  # the x86-64 test build and 64-bit Wine
fi

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo -n "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if [ "$arch" = i686 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  as_root apt-get update -q
  as_root apt-get install -y -q --no-install-recommends "${packages[@]}" </dev/null
fi

# Japanese UTF-8 locale for Wine's code page.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  echo "setup: generating ja_JP.UTF-8"
  if grep -q '^# *ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    as_root sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  elif ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'ja_JP.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  fi
  as_root locale-gen
fi

# Quick checks that the pieces the harness relies on are usable.
tools=(i686-w64-mingw32-g++-posix wineserver Xvfb import lhasa cmake)
[ "$arch" = i686 ] && tools+=(wine) || tools+=(x86_64-w64-mingw32-g++-posix /usr/lib/wine/wine64)
for tool in "${tools[@]}"; do
  command -v "$tool" >/dev/null || { echo "setup: $tool missing after install" >&2; exit 1; }
done
[ -d /usr/src/googletest ] || { echo "setup: /usr/src/googletest missing" >&2; exit 1; }
echo "setup: ready; Windows tests run on $(pv_win_describe)"
