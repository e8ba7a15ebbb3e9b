#!/usr/bin/env bash
# Quick start: installs what building and running the programs needs, builds the programs in
# build/ (not the tests, fuzzers or benchmarks: scripts/test.sh installs and builds those) and
# runs the main job on the built-in reader simulator: the library's self-check, then a series of
# cards personalised from the command line.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOVRA_BUILD_TESTS=OFF \
  -DKOVRA_BUILD_BENCH=OFF
cmake --build build

echo
echo "== self-check: the library against simulated readers of each family =="
build/bin/kovra-demo
echo
bash scripts/demo-series.sh
