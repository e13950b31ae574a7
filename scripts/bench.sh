#!/usr/bin/env bash
# Builds the benchmarks (Release) and prints the viewer's figures, each against a peer measured in
# the same run: frame time against raw GL drawing the same two passes, F5 latency against the bare
# compiles, heap allocations per frame, resident memory after 1,000 reloads against after 10; and
# fxshot's video stream and PNG sequence against the viewer's frames per second.
# Off-screen: no display needed. Not part of CI (takes a couple of minutes).
# Extra arguments go to the benchmark binary, e.g. --benchmark_filter=steady_frame.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
fxview_install_packages "${FXVIEW_RUN_PACKAGES[@]}"

build=${FXVIEW_BENCH_BUILD:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFXVIEW_TESTS=OFF -DFXVIEW_BENCHMARKS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target product_bench capture_bench

# Google Benchmark's own report goes to stderr (kept in the build folder); the table to stdout.
echo "== fxview benchmarks ($(nproc) cores; load average $(cut -d' ' -f1-3 /proc/loadavg))"
"$build/bench/product/product_bench" "$@" 2>"$build/product_bench.log"
echo "(details: $build/product_bench.log)"
echo "== fxshot against the viewer"
"$build/bench/capture/capture_bench" 2>"$build/capture_bench.log"
