#!/usr/bin/env bash
# Grows the fuzz corpora in tests/fuzz/corpus/<target>, so that the short runs of scripts/test.sh
# start from what longer runs found. Each target runs SECONDS seconds from a scratch working
# corpus seeded by its corpus folder. Then libFuzzer's -merge=1 (edges only, -use_counters=0)
# picks from the old corpus and the new inputs a small set that reaches every edge either
# reached, and that set replaces the folder's generated files (named by their SHA-1). Files with
# other names stay as they are: the hand-written seeds, and the inputs that made a target fail
# (crash-..., leak-..., timeout-..., oom-...), which the script copies into the corpus so that
# they stay as regressions once the fault is fixed; after such a failure it exits with 1.
#
# Usage: scripts/fuzz-corpus.sh [-t SECONDS] [TARGET...]
#   -t SECONDS  time per target (default 300); 0 only merges the corpus anew
#   TARGET      fuzz target names (default: every target, see build-fuzz/fuzz-targets.txt)
#
# Builds build-fuzz first (scripts/fuzz-build.sh). Prints one line per target with the edges
# covered and the executions, and the corpus size before and after. Review and commit the
# corpus folders; each target's -max_len caps its inputs.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C.UTF-8 TZ=UTC

seconds=300
while getopts "t:" option; do
  case $option in
    t) seconds=$OPTARG ;;
    *) sed -n '2,17p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

bash scripts/fuzz-build.sh build-fuzz >/dev/null
list=build-fuzz/fuzz-targets.txt
mapfile -t wanted < <(if [ $# -gt 0 ]; then printf '%s\n' "$@"; else cut -d' ' -f1 "$list"; fi)

# The symbolizer by its full path, as the test command sets it (scripts/test-tools.sh): reports
# then name functions even where only the versioned llvm-symbolizer is installed.
symbolizer=/usr/lib/llvm-$(clang -dumpversion | cut -d. -f1)/bin/llvm-symbolizer
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:external_symbolizer_path=$symbolizer
export UBSAN_OPTIONS=print_stacktrace=1:external_symbolizer_path=$symbolizer
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
artifacts=fuzz-artifacts
mkdir -p "$artifacts"
generated='^[0-9a-f]{40}$'
size() { echo "$(find "$1" -type f | wc -l) files, $(find "$1" -type f -exec cat {} + | wc -c) bytes"; }
failed=0
summary=()
for target in "${wanted[@]}"; do
  name="" && read -r name binary corpus max_len < <(awk -v t="$target" '$1 == t' "$list") || true
  if [ -z "$name" ]; then
    echo "fuzz-corpus: no fuzz target $target" >&2
    exit 2
  fi
  mkdir -p "$corpus" "$scratch/$name"
  before=$(size "$corpus")
  line="$name: merged only"
  if [ "$seconds" -gt 0 ]; then
    rm -f "$artifacts/$name"-*
    line=$(bash scripts/fuzz-run.sh "$binary" "$seconds" "$scratch/$name" "$corpus" \
      "$artifacts/$name-" -max_len="$max_len" | tail -n 1) || failed=1
    for input in "$artifacts/$name"-*; do
      [ -e "$input" ] || continue
      echo "fuzz-corpus: $name failed on $input; kept in $corpus" >&2
      cp "$input" "$corpus/${input#"$artifacts/$name-"}"
      failed=1
    done
  fi

  # The kept files first, then what of the old and the new inputs adds edges to them.
  merged="$scratch/$name.merged"
  mkdir -p "$merged"
  for file in "$corpus"/*; do
    [ -e "$file" ] || continue
    basename "$file" | grep -qE "$generated" || cp "$file" "$merged/"
  done
  if ! "$binary" -merge=1 -use_counters=0 -max_len="$max_len" "$merged" "$corpus" \
    "$scratch/$name" >"$scratch/$name.merge.log" 2>&1; then
    cat "$scratch/$name.merge.log" >&2
    failed=1
    continue
  fi
  find "$corpus" -maxdepth 1 -type f -regextype egrep -regex ".*/[0-9a-f]{40}" -delete
  for file in "$merged"/*; do
    basename "$file" | grep -qE "$generated" && cp "$file" "$corpus/"
  done
  summary+=("$line; corpus $before -> $(size "$corpus")")
  echo "${summary[-1]}"
done

echo "== fuzz corpus summary ($seconds s per target) =="
printf '%s\n' "${summary[@]}"
exit $failed
