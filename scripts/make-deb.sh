#!/usr/bin/env bash
# Builds the Debian package quillmate_<version>_<arch>.deb:
#   bash scripts/make-deb.sh [BUILD_DIR]
# Without BUILD_DIR it configures and builds a Release build in build-deb (no tests, no
# benchmarks); with one it packages that build as it stands (CI packages its Release build).
# Prints the package's path on the last line.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-deb}
if [ $# -eq 0 ]; then
  bash scripts/setup-deps.sh
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOVRA_BUILD_TESTS=OFF \
    -DKOVRA_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr
  cmake --build "$build" -j "$(nproc)"
fi
# The package's paths are those of prefix /usr (the library in /usr/lib/<multiarch>); a build
# configured for another prefix is configured again for this one (nothing is rebuilt for it).
if ! grep -qx 'CMAKE_INSTALL_PREFIX:PATH=/usr' "$build/CMakeCache.txt"; then
  cmake "$build" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
fi
rm -f "$build"/quillmate_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$(cd "$build" && pwd)"/quillmate_*.deb
