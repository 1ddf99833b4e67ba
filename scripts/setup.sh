#!/usr/bin/env bash
# Installs what building and testing needs on Debian 12 (run as root, or with sudo
# available). Safe to run again: does nothing when everything is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

packages=(
  g++-mingw-w64-i686      # the i686-w64-mingw32 compilers, posix thread variant included
  wine wine32:i386        # runs the Windows build
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
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
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
for tool in i686-w64-mingw32-g++-posix wine wineserver Xvfb import lhasa cmake; do
  command -v "$tool" >/dev/null || { echo "setup: $tool missing after install" >&2; exit 1; }
done
[ -d /usr/src/googletest ] || { echo "setup: /usr/src/googletest missing" >&2; exit 1; }
echo "setup: ready"
