#!/usr/bin/env bash
# Configures and builds the fuzz build in build-fuzz (or $1): clang, libFuzzer's coverage
# instrumentation with AddressSanitizer and UndefinedBehaviorSanitizer on every object, optimised
# as a release is, and only the fuzz targets. KOVRA_FUZZ_SECONDS sets how long ctest runs each
# target (30 by default).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKOVRA_FUZZ=ON -DKOVRA_BUILD_BENCH=OFF -DKOVRA_FUZZ_SECONDS="${KOVRA_FUZZ_SECONDS:-30}"
cmake --build "$build" -j "$(nproc)" --target kovra_fuzz_targets
