#!/usr/bin/env bash
# Runs every test: installs what is missing, then
#   1. the normal build (gcc, warnings are errors) and its tests, the C consumer check included;
#   2. a clang build with AddressSanitizer and UndefinedBehaviorSanitizer and its tests;
#   3. the fuzz build (every object with libFuzzer's coverage instrumentation and the sanitizers)
#      and a bounded run of each fuzz target (KOVRA_FUZZ_SECONDS each, 30 by default), with one
#      line per target: edges covered and executions;
#   4. the format check.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C.UTF-8 TZ=UTC

bash scripts/setup-deps.sh
jobs=$(nproc)

echo "== normal build =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== sanitizer build (ASan + UBSan) =="
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DKOVRA_SANITIZE=ON -DKOVRA_FUZZ=OFF -DKOVRA_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== fuzz build and bounded fuzz runs =="
bash scripts/fuzz-build.sh build-fuzz
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-fuzz -L fuzz --output-on-failure -j "$jobs"
cat build-fuzz/tests/fuzz/*-work.summary

echo "== format check =="
bash scripts/check-format.sh
echo "all checks passed"
