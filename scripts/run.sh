#!/usr/bin/env bash
# Builds the viewer and starts it on the example shader (examples/main.fx).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
fxview_install_packages "${FXVIEW_RUN_PACKAGES[@]}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target fxview
cd examples
exec ../build/fxview
