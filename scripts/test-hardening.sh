#!/usr/bin/env bash
# Sanitizer build and fuzzing. Builds the whole project with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer plus the libFuzzer targets, runs the whole test suite there,
# then runs each fuzz target for a bounded time from its seed corpus.
#
#   scripts/test-hardening.sh [build-folder]      (default: build-asan)
#   TALLIX_FUZZ_SECONDS=60   seconds per fuzz target (0 skips fuzzing)
#
# Ends with one line "hardening: PASS ..." or "hardening: FAIL ..." and a matching status.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build-asan}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
seconds=${TALLIX_FUZZ_SECONDS:-60}
jobs=${TALLIX_JOBS:-2}
failures=()

step() { printf '\n=== %s\n' "$*"; }

step "configure $build (clang, ASan+UBSan, fuzz targets)"
if ! CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
    -DTALLIX_SANITIZE=ON -DTALLIX_FUZZ=ON -DTALLIX_WERROR=${CI:+ON} >"$build.configure.log" 2>&1; then
  tail -20 "$build.configure.log"
  echo "hardening: FAIL (configure)"
  exit 1
fi

step "build"
if ! nice cmake --build "$build" -j"$jobs" >"$build.build.log" 2>&1; then
  grep -E "error|Error" "$build.build.log" | head -20
  echo "hardening: FAIL (build)"
  exit 1
fi

# Leaks are reported everywhere; the suppressions cover only allocations Qt and the system
# libraries keep for the life of the process (see fuzz/lsan.supp).
export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

step "test suite under the sanitizers"
ctest_log="$build.ctest.log"
( cd "$build" && ctest --output-on-failure -j"$jobs" --timeout 900 ) >"$ctest_log" 2>&1
ctest_status=$?
grep -E "tests passed|tests failed|^\s+[0-9]+ - |Total Test time" "$ctest_log"
if [ $ctest_status -ne 0 ]; then
  failures+=("ctest")
fi
"$root/scripts/skipped-tests.sh" "$build" || failures+=("skipped checks")
# A report in a test that still passed (a child process, a leak at exit) counts too.
if grep -qE "ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:" "$ctest_log"; then
  grep -nE "ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:" "$ctest_log" | head -5
  failures+=("sanitizer reports in ctest output")
fi

fuzz_summary=()
if [ "$seconds" -gt 0 ]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/tallix-fuzz.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  # The targets write their files to a memory file system: fsync on disk would make the
  # settings and autostart targets a hundred times slower.
  fuzz_tmp=/dev/shm
  [ -d "$fuzz_tmp" ] && [ -w "$fuzz_tmp" ] || fuzz_tmp=$work
  for target in $(cd "$root/fuzz/corpus" && ls); do
    exe="$build/fuzz/$target"
    step "fuzz $target for ${seconds}s"
    mkdir -p "$work/$target" "$work/$target.crashes"
    log="$work/$target.log"
    # One core for fuzzing; the other stays free for whoever shares the machine.
    TMPDIR=$fuzz_tmp taskset -c 0 "$exe" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=3072 \
      -print_final_stats=1 -artifact_prefix="$work/$target.crashes/" \
      "$work/$target" "$root/fuzz/corpus/$target" >"$log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "$target: status $status, ${runs:-?} runs, ${rate:-?}/s"
    fuzz_summary+=("$target ${runs:-?} runs")
    if [ $status -ne 0 ] || [ -n "$(ls -A "$work/$target.crashes")" ]; then
      grep -E "ERROR|property failed|SUMMARY|Test unit written" "$log" | head -10
      kept="$build/fuzz-findings/$target"
      mkdir -p "$kept" && cp "$work/$target.crashes/"* "$kept/" 2>/dev/null
      echo "inputs kept in $kept (move them to fuzz/regressions/$target once fixed)"
      failures+=("fuzz $target")
    fi
  done
fi

echo
if [ ${#failures[@]} -eq 0 ]; then
  echo "hardening: PASS (sanitized test suite clean; fuzzed ${#fuzz_summary[@]} targets for ${seconds}s each)"
  exit 0
fi
printf 'hardening: FAIL (%s)\n' "$(IFS=,; echo "${failures[*]}")"
exit 1
