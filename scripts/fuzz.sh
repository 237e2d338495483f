#!/usr/bin/env bash
# Runs every fuzz_* binary of a build tree for a number of seconds each, one after the
# other, keeping a corpus per target under BUILD_DIR/fuzz-corpus/<name>. Prints each
# target's executions, coverage and any crash it found; exits non-zero when one crashed.
# Names after SECONDS run only those targets (fuzz_repair_texts, fuzz_log_loader...).
#   scripts/fuzz.sh BUILD_DIR SECONDS [TARGET...]
set -uo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 BUILD_DIR SECONDS [TARGET...]" >&2
  exit 2
fi
build=$1
seconds=$2
shift 2
status=0
mapfile -t targets < <(find "$build" -maxdepth 3 -type f -name 'fuzz_*' -perm -u+x | sort)
if [ $# -gt 0 ]; then
  wanted=" $* "
  chosen=()
  for target in "${targets[@]}"; do
    [[ $wanted == *" $(basename "$target") "* ]] && chosen+=("$target")
  done
  targets=("${chosen[@]}")
fi
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
  # The last status line: "cov: N ft: M corp: K/..." (edges, features, corpus entries).
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' "$log" | tail -1)
  if [ $rc -eq 0 ]; then
    echo "$name: ${runs:-?} executions, ${cov:-no coverage line}, no crash"
  else
    status=1
    echo "$name: CRASH (exit $rc) after ${runs:-?} executions; log $log"
    grep -E 'ERROR: |SUMMARY: |Test unit written to' "$log" | head -5
  fi
done
exit $status
