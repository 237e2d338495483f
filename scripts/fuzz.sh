#!/usr/bin/env bash
# Runs every fuzz_* binary of a build tree for a number of seconds each, one after the
# other, keeping a corpus per target under BUILD_DIR/fuzz-corpus/<name>. Prints each
# target's executions and any crash it found; exits non-zero when one crashed.
#   scripts/fuzz.sh BUILD_DIR SECONDS
set -uo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR SECONDS" >&2
  exit 2
fi
build=$1
seconds=$2
status=0
mapfile -t targets < <(find "$build" -maxdepth 3 -type f -name 'fuzz_*' -perm -u+x | sort)
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz_* binaries under $build" >&2
  exit 2
fi
for target in "${targets[@]}"; do
  name=$(basename "$target")
  corpus="$build/fuzz-corpus/$name"
  artifacts="$build/fuzz-artifacts/$name/"
  mkdir -p "$corpus" "$artifacts"
  log="$build/fuzz-artifacts/$name.log"
  "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts" \
    "$corpus" >"$log" 2>&1
  rc=$?
  runs=$(grep -m1 -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$')
  if [ $rc -eq 0 ]; then
    echo "$name: ${runs:-?} executions, no crash"
  else
    status=1
    echo "$name: CRASH (exit $rc) after ${runs:-?} executions; log $log"
    grep -E 'ERROR: |SUMMARY: |Test unit written to' "$log" | head -5
  fi
done
exit $status
