#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time from a scratch working corpus and prints one
# summary line:
#
#   fuzz_ini: cov 329 edges, 1234567 executions (30864/s), 12 new units, 30 s, ok
#
# Usage: fuzz-run.sh BINARY SECONDS WORK_DIR SEED_DIR ARTIFACT_PREFIX [libFuzzer flags...]
#
# WORK_DIR is emptied first; the run adds what it finds there and only reads SEED_DIR. The whole
# libFuzzer output goes to WORK_DIR.log and is shown when the run fails; the summary line also
# goes to WORK_DIR.summary. The exit code is the fuzzer's (non-zero after a crash, a leak, a
# sanitizer report or a timeout; the input that caused it lands at ARTIFACT_PREFIX).
set -uo pipefail

if [ $# -lt 5 ]; then
  echo "usage: $0 BINARY SECONDS WORK_DIR SEED_DIR ARTIFACT_PREFIX [libFuzzer flags...]" >&2
  exit 2
fi
binary=$1 seconds=$2 work=$3 seeds=$4 artifacts=$5
shift 5
name=$(basename "$binary")
log="$work.log"

rm -rf "$work"
mkdir -p "$work" "$(dirname "$artifacts")"
# The targets that go through files (job files, settings) write them to the temporary folder and
# sync them; on a disk that costs far more than the code under test, so they get a memory-backed
# one when there is one.
scratch=$(mktemp -d "$( [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/kovra-fuzz.XXXXXX")
TMPDIR=$scratch "$binary" -max_total_time="$seconds" -print_final_stats=1 -timeout=25 \
  -artifact_prefix="$artifacts" "$@" "$work" "$seeds" >"$log" 2>&1
status=$?
rm -rf "$scratch"

# libFuzzer reports progress as "#<units> <event> cov: <edges> ft: ..." and, with
# -print_final_stats, ends with "stat::<name>: <value>" lines.
stat() { sed -n "s/^stat::$1: *\([0-9]*\).*/\1/p" "$log" | tail -n 1; }
edges=$(grep -o ' cov: [0-9]*' "$log" | tail -n 1 | tr -dc '0-9')
runs=$(stat number_of_executed_units)
rate=$(stat average_exec_per_sec)
added=$(stat new_units_added)
result=ok
if [ $status -ne 0 ]; then
  result="FAILED (exit $status)"
  cat "$log" >&2
fi
summary="$name: cov ${edges:-?} edges, ${runs:-?} executions (${rate:-?}/s), ${added:-?} new units, $seconds s, $result"
echo "$summary" | tee "$work.summary"
exit $status
