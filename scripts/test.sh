#!/usr/bin/env bash
# Sets up the machine and runs every test: the host build (portable code under
# AddressSanitizer and UndefinedBehaviorSanitizer), the Windows build under Wine, and
# a short libFuzzer run when fuzz targets exist. Exits non-zero when anything fails.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/setup.sh || { echo "test: setup failed" >&2; exit 1; }

jobs=2
logs="$root/build/test-logs"
mkdir -p "$logs"
failed=()
t0=$(date +%s)
stamp() { echo "== [$(( $(date +%s) - t0 ))s] $*"; }

# ctest's closing summary: the pass ratio and the list of failures.
summary() { sed -n '/tests passed/,$p' "$1"; }

# Passed and failed counts from ctest's closing summary, added to the totals; a log
# without a summary counts as one failure.
total_passed=0; total_failed=0
count() {
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  if [ -z "$line" ]; then total_failed=$((total_failed + 1)); echo "no summary in $1"; tail -n 20 "$1"; return; fi
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  total_passed=$((total_passed + total - bad)); total_failed=$((total_failed + bad))
  summary "$1"
}

# ---- host build
stamp "host build (build/native)"
if cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >"$logs/native-configure.log" 2>&1 &&
   cmake --build build/native -j$jobs >"$logs/native-build.log" 2>&1; then
  stamp "host tests"
  (cd build/native && timeout 1800 ctest -j$jobs --output-on-failure --timeout 300) >"$logs/native-ctest.log" 2>&1
  rc=$?
  grep -E '^\s*[0-9]+/[0-9]+ Test' "$logs/native-ctest.log" | grep -v ' Passed' || true
  count "$logs/native-ctest.log"
  [ $rc = 0 ] || failed+=("host tests")
else
  tail -n 40 "$logs/native-configure.log" "$logs/native-build.log" 2>/dev/null
  failed+=("host build")
fi

# ---- Windows builds
# The Windows tests run in two Wine prefixes at once, each with its own wineserver and
# display (named mutexes and the registry belong to one wineserver), half the tests in
# each. GoogleTest lists are discovered once beforehand so that the two runs do not
# write the same discovery files.
wine_tests() {  # build_dir log_prefix exclude_regex serial_regex
  local dir=$1 log=$2 exclude=$3 serial=$4
  local shards=2 i pids=() rc=0 listed="$root/build/wine-listed"
  rm -f "$listed"
  for i in $(seq 1 $shards); do
    (
      pv_wine_start "$root/build/wine-$i" >/dev/null || { touch "$listed"; exit 1; }
      trap pv_wine_stop EXIT
      cd "$dir" || exit 1
      if [ "$i" = 1 ]; then
        timeout 600 ctest -N >"$logs/$log-discovery.log" 2>&1; touch "$listed"
      else
        while [ ! -e "$listed" ]; do sleep 1; done
      fi
      # Test programs print Shift-JIS; the log is kept readable as UTF-8.
      timeout 3000 ctest --output-on-failure --timeout 300 -I "$i,,$shards" -E "$exclude|$serial" 2>&1 |
        iconv -f CP932 -t UTF-8 -c >"$logs/$log-$i.log"
      exit "${PIPESTATUS[0]}"
    ) &
    pids+=($!)
  done
  local shards_rc=0
  for i in "${pids[@]}"; do wait "$i" || shards_rc=1; done
  # Under 64-bit Wine a test now and then finds a program that did not start or a
  # display that did not take a key; such a test gets one more run, alone. Those that
  # pass then are named as flaky, those that fail again count as failed.
  local again
  again=$(for i in $(seq 1 $shards); do
            sed -nE 's/^\s*[0-9]+ - ([^ ]+) \((Failed|Timeout|SEGFAULT|Exception|Not Run).*/\1/p' "$logs/$log-$i.log"
          done | sed 's/[][\.^$*+?(){}|]/\\&/g' | paste -sd'|')
  # Tests that drive the display with real keys and clicks run afterwards, alone, so
  # that no other Wine process takes the machine while they wait on a menu.
  (
    pv_wine_start "$root/build/wine-1" >/dev/null || exit 1
    trap pv_wine_stop EXIT
    cd "$dir" || exit 1
    timeout 1200 ctest --output-on-failure --timeout 300 -R "$serial" -E "$exclude" 2>&1 |
      iconv -f CP932 -t UTF-8 -c >"$logs/$log-serial.log"
    status=${PIPESTATUS[0]}
    if [ -n "$again" ]; then
      timeout 1200 ctest --output-on-failure --timeout 300 -R "^($again)\$" 2>&1 |
        iconv -f CP932 -t UTF-8 -c >"$logs/$log-again.log"
    fi
    exit "$status"
  ) || rc=1
  for i in $(seq 1 $shards) serial; do
    grep -E '^\s*[0-9]+/[0-9]+ Test' "$logs/$log-$i.log" | grep -v ' Passed' || true
    count "$logs/$log-$i.log"
  done
  if [ -n "$again" ]; then
    # What failed in the two prefixes is counted by its second run.
    local n
    n=$(tr '|' '\n' <<<"$again" | wc -l)
    total_failed=$((total_failed - n))
    echo "-- run again alone:"
    count "$logs/$log-again.log"
    grep -E '^\s*[0-9]+/[0-9]+ Test.* Passed' "$logs/$log-again.log" |
      sed -E 's/^.*Test +#[0-9]+: ([^ ]+).*/flaky (passed when run again): \1/'
    grep -qE '^100% tests passed' "$logs/$log-again.log" || rc=1
  elif [ $shards_rc != 0 ]; then
    rc=1
  fi
  return $rc
}

# shellcheck source=wine-env.sh
source scripts/wine-env.sh
arch=$(pv_win_arch)
# The product: the i686 build, on every machine (release package, import check). Where
# its tests cannot run, only the shipped programs are built.
product_targets=(); [ "$arch" = x86_64 ] && product_targets=(--target pelbo pelboSetup Lazerase unlha32 pelbo_help)
stamp "Windows build, the product (build/win, i686)"
if cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake -DCMAKE_BUILD_TYPE=Release \
        >"$logs/win-configure.log" 2>&1 &&
   cmake --build build/win -j$jobs "${product_targets[@]}" >"$logs/win-build.log" 2>&1; then
  product_built=1; tests_built=1
else
  tail -n 40 "$logs/win-configure.log" "$logs/win-build.log" 2>/dev/null
  failed+=("Windows build (i686)"); product_built=0; tests_built=0
fi
if [ "$arch" = x86_64 ]; then
  # The tests that need no Wine run on the product itself.
  if [ $product_built = 1 ]; then
    stamp "product checks without Wine (build/win: imports, release, help)"
    (cd build/win && ctest --output-on-failure --timeout 300 -R '^(imports|release|help)\.') >"$logs/win-product.log" 2>&1 ||
      failed+=("product checks")
    count "$logs/win-product.log"
  fi
  stamp "Windows build for the tests (build/win64, x86-64)"
  tests_built=1
  if ! { cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DCMAKE_BUILD_TYPE=Release \
           >"$logs/win64-configure.log" 2>&1 &&
         cmake --build build/win64 -j$jobs >"$logs/win64-build.log" 2>&1; }; then
    tail -n 40 "$logs/win64-configure.log" "$logs/win64-build.log" 2>/dev/null
    failed+=("Windows build (x86-64)"); tests_built=0
  fi
fi
test_dir=$(pv_win_build_dir)
if [ $tests_built = 0 ]; then
  :
elif pv_wine_unusable; then
  # Neither Wine runs here: nothing can show that the programs work.
  failed+=("Windows tests: Wine cannot start on this machine")
else
  stamp "Windows tests on $(pv_win_describe), two prefixes at once"
  # The release package belongs to the product; on the x86-64 path it is checked there.
  exclude='^$'; [ "$arch" = x86_64 ] && exclude='^release\.'
  before_p=$total_passed; before_f=$total_failed
  wine_tests "$test_dir" "win-ctest" "$exclude" '^Restore\.' || failed+=("Windows tests")
  windows_line="Windows tests on $(pv_win_describe): $((total_passed - before_p)) passed, $((total_failed - before_f)) failed"
  echo "$windows_line"
fi

# ---- short fuzzing smoke run
shopt -s nullglob
fuzz_sources=(tests/fuzz/*.cpp)
if [ ${#fuzz_sources[@]} -gt 0 ]; then
  stamp "fuzz smoke run (build/fuzz)"
  names=()
  for f in "${fuzz_sources[@]}"; do names+=("$(basename "$f" .cpp)"); done
  if CXX=clang++ CC=clang cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=Debug -DPV_FUZZ=ON \
        -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >"$logs/fuzz-configure.log" 2>&1 &&
     cmake --build build/fuzz -j$jobs --target "${names[@]}" >"$logs/fuzz-build.log" 2>&1; then
    # Under a minute in all.
    per=$(( 50 / ${#names[@]} )); [ $per -ge 5 ] || per=5
    for n in "${names[@]}"; do
      corpus="build/fuzz/corpus-$n"; mkdir -p "$corpus"
      seeds=(); [ -d "tests/fuzz/corpus/$n" ] && seeds=("tests/fuzz/corpus/$n")
      if "build/fuzz/tests/$n" -max_total_time=$per -rss_limit_mb=2048 -print_final_stats=0 \
           "$corpus" "${seeds[@]}" >"$logs/fuzz-$n.log" 2>&1; then
        echo "fuzz $n: ${per}s, no findings"
      else
        tail -n 30 "$logs/fuzz-$n.log"
        failed+=("fuzz $n")
      fi
    done
  else
    tail -n 40 "$logs/fuzz-configure.log" "$logs/fuzz-build.log" 2>/dev/null
    failed+=("fuzz build")
  fi
fi

stamp "done; logs in build/test-logs"
[ -n "${windows_line:-}" ] && echo "$windows_line"
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  echo "total: $total_passed passed, $total_failed failed"
  exit 1
fi
echo "ALL PASSED"
echo "total: $total_passed passed, $total_failed failed"
