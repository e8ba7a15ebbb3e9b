#!/usr/bin/env bash
# Runs every test: installs what is missing, checks that every tool the stages rely on is there
# (scripts/test-tools.sh, which also points the sanitizers at llvm-symbolizer), then
#   1. the normal build (gcc, warnings are errors) and its tests, the C consumer check included;
#   2. the Release build users and packagers make (gcc -O3, warnings are errors here too) and its
#      tests;
#      then the Debian package made from it, installed into a throw-away root and checked
#      (scripts/check-deb.sh, lintian included);
#   3. a clang build with AddressSanitizer and UndefinedBehaviorSanitizer and its tests;
#   4. the fuzz build (every object with libFuzzer's coverage instrumentation and the sanitizers)
#      and a bounded run of each fuzz target (KOVRA_FUZZ_SECONDS each, 30 by default), with one
#      line per target: edges covered and executions;
#   5. a clang build with ThreadSanitizer and its tests (port threads, waits, the cycle, the CLI's
#      signal handling);
#   6. the format check.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C.UTF-8 TZ=UTC

bash scripts/setup-deps.sh --tests
source scripts/test-tools.sh
jobs=$(nproc)

echo "== normal build =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOVRA_BUILD_TESTS=ON \
  -DKOVRA_BUILD_BENCH=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== release build =="
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOVRA_WERROR=ON \
  -DKOVRA_BUILD_BENCH=OFF
cmake --build build-release -j "$jobs"
ctest --test-dir build-release --output-on-failure -j "$jobs"

echo "== Debian package (from the Release build) =="
deb=$(bash scripts/make-deb.sh build-release | tail -1)
bash scripts/check-deb.sh "$deb"

echo "== sanitizer build (ASan + UBSan) =="
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DKOVRA_SANITIZE=ON -DKOVRA_FUZZ=OFF -DKOVRA_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== fuzz build and bounded fuzz runs =="
bash scripts/fuzz-build.sh build-fuzz
ctest --test-dir build-fuzz -L fuzz --output-on-failure -j "$jobs"
cat build-fuzz/tests/fuzz/*-work.summary

echo "== thread sanitizer build =="
CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DKOVRA_SANITIZE_THREAD=ON -DKOVRA_BUILD_BENCH=OFF
cmake --build build-tsan -j "$jobs"
ctest --test-dir build-tsan --output-on-failure -j "$jobs" --timeout 600

echo "== format check =="
bash scripts/check-format.sh
echo "all checks passed"
