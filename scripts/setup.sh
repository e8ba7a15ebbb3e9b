#!/usr/bin/env bash
# Quick start: installs what the project needs, builds it in build/ and runs the main job on the
# built-in reader simulator.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build

echo
echo "== main job: the library against the simulated reader =="
build/bin/kovra-demo
