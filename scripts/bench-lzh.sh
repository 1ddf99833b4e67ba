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
rm -f "$WORK/ours.lzh" "$WORK/zip6.zip" "$WORK/jlha.lzh"

# Warm the page cache so that both compressors read from memory.
cat $(find . -type f) >/dev/null

t0=$(now); taskset -c "$CPU" "$BENCH" create . "$WORK/ours.lzh" >/dev/null; t1=$(now)
t2=$(now); taskset -c "$CPU" zip -6 -r -q "$WORK/zip6.zip" .; t3=$(now)
t4=$(now); taskset -c "$CPU" "$BENCH" update . "$WORK/ours.lzh" >/dev/null; t5=$(now)
jlha a "$WORK/jlha.lzh" $(ls -A) >/dev/null 2>&1 || true

OURS=$(stat -c %s "$WORK/ours.lzh")
JLHA=$(stat -c %s "$WORK/jlha.lzh" 2>/dev/null || echo 0)
CREATE_MS=$(ms "$t0" "$t1"); ZIP_MS=$(ms "$t2" "$t3"); UPDATE_MS=$(ms "$t4" "$t5")

echo "corpus:            $FILES files, $BYTES bytes ($CORPUS)"
echo "our archive:       $OURS bytes"
echo "jlha a archive:    $JLHA bytes"
awk -v o="$OURS" -v j="$JLHA" 'BEGIN { if (j > 0) printf "size ours/jlha:    %.2f %% (goal <= 97 %%)\n", 100 * o / j; else print "size ours/jlha:    jlha not available" }'
echo "create (cpu $CPU):    $CREATE_MS ms"
echo "zip -6 (cpu $CPU):    $ZIP_MS ms"
awk -v o="$CREATE_MS" -v z="$ZIP_MS" 'BEGIN { printf "time ours/zip -6:  %.2f (goal <= 1.00)\n", o / z }'
echo "unchanged update:  $UPDATE_MS ms"
awk -v c="$CREATE_MS" -v u="$UPDATE_MS" 'BEGIN { if (u < 1) u = 1; printf "create/update:     %.1f x (goal >= 20 x)\n", c / u }'
