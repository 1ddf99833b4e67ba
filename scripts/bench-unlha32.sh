#!/bin/bash
# Benchmark of the shipped unlha32.dll under Wine against native `zip -6` (time) and
# `jlha a` (size), on a corpus of many small files and one of a few large files. The
# DLL runs the backup's own command line through pv_unlha_cli.exe, quiet and with the
# progress window over an owner window, as the backup runs it, and once more with the
# cheapest-path parser (PV_UNLHA_CHEAPEST) to weigh it against the default. Prints the figures, the
# ratios, the number of threads and where the DLL's time goes; it is not a test and
# nothing fails on the goals it prints.
#   scripts/bench-unlha32.sh [workdir]
# PV_BENCH_RUNS (default 3): runs per timing, the best counts (the machine is shared).
# The Windows build this machine runs must exist (build/win, or build/win64 where the
# kernel runs no 32-bit code; cmake --build <it> --target pv_unlha_cli); PV_BENCH_BIN
# names another folder holding pv_unlha_cli.exe and an unlha32.dll to time. Beside it
# the native codec (lzh_bench, built here in build/bench) is timed on one thread on
# the same corpora.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${1:-$(mktemp -d /tmp/pv-bench-unlha32.XXXXXX)}
RUNS=${PV_BENCH_RUNS:-3}
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)

# shellcheck source=wine-env.sh
source "$ROOT/scripts/wine-env.sh"
pv_wine_unusable && exit 1
BIN=${PV_BENCH_BIN:-$ROOT/$(pv_win_build_dir)/bin}
[ -f "$BIN/pv_unlha_cli.exe" ] && [ -f "$BIN/unlha32.dll" ] || { echo "no $BIN/pv_unlha_cli.exe" >&2; exit 1; }
if [ -z "${PV_WINE_READY:-}" ] || [ -z "${WINEPREFIX:-}" ]; then
  pv_wine_start "$WORK/wine" >/dev/null
  trap pv_wine_stop EXIT
else
  pv_wine_exports
fi
echo "timed: $(pv_win_describe), $BIN"

# The native codec, one thread, built as bench-lzh.sh builds it.
cmake -S "$ROOT" -B "$ROOT/build/bench" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
      -DPV_SANITIZE=OFF >/dev/null
cmake --build "$ROOT/build/bench" --target lzh_bench -j2 >/dev/null
LZH_BENCH=$ROOT/build/bench/tests/bench/lzh_bench

# Xvfb runs no window manager, and Wine waits up to 2 s for one whenever a captioned
# window closes: a cost of this test display, not of Windows. Tell Wine not to.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true

# Corpora: many small files (a library of text, the kind a source tree has) and a few
# large ones (programs and big texts).
make_corpus() {  # dest files...
  local dest=$1 f; shift
  [ -d "$dest" ] && return 0
  mkdir -p "$dest"
  for f in "$@"; do
    [ -r "$f" ] || continue
    if [ -d "$f" ]; then cp -rLp "$f" "$dest/"; else cp -Lp "$f" "$dest/"; fi
  done
}
SMALL=$WORK/small
LARGE=$WORK/large
make_corpus "$SMALL" /usr/share/perl/5.36.0
make_corpus "$LARGE" /usr/bin/ctest /usr/bin/gdb /usr/share/mingw-w64/include/mshtml.h /usr/share/doc/nodejs/api/all.html

now() { date +%s%N; }

# One corpus: every figure of it. The response file lists every file (the backup walks
# the folders itself), in Shift-JIS with CR LF.
bench() {
  local name=$1 dir=$2
  local list=$WORK/$name.lst arc=$WORK/$name.lzh
  (cd "$dir" && find . -type f | LC_ALL=C sort | sed 's|^\./||; s|/|\\|g; s|.*|"&"\r|') | iconv -f UTF-8 -t CP932 >"$list"
  local files bytes
  files=$(find "$dir" -type f | wc -l)
  bytes=$(find "$dir" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
  cat $(find "$dir" -type f) >/dev/null  # page cache warm for every tool
  local line
  line=$(printf 'u -r2 -x1 -jm2 -a1 -t1 "%s" "%s\\" "@%s"' "$(winepath -w "$arc")" "$(winepath -w "$dir")" \
    "$(winepath -w "$list")")

  # ours <extra cli options> <extra line>: best elapsed ms of the Unlha call over RUNS runs
  ours() {
    local opts=$1 tail=$2 best=999999999 i out ms
    for i in $(seq "$RUNS"); do
      rm -f "$arc"
      # shellcheck disable=SC2086
      out=$(wine "$BIN/pv_unlha_cli.exe" --time $opts "$line$tail" 2>/dev/null | tr -d '\r')
      grep -q '^result=0' <<<"$out" || { echo "unlha32 failed: $(tail -3 <<<"$out")" >&2; exit 1; }
      ms=$(sed -n 's/^elapsed_ms=//p' <<<"$out")
      best=$(awk -v a="$best" -v b="$ms" 'BEGIN { print (b < a) ? b : a }')
    done
    echo "$best"
  }
  local quiet window single threads profile wprofile
  quiet=$(ours "" " --quiet")
  local size=$(stat -c %s "$arc")
  cp "$arc" "$WORK/$name.threads.lzh"
  window=$(ours "--owner" "")
  single=$(PV_UNLHA_THREADS=1 ours "" " --quiet")
  local same=yes
  cmp -s "$arc" "$WORK/$name.threads.lzh" || same=NO
  local cheapest csize
  cheapest=$(PV_UNLHA_CHEAPEST=1 ours "" " --quiet")
  csize=$(stat -c %s "$arc")
  rm -f "$arc"
  profile=$(PV_UNLHA_PROFILE=1 wine "$BIN/pv_unlha_cli.exe" "$line --quiet" 2>/dev/null | tr -d '\r' | sed -n 's/^profile: //p')
  rm -f "$arc"
  wprofile=$(PV_UNLHA_PROFILE=1 wine "$BIN/pv_unlha_cli.exe" --owner "$line" 2>/dev/null | tr -d '\r' | sed -n 's/^profile: //p')
  threads=$(sed -n 's/.*threads=\([0-9]*\).*/\1/p' <<<"$profile")

  local zbest=999999999 nbest=999999999 i t0 t1
  for i in $(seq "$RUNS"); do
    rm -f "$WORK/$name.zip"
    t0=$(now); (cd "$dir" && zip -6 -r -q "$WORK/$name.zip" .); t1=$(now)
    zbest=$(( (t1 - t0) / 1000000 < zbest ? (t1 - t0) / 1000000 : zbest ))
  done
  for i in $(seq "$RUNS"); do
    rm -f "$WORK/$name.native.lzh"
    t0=$(now); "$LZH_BENCH" create "$dir" "$WORK/$name.native.lzh" >/dev/null; t1=$(now)
    nbest=$(( (t1 - t0) / 1000000 < nbest ? (t1 - t0) / 1000000 : nbest ))
  done
  local nsize
  nsize=$(stat -c %s "$WORK/$name.native.lzh")
  rm -f "$WORK/$name.jlha.lzh"
  t0=$(now); (cd "$dir" && jlha a "$WORK/$name.jlha.lzh" $(ls -A) >/dev/null 2>&1) || true; t1=$(now)
  local jms=$(( (t1 - t0) / 1000000 )) jsize zsize
  jsize=$(stat -c %s "$WORK/$name.jlha.lzh" 2>/dev/null || echo 0)
  zsize=$(stat -c %s "$WORK/$name.zip")

  echo "== $name: $files files, $bytes bytes (best of $RUNS runs)"
  printf '  %-28s %12s %10s\n' "" "bytes" "ms"
  printf '  %-28s %12s %10s\n' "jlha a (-lh5-)" "$jsize" "$jms" "zip -6" "$zsize" "$zbest" \
    "ours, --quiet" "$size" "$quiet" "ours, progress window" "$size" "$window" "ours, 1 thread, --quiet" "-" "$single" \
    "ours, cheapest path, --quiet" "$csize" "$cheapest"
  awk -v o="$size" -v j="$jsize" -v q="$quiet" -v w="$window" -v z="$zbest" -v s="$single" -v th="$threads" \
      -v n="$nbest" -v ns="$nsize" -v c="$cheapest" -v cs="$csize" -v small="$([ "$name" = small ] && echo 1 || echo 0)" 'BEGIN {
    if (j > 0) printf "  size ours/jlha:         %.3f (goal <= %s)\n", o / j, small ? "0.96" : "0.975"
    printf "  time ours/zip -6:       %.2f (goal <= %s)\n", q / z, small ? "0.8" : "0.5"
    printf "  window/quiet:           %.2f (goal <= 1.10)\n", w / q
    if (j > 0) printf "  native, 1 thread:       %.2f x zip -6, size %.3f of jlha\n", n / z, ns / j
    if (j > 0) printf "  cheapest path:          size %.3f of jlha, %.2f x zip -6\n", cs / j, c / z
    printf "  threads:                %s (1 thread: %.2f x the time)\n", th, s / q
  }'
  echo "  same bytes, 1 thread and $threads: $same"
  echo "  where the time goes (open, read and compress summed over threads):"
  echo "    quiet:  $profile"
  echo "    window: $wprofile"
}

bench small "$SMALL"
bench large "$LARGE"
