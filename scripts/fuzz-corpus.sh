#!/usr/bin/env bash
# Grows the fuzz corpora in tests/fuzz/corpus/<target>, so that the short runs of scripts/test.sh
# start from what longer runs found. Each target runs SECONDS seconds from a scratch working
# corpus seeded by its corpus folder; then libFuzzer's -merge=1 adds to the folder the inputs
# that reach coverage it does not have yet. An input that made a target fail (crash, leak,
# sanitizer report, timeout) goes into the corpus as well, named crash-..., leak-..., timeout-...,
# so that it stays as a regression once the fault is fixed; the script then exits with 1.
#
# Usage: scripts/fuzz-corpus.sh [-t SECONDS] [TARGET...]
#   -t SECONDS  time per target (default 300)
#   TARGET      fuzz target names (default: every target, see build-fuzz/fuzz-targets.txt)
#
# Builds build-fuzz first (scripts/fuzz-build.sh). Prints one line per target with the edges
# covered and the executions, and the corpus size before and after. Review and commit the new
# corpus files; keep the corpora small (each target's -max_len caps its inputs).
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C.UTF-8 TZ=UTC

seconds=300
while getopts "t:" option; do
  case $option in
    t) seconds=$OPTARG ;;
    *) sed -n '2,15p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

bash scripts/fuzz-build.sh build-fuzz >/dev/null
list=build-fuzz/fuzz-targets.txt
mapfile -t wanted < <(if [ $# -gt 0 ]; then printf '%s\n' "$@"; else cut -d' ' -f1 "$list"; fi)

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
artifacts=fuzz-artifacts
mkdir -p "$artifacts"
failed=0
summary=()
for target in "${wanted[@]}"; do
  name="" && read -r name binary corpus max_len < <(awk -v t="$target" '$1 == t' "$list") || true
  if [ -z "$name" ]; then
    echo "fuzz-corpus: no fuzz target $target" >&2
    exit 2
  fi
  mkdir -p "$corpus"
  before="$(find "$corpus" -type f | wc -l) files"
  rm -f "$artifacts/$name"-*
  line=$(bash scripts/fuzz-run.sh "$binary" "$seconds" "$scratch/$name" "$corpus" \
    "$artifacts/$name-" -max_len="$max_len" | tail -n 1) || failed=1
  for input in "$artifacts/$name"-*; do
    [ -e "$input" ] || continue
    echo "fuzz-corpus: $name failed on $input; kept in $corpus" >&2
    cp "$input" "$corpus/$(basename "$input" | sed "s/^$name-//")"
    failed=1
  done
  "$binary" -merge=1 -max_len="$max_len" "$corpus" "$scratch/$name" >"$scratch/$name.merge.log" 2>&1 ||
    { cat "$scratch/$name.merge.log" >&2; failed=1; }
  after="$(find "$corpus" -type f | wc -l) files, $(du -sk "$corpus" | cut -f1) KB"
  summary+=("$line; corpus $before -> $after")
  echo "${summary[-1]}"
done

echo "== fuzz corpus summary ($seconds s per target) =="
printf '%s\n' "${summary[@]}"
exit $failed
