#!/usr/bin/env bash
# Archives written by unlha32.dll (through pv_unlha_cli.exe under Wine) must pass
# `lhasa t` and `jlha t` and extract byte for byte with `lhasa x` and `jlha x`: a tree
# with Shift-JIS names whose trailing byte is 0x5C, an empty file, a file over 1 MB,
# hidden and read-only files; then an update. Where tmpfs can be mounted, a full disk
# and a read-only destination must leave the old archive as it was.
#   interop.sh <bin folder> <scripts folder>
set -u
bin=${1:?bin folder}
scripts=${2:?scripts folder}
for tool in lhasa java iconv; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
jlha_jar=/usr/share/java/jlhafrontend.jar
[ -f "$jlha_jar" ] || { echo "SKIP: jlha missing"; exit 77; }

work=$(mktemp -d /tmp/pv-unlha-interop.XXXXXX)
mounted=()
cleanup() {
  for m in "${mounted[@]}"; do umount "$m" 2>/dev/null; done
  rm -rf "$work"
  if [ -n "${own_wine:-}" ]; then pv_wine_stop; fi
}
trap cleanup EXIT

# shellcheck source=../../scripts/wine-env.sh
source "$scripts/wine-env.sh"
if [ -z "${PV_WINE_READY:-}" ] || [ -z "${WINEPREFIX:-}" ]; then
  pv_wine_start "$work/wine" >/dev/null || { echo "FAIL: no Wine environment"; exit 1; }
  own_wine=1
else
  pv_wine_exports
fi

# Windows names of the Linux paths used here, all of them on Wine's Z: drive (the
# whole file system); worked out here rather than by winepath, whose output once came
# back empty in a full run and left a command without its archive.
winepath() { [ "$1" = -w ] && shift; printf 'Z:%s' "${1//\//\\}"; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# jlha reads names as Latin-1 unless told; ours are Shift-JIS.
jlha() { (cd "$1" && shift && java -Dlha.encoding=Shift_JIS -jar "$jlha_jar" "$@"); }
sjis() { printf '%s' "$1" | iconv -f UTF-8 -t CP932; }
# Runs one command line; prints the library's output (as UTF-8) and answers its result.
unlha() {
  output=$(wine "$bin/pv_unlha_cli.exe" "$@" 2>/dev/null | iconv -f CP932 -t UTF-8 -c | tr -d '\r')
  printf '%s\n' "$output" | sed 's/^/    /'
  result=$(printf '%s\n' "$output" | sed -n 's/^result=//p' | tail -1)
  [ -n "$result" ] || result=none
}
backup_line() {  # archive base-folder list
  printf 'u -r2 -x1 -jm2 -a1 -t1 "%s" "%s\\" "@%s" --quiet' "$(winepath -w "$1")" "$(winepath -w "$2")" \
    "$(winepath -w "$3")"
}
write_list() {  # list-file names... (UTF-8 here, Shift-JIS with CR LF in the file)
  local list=$1 name
  shift
  for name in "$@"; do printf '"%s"\r\n' "${name//\//\\}"; done | iconv -f UTF-8 -t CP932 > "$list"
}
check_archive() {  # archive tree names...
  local arc=$1 tree=$2 name
  shift 2
  lhasa t "$arc" >"$work/lhasa-t.log" 2>&1 || fail "lhasa t $(basename "$arc"): $(tail -3 "$work/lhasa-t.log")"
  grep -qi 'error' "$work/lhasa-t.log" && fail "lhasa t reports errors"
  jlha "$work" t "$arc" >"$work/jlha-t.log" 2>&1 || fail "jlha t: $(tail -3 "$work/jlha-t.log")"
  grep -qiE 'error|exception' "$work/jlha-t.log" && fail "jlha t reports errors: $(head -3 "$work/jlha-t.log")"

  rm -rf "$work/x-lhasa" "$work/x-jlha"
  mkdir -p "$work/x-lhasa" "$work/x-jlha"
  (cd "$work/x-lhasa" && lhasa xq "$arc") || fail "lhasa x"
  jlha "$work/x-jlha" x "$arc" >/dev/null 2>&1 || fail "jlha x"
  local count=0
  for name in "$@"; do
    count=$((count + 1))
    # lhasa keeps the stored Shift-JIS bytes as the Unix name; jlha decodes them.
    cmp -s "$tree/$name" "$work/x-lhasa/$(sjis "$name")" || fail "lhasa x: $name differs or is missing"
    cmp -s "$tree/$name" "$work/x-jlha/$name" || fail "jlha x: $name differs or is missing"
  done
  local got
  got=$(find "$work/x-lhasa" -type f | wc -l)
  [ "$got" -eq "$count" ] || fail "lhasa x gave $got files, expected $count"
}

# ---------------------------------------------------------------- the tree
src=$work/src
mkdir -p "$src/proj/表/ソ" "$src/proj/能力" "$work/out"
printf 'readme\r\n' > "$src/proj/readme.txt"
: > "$src/proj/empty.dat"
{ cat /usr/include/*.h 2>/dev/null | head -c 900000; head -c 300000 /dev/urandom; seq 1 40000; } > "$src/proj/表/big.bin"
printf 'ソースの中身\r\n' | iconv -f UTF-8 -t CP932 > "$src/proj/表/ソ/ソース.txt"
printf 'hidden\r\n' > "$src/proj/能力/隠し.txt"
printf 'read only\r\n' > "$src/proj/読取専用.txt"
printf 'top\r\n' > "$src/表.txt"
printf 'no extension, name ends in 0x5C\r\n' > "$src/proj/ソ"
names=("proj/readme.txt" "proj/empty.dat" "proj/表/big.bin" "proj/表/ソ/ソース.txt" "proj/能力/隠し.txt"
       "proj/読取専用.txt" "表.txt" "proj/ソ")
i=0
for n in "${names[@]}"; do
  touch -d "2021-03-0$((i % 9 + 1)) 10:00:0$i UTC" "$src/$n"
  i=$((i + 1))
done
touch -d "2022-01-02 03:04:06 UTC" "$src/proj/表/ソ/ソース.txt"   # the newest
chmod a-w "$src/proj/読取専用.txt"
wine "$bin/pv_unlha_cli.exe" --attr 2 "$(winepath -w "$src/proj/能力/隠し.txt")" || fail "hidden attribute not set"
[ "$(stat -c %s "$src/proj/表/big.bin")" -gt 1048576 ] || fail "big.bin is not over 1 MB"

# ---------------------------------------------------------------- a new archive
arc=$work/out/backup.lzh
write_list "$work/list.tmp" "${names[@]}"
echo "== backup into a new archive"
unlha "$(backup_line "$arc" "$src" "$work/list.tmp")"
[ "$result" = 0 ] || fail "backup answered $result"
check_archive "$arc" "$src" "${names[@]}"
[ "$(stat -c %Y "$arc")" = "$(date -d '2022-01-02 03:04:06 UTC' +%s)" ] || fail "-t1: archive time is not its newest member's"
# Hidden and read-only attributes travel in the members (ext 0x40), as our listing shows.
unlha "l \"$(winepath -w "$arc")\" --quiet"
printf '%s\n' "$output" | grep -q -- '-H---A -lh0- proj\\能力\\隠し.txt' || fail "hidden attribute not stored"
printf '%s\n' "$output" | grep -q -- 'R----A -lh0- proj\\読取専用.txt' || fail "read-only attribute not stored"
[ "$(ls "$work/out")" = "backup.lzh" ] || fail "left in the archive folder: $(ls "$work/out")"

# ---------------------------------------------------------------- an update
echo "== update: one file changed, one added"
printf 'readme, second edition\r\n' > "$src/proj/readme.txt"
touch -d "2023-05-06 07:08:10 UTC" "$src/proj/readme.txt"
printf '追加されたファイル\r\n' | iconv -f UTF-8 -t CP932 > "$src/proj/表/追加.txt"
names+=("proj/表/追加.txt")
write_list "$work/list.tmp" "${names[@]}"
unlha "$(backup_line "$arc" "$src" "$work/list.tmp")"
[ "$result" = 0 ] || fail "update answered $result"
check_archive "$arc" "$src" "${names[@]}"

# ---------------------------------------------------------------- restores by our library
contents() { find "$1" -type f -exec sh -c 'md5sum < "$1"' _ {} \; | sort; }
same_tree() {  # expected got what: every file and folder of expected, byte for byte, and nothing else
  local d
  d=$(diff -r "$1" "$2" 2>&1) || fail "$3: $(printf '%s' "$d" | head -5)"
}
echo "== our x restores the backup"
unlha "x \"$(winepath -w "$arc")\" \"$(winepath -w "$work/x-ours")\\\" --quiet"
[ "$result" = 0 ] || fail "x of our backup answered $result"
for n in "${names[@]}"; do
  cmp -s "$src/$n" "$work/x-ours/$n" || fail "our x: $n differs or is missing"
  [ "$(stat -c %Y "$src/$n")" = "$(stat -c %Y "$work/x-ours/$n")" ] || fail "our x: $n has another time"
done

echo "== our x reads what jlha writes: levels 0-2, -lh0-/-lh5-/-lh6-/-lh7-; lhasa agrees"
jsrc=$work/jsrc
mkdir -p "$jsrc/d/表/ソ" "$jsrc/d/空"
printf 'hello\r\n' > "$jsrc/d/a.txt"
: > "$jsrc/d/empty.dat"
{ seq 1 30000; head -c 70000 /dev/urandom; seq 1 5000; } > "$jsrc/d/表/mixed.bin"
printf 'ソースの中身\r\n' | iconv -f UTF-8 -t CP932 > "$jsrc/d/表/ソ/ソース.txt"
touch -d "2020-02-03 04:05:06 UTC" "$jsrc/d/a.txt" "$jsrc/d/表/mixed.bin"
for level in 0 1 2; do
  for method in o5 o6 o7 z; do
    ja=$work/jlha-$level-$method.lzh
    jlha "$jsrc" "c${level}${method}" "$ja" d >/dev/null 2>&1 || { fail "jlha c${level}${method}"; continue; }
    rm -rf "$work/jx" "$work/lx" && mkdir -p "$work/lx"
    unlha "x \"$(winepath -w "$ja")\" \"$(winepath -w "$work/jx")\\\" --quiet"
    [ "$result" = 0 ] || fail "x of jlha c${level}${method} answered $result"
    same_tree "$jsrc" "$work/jx" "jlha c${level}${method} through our x"
    [ "$(stat -c %Y "$work/jx/d/a.txt")" = "$(stat -c %Y "$jsrc/d/a.txt")" ] || fail "jlha c${level}${method}: time not restored"
    (cd "$work/lx" && lhasa xq "$ja") || fail "lhasa x of jlha c${level}${method}"
    # lhasa names some files differently (it may split at a trailing 0x5C): compare contents.
    [ "$(contents "$work/lx")" = "$(contents "$work/jx")" ] ||
      fail "jlha c${level}${method}: lhasa and our x disagree"
  done
done

echo "== our d: jlha and lhasa still read the rest"
cp "$work/jlha-1-o5.lzh" "$work/del.lzh"
unlha "d \"$(winepath -w "$work/del.lzh")\" mixed.bin --quiet"
[ "$result" = 0 ] || fail "d answered $result"
lhasa t "$work/del.lzh" >"$work/del-t.log" 2>&1 || fail "lhasa t after d: $(tail -3 "$work/del-t.log")"
lhasa l "$work/del.lzh" | grep -q mixed.bin && fail "d left mixed.bin in the archive"
jlha "$work" t "$work/del.lzh" >"$work/del-jt.log" 2>&1 || fail "jlha t after d"

# ---------------------------------------------------------------- full and read-only disks
small=$work/small
mkdir -p "$small"
if mount -t tmpfs -o size=512k tmpfs "$small" 2>/dev/null; then
  mounted+=("$small")
  echo "== a full disk"
  mkdir -p "$small/src"
  printf 'small\r\n' > "$small/src/a.txt"
  write_list "$work/small.tmp" "a.txt"
  unlha "$(backup_line "$small/old.lzh" "$small/src" "$work/small.tmp")"
  [ "$result" = 0 ] || fail "small archive answered $result"
  cp "$small/old.lzh" "$work/old.copy"
  head -c 800000 /dev/urandom > "$work/noise.bin"
  mkdir -p "$work/nsrc" && mv "$work/noise.bin" "$work/nsrc/"
  cp "$small/src/a.txt" "$work/nsrc/a.txt" && touch "$work/nsrc/a.txt"
  write_list "$work/full.tmp" "a.txt" "noise.bin"
  unlha "$(backup_line "$small/old.lzh" "$work/nsrc" "$work/full.tmp")"
  [ "$result" = $((0x8013)) ] || fail "full disk answered $result, not 0x8013"
  cmp -s "$small/old.lzh" "$work/old.copy" || fail "full disk: the old archive changed"
  [ "$(ls "$small")" = "$(printf 'old.lzh\nsrc')" ] || fail "full disk: left behind: $(ls "$small")"

  echo "== extracting onto a full disk"
  # Incompressible members that outgrow the disk: the run stops at the first that does
  # not fit, counts it as failed and the rest as not tried, and leaves no partial file.
  mkdir -p "$work/fsrc"
  for f in a b c d e; do head -c 150000 /dev/urandom > "$work/fsrc/$f.bin"; done
  write_list "$work/fill.tmp" a.bin b.bin c.bin d.bin e.bin
  unlha "$(backup_line "$work/fill.lzh" "$work/fsrc" "$work/fill.tmp")"
  unlha "x \"$(winepath -w "$work/fill.lzh")\" \"$(winepath -w "$small/restore")\\\" --quiet"
  [ "$result" = $((0x8013)) ] || fail "full disk on x answered $result, not 0x8013"
  summary=$(printf '%s\n' "$output" | sed -En 's/^展開 ([0-9]+), そのまま 0, 失敗 1, 未処理 ([1-9][0-9]*)$/\1 \2/p')
  # shellcheck disable=SC2086
  [ -n "$summary" ] && [ $(( ${summary/ /+} )) = 4 ] ||
    fail "full disk on x: the summary does not count what was not tried ($summary)"
  for f in "$small"/restore/*; do
    cmp -s "$f" "$work/fsrc/$(basename "$f")" || fail "full disk on x left $(basename "$f") behind, not whole"
  done
  rm -rf "$small/restore"

  echo "== a read-only destination"
  if mount -o remount,ro "$small" 2>/dev/null; then
    unlha "$(backup_line "$small/old.lzh" "$work/nsrc" "$work/small.tmp")"
    [ "$result" = $((0x8011)) ] || fail "read-only destination answered $result, not 0x8011"
    cmp -s "$small/old.lzh" "$work/old.copy" || fail "read-only destination: the old archive changed"
  else
    echo "   (remount read-only not permitted: skipped)"
  fi
else
  echo "== full and read-only disks skipped: tmpfs cannot be mounted here"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all interop checks passed"
