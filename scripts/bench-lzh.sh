#!/bin/bash
# Benchmark of the LZH codec against `jlha a` (size) and `zip -6` (speed), and of an
# update where nothing changed against making the archive. Prints the figures and
# the ratios; it is not a test and nothing fails on the thresholds.
#   scripts/bench-lzh.sh [workdir]
# The corpus (~30 MB) is a fixed selection of files found on this machine: headers
# from /usr/include, texts from /usr/share/doc, programs from /usr/bin and shared
# libraries from /usr/lib, taken in sorted order up to a byte budget per kind.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${1:-$(mktemp -d /tmp/pv-bench-lzh.XXXXXX)}
BUILD=$ROOT/build/bench
CPU=${PV_BENCH_CPU:-0}

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
      -DPV_SANITIZE=OFF >/dev/null
cmake --build "$BUILD" --target lzh_bench -j2 >/dev/null
BENCH=$BUILD/tests/bench/lzh_bench

CORPUS=$WORK/corpus
if [ ! -d "$CORPUS" ]; then
  mkdir -p "$CORPUS"
  # take <dest> <budget bytes> <find args...>: copies files in sorted order until the budget is used.
  take() {
    local dest=$1 budget=$2; shift 2
    local used=0
    mkdir -p "$CORPUS/$dest"
    while IFS= read -r f; do
      local sz
      sz=$(stat -c %s "$f")
      [ $((used + sz)) -gt "$budget" ] && continue
      local rel=${f#/}
      mkdir -p "$CORPUS/$dest/$(dirname "$rel")"
      cp -p "$f" "$CORPUS/$dest/$rel"
      used=$((used + sz))
      [ "$used" -ge $((budget * 98 / 100)) ] && break
    done < <(find "$@" -type f -readable 2>/dev/null | LC_ALL=C sort)
  }
  take include  10000000 /usr/include -size -2000k
  take doc       5000000 /usr/share/doc ! -name '*.gz' -size -2000k
  take bin       7000000 /usr/bin -size +10k -size -2000k
  take lib       8000000 /usr/lib/x86_64-linux-gnu -maxdepth 1 -name '*.so*' -size +50k -size -3000k
fi
BYTES=$(du -sb "$CORPUS" | cut -f1)
FILES=$(find "$CORPUS" -type f | wc -l)

now() { date +%s%N; }
ms() { echo $(( ($2 - $1) / 1000000 )); }

cd "$CORPUS"
rm -f "$WORK/ours.lzh" "$WORK/zip6.zip" "$WORK/jlha.lzh" "$WORK/optimal.lzh"

# Warm the page cache so that both compressors read from memory.
cat $(find . -type f) >/dev/null

# Each timing is the best of three runs, so that other work on the machine weighs less.
best() { # best <var> <command...>: fastest of three runs in ms
  local var=$1 b=999999999 t0 t1; shift
  for _ in 1 2 3; do
    t0=$(now); "$@" >/dev/null; t1=$(now)
    [ $(( (t1 - t0) / 1000000 )) -lt $b ] && b=$(( (t1 - t0) / 1000000 ))
  done
  printf -v "$var" %s "$b"
}
best CREATE_MS taskset -c "$CPU" "$BENCH" create . "$WORK/ours.lzh"
OURS=$(stat -c %s "$WORK/ours.lzh")
best ZIP_MS sh -c "rm -f '$WORK/zip6.zip'; taskset -c '$CPU' zip -6 -r -q '$WORK/zip6.zip' ."
best UPDATE_MS taskset -c "$CPU" "$BENCH" update . "$WORK/ours.lzh"
best OPT_MS env PV_BENCH_OPTIMAL=1 taskset -c "$CPU" "$BENCH" create . "$WORK/optimal.lzh"
OPT=$(stat -c %s "$WORK/optimal.lzh")
jlha a "$WORK/jlha.lzh" $(ls -A) >/dev/null 2>&1 || true
JLHA=$(stat -c %s "$WORK/jlha.lzh" 2>/dev/null || echo 0)

echo "corpus:            $FILES files, $BYTES bytes ($CORPUS)"
echo "our archive:       $OURS bytes"
echo "jlha a archive:    $JLHA bytes"
awk -v o="$OURS" -v j="$JLHA" 'BEGIN { if (j > 0) printf "size ours/jlha:    %.2f %% (goal <= 97 %%)\n", 100 * o / j; else print "size ours/jlha:    jlha not available" }'
echo "create (cpu $CPU):    $CREATE_MS ms (compress, write, verify)"
echo "zip -6 (cpu $CPU):    $ZIP_MS ms"
awk -v o="$CREATE_MS" -v z="$ZIP_MS" 'BEGIN { printf "time ours/zip -6:  %.2f (goal <= 1.00)\n", o / z }'
echo "unchanged update:  $UPDATE_MS ms"
awk -v c="$CREATE_MS" -v u="$UPDATE_MS" 'BEGIN { if (u < 1) u = 1; printf "create/update:     %.1f x (goal >= 20 x)\n", c / u }'
awk -v o="$OPT" -v j="$JLHA" -v t="$OPT_MS" -v z="$ZIP_MS" 'BEGIN { if (j > 0) printf "optimal parsing:   %d bytes, %.2f %% of jlha, %d ms = %.2f x zip -6\n", o, 100 * o / j, t, t / z }'
