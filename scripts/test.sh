#!/usr/bin/env bash
# Builds everything and passes every test: the tests, the tests again under ASan + UBSan,
# the 32-bit Windows cross-build, and the install and the .deb (build/fxview_*.deb).
# Installs what it needs and starts its own Xvfb. Prints the time each part took.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/packages.sh

# section NAME: starts a part, after saying how long the one before took.
part="" part_start=$SECONDS all_start=$SECONDS
section() {
  [ -z "$part" ] || echo "== $part: $((SECONDS - part_start)) s"
  part=$1 part_start=$SECONDS
  [ -z "$part" ] || echo "== $part"
}

section "Packages"
fxview_install_packages "${FXVIEW_TEST_PACKAGES[@]}"

jobs=$(nproc)

# Our code builds without a warning: every build treats one as an error (FXVIEW_WERROR).

# A private X server for the window and end-to-end tests. Without -noreset it resets whenever its
# last client leaves, as between two tests, and refuses connections meanwhile.
xvfb_pid="" stage=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  if [ -n "$stage" ]; then rm -rf "$stage"; fi
}
trap cleanup EXIT
exec 3< <(Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp -noreset 2>/dev/null & echo "PID $!"; wait)
read -r -t 30 _ xvfb_pid <&3 || { echo "cannot start Xvfb"; exit 1; }
read -r -t 30 display_number <&3 || { echo "Xvfb gave no display"; exit 1; }
export DISPLAY=":$display_number"
echo "Xvfb on $DISPLAY"

section "Build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFXVIEW_WERROR=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

section "Unit tests under ASan + UBSan"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFXVIEW_BENCHMARKS=OFF -DFXVIEW_WERROR=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs" -L unit

section "Windows cross-build (32-bit)"
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DFXVIEW_WERROR=ON
cmake --build build-win -j"$jobs"
imports=$(i686-w64-mingw32-objdump -p build-win/fxview.exe | awk '/DLL Name/ {print toupper($3)}' | sort | tr '\n' ' ')
echo "fxview.exe imports: $imports"
for dll in D3D9.DLL D3DX9_43.DLL WINMM.DLL USER32.DLL GDI32.DLL KERNEL32.DLL; do
  case " $imports " in *" $dll "*) ;; *) echo "fxview.exe does not import $dll"; exit 1;; esac
done

section "Install and package"
# The installed capture tool renders the installed example, away from the source tree and the build.
stage=$(mktemp -d)
cmake --install build --prefix "$stage/usr" >/dev/null
for file in usr/bin/fxview usr/bin/fxshot usr/libexec/fxview/fxview-hlsl usr/share/fxview/examples/main.fx; do
  [ -e "$stage/$file" ] || { echo "the install has no $file"; exit 1; }
done
shot=$(cd "$stage" && env -u DISPLAY usr/bin/fxshot -o example.png usr/share/fxview/examples 2>/dev/null)
[ "$shot" = "Load Shader." ] && [ -s "$stage/example.png" ] || { echo "the installed fxshot failed: $shot"; exit 1; }
rm -f build/fxview_*.deb
(cd build && cpack -G DEB >cpack.log 2>&1) || { cat build/cpack.log; exit 1; }
deb=$(echo build/fxview_*.deb)
echo "$deb: depends on $(dpkg-deb -f "$deb" Depends)"
section ""
echo "== All tests passed in $((SECONDS - all_start)) s"
