#!/usr/bin/env bash
# The static checks the code is kept clean of: clang-tidy with .clang-tidy over every source file,
# and clang-format's layout (.clang-format). Prints what it finds; exit code 1 when anything is.
# Usage: scripts/tidy.sh [FILE...]   (default: every C++ file but platform/api/, the system's API)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
fxview_install_packages "${FXVIEW_RUN_PACKAGES[@]}" clang-format clang-tidy
build=${FXVIEW_TIDY_BUILD:-build-tidy}
cmake -S . -B "$build" -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
files=("$@")
[ ${#files[@]} -gt 0 ] || mapfile -t files < <(git ls-files '*.cpp' '*.h' | grep -v '^platform/api/')
status=0
layout=$(for f in "${files[@]}"; do clang-format --dry-run "$f" 2>&1; done)
[ -z "$layout" ] || { echo "$layout" | grep 'warning:' | head -n 40; echo "clang-format: run clang-format -i on these"; status=1; }
sources=()
for f in "${files[@]}"; do case $f in *.cpp) sources+=("$f");; esac; done
if ! run-clang-tidy -p "$build" -quiet -j "$(nproc)" "${sources[@]}" >"$build/tidy.log" 2>&1; then
  grep -E 'error:|warning:' "$build/tidy.log" | sort -u | head -n 60
  status=1
fi
[ $status -eq 0 ] && echo "tidy: clean (${#files[@]} files)"
exit $status
