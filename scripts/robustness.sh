#!/usr/bin/env bash
# Long robustness runs, not part of CI (about 35 minutes on 2 cores):
#   soak: 10,000 reloads (load_resources, then the frame) with the real Linux platform, off-screen,
#         under ASan + UBSan with the leak check at exit; resident memory and heap in use at 1,000
#         and 10,000 reloads, and the device objects left alive.
#   fuzz: libFuzzer over the HLSL compiler (clang build), at least 100,000 mutated main.fx files
#         seeded from the compiler corpus and the example.
# Usage: scripts/robustness.sh [soak|fuzz|all]   (default all)
# Environment: RELOADS (10000), FUZZ_RUNS (100000), FUZZ_SECONDS (1200), JOBS (nproc),
# FUZZ_KEEP_GOING=1 (past crashes, in libFuzzer's fork mode, collecting every crash input),
# FXVIEW_ASAN_BUILD and FXVIEW_FUZZ_BUILD (build folders, default build-robust-asan, -fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/packages.sh
fxview_install_packages "${FXVIEW_TEST_PACKAGES[@]}"

what=${1:-all}
jobs=${JOBS:-$(nproc)}
status=0

run_soak() {
  local build=${FXVIEW_ASAN_BUILD:-build-robust-asan} reloads=${RELOADS:-10000}
  echo "== Soak: $reloads reloads under ASan + UBSan ($build)"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFXVIEW_TESTS=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
  cmake --build "$build" -j"$jobs" --target reload_soak
  local start=$SECONDS rc=0
  ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/bench/product/reload_soak" "$reloads" >"$build/soak.log" 2>&1 || rc=$?
  grep -E "^after|alive|ERROR|SUMMARY|runtime error" "$build/soak.log" || true
  echo "soak: exit code $rc after $((SECONDS - start)) s (0: no leak, no sanitizer report, no object left; log: $build/soak.log)"
  [ "$rc" -eq 0 ] || status=1
}

run_fuzz() {
  local build=${FXVIEW_FUZZ_BUILD:-build-robust-fuzz} runs=${FUZZ_RUNS:-100000} seconds=${FUZZ_SECONDS:-1200}
  echo "== Fuzz: the compiler, $runs inputs or $seconds s, whichever comes first ($build)"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DFXVIEW_FUZZ=ON -DFXVIEW_BENCHMARKS=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-omit-frame-pointer -fno-sanitize-recover=undefined" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
  cmake --build "$build" -j"$jobs" --target compiler_fuzz
  local seeds="$root/$build/seeds" corpus="$root/$build/corpus" crashes="$root/$build/crashes"
  rm -rf "$seeds" "$crashes" && mkdir -p "$seeds" "$corpus" "$crashes"  # the corpus grows from run to run
  cp tests/compiler/corpus/*.fx "$seeds/"
  cp examples/main.fx "$seeds/example_main.fx"
  local rc=0 keep_going=()
  [ "${FUZZ_KEEP_GOING:-0}" = 1 ] && keep_going=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
  "$build/tests/fuzz/compiler_fuzz" "${keep_going[@]}" -runs="$runs" -max_total_time="$seconds" -dict=tests/fuzz/hlsl.dict \
    -max_len=8192 -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$crashes/" \
    "$corpus" "$seeds" >"$build/fuzz.log" 2>&1 || rc=$?
  grep -E "^Done|stat::number_of_executed_units|ERROR|SUMMARY|runtime error|Test unit written" "$build/fuzz.log" || true
  echo "fuzz: exit code $rc; crash inputs: $(ls "$crashes" | wc -l) in $crashes (log: $build/fuzz.log)"
  [ "$rc" -eq 0 ] || status=1
}

case "$what" in
  soak) run_soak ;;
  fuzz) run_fuzz ;;
  all) run_soak; run_fuzz ;;
  *) echo "usage: $0 [soak|fuzz|all]"; exit 2 ;;
esac
exit $status
