#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, in two tiers:
#   setup-deps.sh          what building and running the programs needs (the quick start);
#   setup-deps.sh --tests  that, and what the tests, sanitizer and fuzz builds, benchmarks, the
#                          window's end-to-end runs and the package check need.
# Safe to run again: it asks apt only for what is missing.
set -euo pipefail

programs=(
  # toolchain and build
  build-essential cmake ninja-build pkg-config python3
  # the simulator's card cryptography and the stored-key protection
  libssl-dev
  # writer core, GUI, translations; the guide's PDFs are drawn by the build on the offscreen
  # platform with these fonts
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-qpa-plugins libgl-dev
  qt6-svg-dev fonts-dejavu-core
  # Qt's own German texts: the German window's standard buttons (Wiederholen, Abbrechen, Öffnen)
  qt6-translations-l10n
  # device discovery, HID, update check, beep
  libudev-dev libhidapi-dev libcurl4-openssl-dev libasound2-dev
  # PC/SC readers: the library loads libpcsclite.so.1 at run time; the package brings it, and the
  # header a unit test compares the library's own declarations with
  libpcsclite-dev
  # the embedded series ledger
  libsqlite3-dev
  # the series ledger that stations share in PostgreSQL
  libpq-dev
)

tests=(
  # sanitizer and fuzz builds; llvm-14 brings llvm-symbolizer, without which the sanitizers
  # cannot name functions and their suppressions match nothing
  clang libclang-rt-14-dev llvm-14 clang-format git
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # the series report's text read back from its PDF
  poppler-utils
  # the window's end-to-end runs and screenshots under a virtual X server
  xvfb xauth xdotool x11-utils
  # the end-to-end run presses the window's buttons through the accessibility bus, on a session bus
  dbus dbus-bin at-spi2-core gir1.2-atspi-2.0 python3-gi
  # network readers: the tests' own network namespaces and veth pairs
  iproute2
  # PC/SC readers: the tests' own pcsc-lite daemon with the simulator's card behind the
  # virtual reader driver
  pcscd vsmartcard-vpcd
  # the shared series ledger's tests start their own PostgreSQL server in a temporary folder
  postgresql-15
  # the Debian package: its shared-library dependencies and its check
  dpkg-dev fakeroot lintian
)

wanted=("${programs[@]}")
case "${1:-}" in
  --tests) wanted+=("${tests[@]}") ;;
  "") ;;
  *) echo "usage: $0 [--tests]" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
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
