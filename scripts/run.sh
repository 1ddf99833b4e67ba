#!/usr/bin/env bash
# The main job: sets up the machine, builds the Windows programs and runs pelbo.exe
# with a ready demo definition beside it (folder out/demo).
# With a display (DISPLAY set) the program opens for you. Without one it runs on a
# virtual display, is driven a little (select the demo definition, press "Backup",
# wait for the archive), a screenshot is saved to out/screenshot.png and the
# archive's contents are listed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/setup.sh
source scripts/wine-env.sh
# The product's i686 build where this machine runs 32-bit code, else the x86-64 build
# of the same sources under 64-bit Wine.
build=$(pv_win_build_dir)
echo "== building the Windows programs ($build): $(pv_win_describe)"
cmake --no-warn-unused-cli -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$(pv_win_toolchain)" -DCMAKE_BUILD_TYPE=Release >/dev/null
# Only what the demo needs, so a test that does not compile yet does not stop it.
targets=$(cmake --build "$build" --target help 2>/dev/null | sed -n 's/^\.\.\. \([A-Za-z0-9_]*\).*/\1/p')
want=()
for t in pelbo unlha32 pvdrive; do
  if grep -qx "$t" <<<"$targets"; then want+=("$t"); fi
done
[ ${#want[@]} -gt 0 ] && cmake --build "$build" -j2 --target "${want[@]}"
bin="$root/$build/bin"

demo="$root/out/demo"
echo "== preparing $demo"
rm -rf "$root/out"
mkdir -p "$demo/backup"
for f in pelbo.exe unlha32.dll; do
  if [ -f "$bin/$f" ]; then cp "$bin/$f" "$demo/"; else echo "run: $f is not built yet" >&2; fi
done

# A small tree to back up: text files, a subfolder, a file whose extension is left
# out (.bak) and one whose extension is deleted while the folder is walked (.obj),
# and a Japanese name (表 and ソ end in the byte 0x5C in Shift-JIS).
src="$demo/source"
mkdir -p "$src/docs/old"
printf 'Pomvault demo\r\n' >"$src/readme.txt"
printf 'first note\r\n' >"$src/docs/note1.txt"
printf 'second note\r\n' >"$src/docs/old/note2.txt"
printf 'backup copy\r\n' >"$src/docs/note1.bak"
printf 'object file\r\n' >"$src/docs/build.obj"
printf '%s\r\n' '日本語のファイル' | iconv -f UTF-8 -t CP932 >"$src/表示ソフト.txt"

pv_wine_unusable && exit 1
use_display=0
if [ -n "${DISPLAY:-}" ]; then use_display=1; fi

if [ $use_display = 1 ]; then
  # The user's display: prepare the prefix without starting Xvfb.
  pv_xvfb_start() { return 0; }
fi
echo "== preparing Wine (out/wine)"
pv_wine_start "$root/out/wine"
trap pv_wine_stop EXIT

# Definitions file: Shift-JIS, CR LF after every line.
win() { winepath -w "$1" 2>/dev/null; }
{
  printf '%s\r\n' 'デモ' '{' "$(win "$demo/backup")" 'demo\d' '' '0' "$(win "$src")\\" \
    '{' 'docs\' 'readme.txt' '表示ソフト.txt' '}' '{' '.bak' '}' '{' '.obj' '}' '}'
  printf '%s\r\n' '文書だけ' '{' "$(win "$demo/backup")" 'docs' '' '1' "$(win "$src")\\" \
    '{' 'docs\' '}' '{' '}' '{' '}' '}'
} | iconv -f UTF-8 -t CP932 >"$demo/pelbo.dat"

if [ ! -f "$demo/pelbo.exe" ]; then
  echo "run: pelbo.exe could not be built; the demo folder is ready in $demo" >&2
  exit 1
fi

if [ $use_display = 1 ]; then
  echo "== starting pelbo.exe on $DISPLAY (close its window to finish)"
  (cd "$demo" && wine pelbo.exe)
  exit 0
fi

drive() { wine "$bin/pvdrive.exe" --exe pelbo.exe --title Pomvault "$@" | iconv -f CP932 -t UTF-8 -c; }
echo "== starting pelbo.exe on the virtual display $DISPLAY"
(cd "$demo" && exec wine pelbo.exe) >/dev/null 2>&1 &
drive wait >/dev/null
echo "-- definitions:"; drive list
drive select 0
drive press Backup
echo "-- waiting for the archive"
archive=""
for _ in $(seq 1 120); do
  archive=$(ls "$demo"/backup/*.lzh 2>/dev/null | head -1 || true)
  if [ -n "$archive" ]; then
    # Done when the size stays put and the window answers again.
    s1=$(stat -c %s "$archive"); sleep 1; s2=$(stat -c %s "$archive")
    [ "$s1" = "$s2" ] && drive status >/dev/null 2>&1 && break
  fi
  # A message box (an error) ends the wait.
  wine "$bin/pvdrive.exe" --timeout 300 msgbox >/dev/null 2>&1 && break
  sleep 0.5
done
# An error box, if any, belongs in the picture and in the log.
wine "$bin/pvdrive.exe" --timeout 500 msgbox 2>/dev/null | iconv -f CP932 -t UTF-8 -c || true
drive status || true
wine "$bin/pvdrive.exe" shot "$(win "$root/out/screenshot.png")"
wine "$bin/pvdrive.exe" --timeout 1000 answer OK >/dev/null 2>&1 || true
drive close >/dev/null 2>&1 || wine "$bin/pvdrive.exe" --timeout 3000 answer いいえ >/dev/null 2>&1 || true

echo
echo "screenshot: $root/out/screenshot.png"
if [ -n "$archive" ]; then
  echo "archive:    $archive"
  lhasa l "$archive"
  # lhasa prints Shift-JIS names as '?'; jlha converts them for a Japanese locale.
  echo "names as stored (Shift-JIS, shown converted):"
  LC_ALL=ja_JP.UTF-8 lha l "$archive" 2>/dev/null | awk '/^\[/ { print "  " $NF }' || true
  [ -e "$src/docs/build.obj" ] || echo "(docs/build.obj was deleted by the run: .obj is on the deletion list)"
else
  echo "archive:    none was written to $demo/backup (see the screenshot)" >&2
  exit 1
fi
