#!/usr/bin/env bash
# Runs every test: installs what is missing, then
#   1. the normal build (gcc, warnings are errors) and its tests, the C consumer check included;
#   2. a clang build with AddressSanitizer and UndefinedBehaviorSanitizer and its tests, plus a
#      bounded run of each fuzz target (KOVRA_FUZZ_SECONDS each, 30 by default);
#   3. the format check.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C.UTF-8 TZ=UTC

bash scripts/setup-deps.sh
jobs=$(nproc)

echo "== normal build =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== sanitizer build (ASan + UBSan) with fuzz targets =="
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DKOVRA_SANITIZE=ON -DKOVRA_FUZZ=ON -DKOVRA_BUILD_BENCH=OFF \
  -DKOVRA_FUZZ_SECONDS="${KOVRA_FUZZ_SECONDS:-30}"
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== format check =="
bash scripts/check-format.sh
echo "all checks passed"
