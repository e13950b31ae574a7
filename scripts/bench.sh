#!/usr/bin/env bash
# Builds the benchmarks (Release) and prints the viewer's figures, each against a peer measured in
# the same run: frame time against raw GL drawing the same two passes, F5 latency against the bare
# compiles, heap allocations per frame, resident memory after 1,000 reloads against after 10 (all
# off-screen); fxshot's video stream and PNG sequence against the viewer's frames per second; then
# frames per second of the viewer's loop in a window of a private X server (Xvfb, no vsync there)
# against a raw-GL loop in the same window.
# Not part of CI (takes a few minutes).
# Extra arguments go to the off-screen benchmark binary, e.g. --benchmark_filter=steady_frame.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
fxview_install_packages "${FXVIEW_RUN_PACKAGES[@]}" xvfb

build=${FXVIEW_BENCH_BUILD:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFXVIEW_TESTS=OFF -DFXVIEW_BENCHMARKS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target product_bench capture_bench viewer_loop

xvfb_pid=""
trap '[ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true' EXIT

# Google Benchmark's own report goes to stderr (kept in the build folder); the table to stdout.
echo "== fxview benchmarks ($(nproc) cores; load average $(cut -d' ' -f1-3 /proc/loadavg))"
"$build/bench/product/product_bench" "$@" 2>"$build/product_bench.log"
echo "== fxshot against the viewer"
"$build/bench/capture/capture_bench" 2>"$build/capture_bench.log"

exec 3< <(Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp 2>/dev/null & echo "PID $!"; wait)
read -r -t 30 _ xvfb_pid <&3 || { echo "cannot start Xvfb"; exit 1; }
read -r -t 30 display_number <&3 || { echo "Xvfb gave no display"; exit 1; }
DISPLAY=":$display_number" "$build/bench/product/viewer_loop" 2>"$build/viewer_loop.log"
echo "(load average after: $(cut -d' ' -f1-3 /proc/loadavg); details: $build/product_bench.log, $build/capture_bench.log, $build/viewer_loop.log)"
