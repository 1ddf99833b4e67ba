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
notrun=()
t0=$(date +%s)
stamp() { echo "== [$(( $(date +%s) - t0 ))s] $*"; }

# ctest's closing summary: the pass ratio and the list of failures.
summary() { sed -n '/tests passed/,$p' "$1"; }

# ---- host build
stamp "host build (build/native)"
if cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >"$logs/native-configure.log" 2>&1 &&
   cmake --build build/native -j$jobs >"$logs/native-build.log" 2>&1; then
  stamp "host tests"
  (cd build/native && timeout 1800 ctest -j$jobs --output-on-failure --timeout 300) >"$logs/native-ctest.log" 2>&1
  rc=$?
  grep -E '^\s*[0-9]+/[0-9]+ Test' "$logs/native-ctest.log" | grep -v ' Passed' || true
  summary "$logs/native-ctest.log"
  [ $rc = 0 ] || failed+=("host tests")
else
  tail -n 40 "$logs/native-configure.log" "$logs/native-build.log" 2>/dev/null
  failed+=("host build")
fi

# ---- Windows build
stamp "Windows build (build/win)"
if cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake -DCMAKE_BUILD_TYPE=Release \
        >"$logs/win-configure.log" 2>&1 &&
   cmake --build build/win -j$jobs >"$logs/win-build.log" 2>&1; then
  stamp "Wine environment"
  # shellcheck source=wine-env.sh
  source scripts/wine-env.sh
  if pv_no_x86_32; then
    # A property of the machine, not a failure of ours: say so loudly, fail nothing.
    echo "!! Windows tests NOT RUN on this machine: the Windows programs were built, not run"
    notrun+=("Windows tests (this machine cannot run 32-bit x86 programs)")
  elif pv_wine_start "$root/build/wine"; then
    trap pv_wine_stop EXIT
    stamp "Windows tests under Wine (serial: one prefix, named mutexes)"
    # Test programs print Shift-JIS; the log is kept readable as UTF-8.
    (cd build/win && timeout 3000 ctest --output-on-failure --timeout 300) 2>&1 |
      iconv -f CP932 -t UTF-8 -c >"$logs/win-ctest.log"
    rc=${PIPESTATUS[0]}
    grep -E '^\s*[0-9]+/[0-9]+ Test' "$logs/win-ctest.log" | grep -v ' Passed' || true
    summary "$logs/win-ctest.log"
    [ "$rc" = 0 ] || failed+=("Windows tests")
    pv_wine_stop
    trap - EXIT
  else
    failed+=("Wine environment")
  fi
else
  tail -n 40 "$logs/win-configure.log" "$logs/win-build.log" 2>/dev/null
  failed+=("Windows build")
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
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
if [ ${#notrun[@]} -gt 0 ]; then
  echo "ALL THAT RAN PASSED; NOT RUN: ${notrun[*]}"
  exit 0
fi
echo "ALL PASSED"
