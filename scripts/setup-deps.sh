#!/usr/bin/env bash
# Installs every Debian 12 package that the build, the tests, the GUI, the fuzzers and the
# benchmarks need. Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # toolchain and build
  build-essential cmake ninja-build pkg-config git python3
  clang libclang-rt-14-dev clang-format
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # the simulator's card cryptography and the stored-key protection
  libssl-dev
  # writer core, GUI, translations, offscreen GUI tests
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-qpa-plugins libgl-dev
  # the window's artwork (SVG), its end-to-end runs and screenshots under a virtual X server
  qt6-svg-dev xvfb xauth xdotool x11-utils fonts-dejavu-core
  # the end-to-end run presses the window's buttons through the accessibility bus, on a session bus
  dbus dbus-bin at-spi2-core gir1.2-atspi-2.0 python3-gi
  # network readers: the tests' own network namespaces and veth pairs
  iproute2
  # the Debian package: its shared-library dependencies and its check
  dpkg-dev fakeroot lintian
  # device discovery, HID, update check, beep
  libudev-dev libhidapi-dev libcurl4-openssl-dev libasound2-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
