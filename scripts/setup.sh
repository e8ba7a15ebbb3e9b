#!/usr/bin/env bash
# Quick start: installs what the project needs, builds it in build/ and runs the main job on the
# built-in reader simulator: the library's self-check, then a series of cards personalised from
# the command line.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build

echo
echo "== self-check: the library against simulated readers of each family =="
build/bin/kovra-demo
echo
bash scripts/demo-series.sh
