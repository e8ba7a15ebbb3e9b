#!/usr/bin/env bash
# Fails when a source file of the project differs from what clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.h' '*.cpp' '*.c')
[ ${#files[@]} -eq 0 ] && exit 0
clang-format --dry-run -Werror "${files[@]}"
echo "format check: ${#files[@]} files clean"
