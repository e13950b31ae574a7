#!/usr/bin/env bash
# Long robustness runs, not part of CI (about 35 minutes on 2 cores):
#   soak: 10,000 reloads (load_resources, then the frame) with the real Linux platform, off-screen,
#         under ASan + UBSan with the leak check at exit; resident memory and heap in use at 1,000
#         and 10,000 reloads, and the device objects left alive.
#   fuzz: libFuzzer over the HLSL compiler (clang build), at least 100,000 mutated main.fx files
#         seeded from the compiler corpus and the example.
#   hostile: hostile main.fx files (macro bombs, a deep #if, special files, 40,000 and 65,534 globals,
#         numbers past their range), each with how it fails, its time and the helper's peak memory;
#         the worker's limits (memory, CPU time, parent death, reply size) by their tests; the largest
#         shapes the compiler accepts and the shapes its limits do not see yet (run-time arrays,
#         constant arrays, [unroll] loops, call chains, long statements; size expressions, nesting,
#         member counts, token pasting, a function named main), each compiled, built by the device
#         and drawn off-screen, with the viewer's and the helper's time and peak memory, where a build
#         past 1 GiB or 10 s of CPU is a finding (SWEEP_CASES narrows them, as shader_sweep --list
#         names them); the window destroyed by another program and the watched folder deleted, on a
#         private X server; then a fresh libFuzzer run of the preprocessing stage alone
#         (PP_FUZZ_SECONDS), where any input slower than 10 s or larger than 2 GiB is a finding.
# Usage: scripts/robustness.sh [soak|fuzz|hostile|all]   (default all; the shape sweep alone takes
# about 40 minutes on 2 cores, most of it in shapes stopped at its 60 s CPU cap)
# Environment: RELOADS (10000), FUZZ_RUNS (100000), FUZZ_SECONDS (1200), PP_FUZZ_SECONDS (600), JOBS (nproc),
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

# configure_fuzz_build DIR: clang with libFuzzer, ASan and UBSan.
configure_fuzz_build() {
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DFXVIEW_FUZZ=ON -DFXVIEW_BENCHMARKS=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link -fno-omit-frame-pointer -fno-sanitize-recover=undefined" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
}

run_fuzz() {
  local build=${FXVIEW_FUZZ_BUILD:-build-robust-fuzz} runs=${FUZZ_RUNS:-100000} seconds=${FUZZ_SECONDS:-1200}
  echo "== Fuzz: the compiler, $runs inputs or $seconds s, whichever comes first ($build)"
  configure_fuzz_build "$build"
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

run_hostile() {
  local build=${FXVIEW_HOSTILE_BUILD:-build-robust-hostile}
  echo "== Hostile main.fx files: how each fails, in what time, at what peak helper memory ($build)"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j"$jobs" --target hostile_compile compiler_tests fxview-hlsl shader_sweep fxview e2e_tests
  local tool="$build/bench/compiler/hostile_compile" case
  for case in $("$tool" --list); do "$tool" "$case" || status=1; done
  echo "== The worker's limits: memory, CPU time, the viewer killed by SIGHUP and SIGKILL, reply size"
  "$build/tests/compiler/compiler_tests" --gtest_brief=1 \
    --gtest_filter='Isolation.*Limit*:Isolation.*Cap*:Isolation.*Outlive*:Isolation.*Replies*:Limits.*' || status=1

  echo "== Shapes built and drawn off-screen: each step's time, the viewer's and the helper's peak memory"
  local sweep="$build/bench/product/shader_sweep" cases=()
  if [ -n "${SWEEP_CASES:-}" ]; then read -r -a cases <<<"$SWEEP_CASES"; else mapfile -t cases < <("$sweep" --list); fi
  "$sweep" "${cases[@]}" || status=1

  echo "== The window destroyed by another program; the watched folder deleted (a private X server)"
  local xvfb_pid display_number
  exec 3< <(Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp -noreset 2>/dev/null & echo "PID $!"; wait)
  read -r -t 30 _ xvfb_pid <&3 && read -r -t 30 display_number <&3 || { echo "cannot start Xvfb"; return 1; }
  DISPLAY=":$display_number" "$build/tests/e2e/e2e_tests" --gtest_brief=1 \
    --gtest_filter='Quitting.AWindowDestroyed*:Quitting.LosingTheXServer*:Viewer.ReloadOnSaveSaysOnce*' || status=1
  kill "$xvfb_pid" 2>/dev/null || true
  exec 3<&-

  local fuzz_build=${FXVIEW_FUZZ_BUILD:-build-robust-fuzz} seconds=${PP_FUZZ_SECONDS:-600}
  echo "== Fuzz: the preprocessing stage alone, $seconds s, fresh corpus ($fuzz_build)"
  configure_fuzz_build "$fuzz_build"
  cmake --build "$fuzz_build" -j"$jobs" --target preprocessor_fuzz
  local work="$root/$fuzz_build/preprocessor" rc=0
  rm -rf "$work" && mkdir -p "$work/seeds" "$work/corpus" "$work/crashes"
  cp tests/fuzz/preprocessor_seeds/*.fx tests/compiler/corpus/*.fx "$work/seeds/"
  cat tests/fuzz/hlsl.dict tests/fuzz/preprocessor.dict >"$work/all.dict"
  "$fuzz_build/tests/fuzz/preprocessor_fuzz" -max_total_time="$seconds" -dict="$work/all.dict" -max_len=16384 \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/crashes/" \
    "$work/corpus" "$work/seeds" >"$work/fuzz.log" 2>&1 || rc=$?
  grep -E "^Done|stat::number_of_executed_units|stat::slowest_unit_time_sec|stat::peak_rss_mb|^==[0-9]+==|SUMMARY|runtime error|Test unit written" \
    "$work/fuzz.log" || true
  echo "preprocessor fuzz: exit code $rc; findings: $(ls "$work/crashes" | wc -l) in $work/crashes (log: $work/fuzz.log)"
  [ "$rc" -eq 0 ] || status=1
}

case "$what" in
  soak) run_soak ;;
  fuzz) run_fuzz ;;
  hostile) run_hostile ;;
  all) run_soak; run_fuzz; run_hostile ;;
  *) echo "usage: $0 [soak|fuzz|hostile|all]"; exit 2 ;;
esac
exit $status
