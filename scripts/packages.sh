# Installs the Debian packages the build, the tests and the Windows cross-build need.
# Sourced by run.sh and test.sh; skips apt entirely when everything is already there.
# What building and running the viewer needs, and packaging it (cpack's dependency scan uses file).
FXVIEW_RUN_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libx11-dev libxi-dev libxtst-dev libwayland-dev libepoxy-dev libpng-dev libgl-dev libegl-dev libgl1-mesa-dri
  glslang-dev glslang-tools spirv-tools libspirv-cross-c-shared-dev
  file
)
# What the tests, the benchmarks and the Windows cross-build add: the Wayland test's compositor
# and the title bar (with its close button) that libdecor's plugin draws for SDL there.
FXVIEW_TEST_PACKAGES=(
  "${FXVIEW_RUN_PACKAGES[@]}"
  xvfb xdotool x11-utils x11-apps imagemagick
  weston libdecor-0-plugin-1-cairo
  clang libclang-rt-14-dev valgrind
  g++-mingw-w64-i686
)

# fxview_install_packages NAME...: installs those not installed yet.
fxview_install_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q -o DPkg::Lock::Timeout=600
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends \
    -o DPkg::Lock::Timeout=600 "${missing[@]}"
}
