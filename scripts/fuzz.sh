#!/usr/bin/env bash
# Runs every fuzz_* binary of a build tree for a number of seconds each, one after the
# other, one process each. A target starts from its committed corpus
# (tests/fuzz/corpus/<name>) and the inputs of the crashes fixed so far
# (tests/fuzz/regressions/<name>), and grows a scratch copy of the corpus under
# BUILD_DIR/fuzz-corpus/<name>. Prints each target's executions, executions per second,
# coverage and any crash it found; exits non-zero when one crashed.
# Names after SECONDS run only those targets (fuzz_repair_texts, fuzz_log_loader...).
#   scripts/fuzz.sh BUILD_DIR SECONDS [TARGET...]
# SECONDS 0 sets no time limit. Environment:
#   FUZZ_RUNS=N        stop after N executions (as well as after SECONDS)
#   FUZZ_MERGE=1       afterwards, minimize the committed corpus and the scratch copy into
#                      the committed corpus: a small set of inputs that together cover
#                      every feature the two cover (libFuzzer's set-cover merge)
set -uo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 BUILD_DIR SECONDS [TARGET...]" >&2
  exit 2
fi
build=$1
seconds=$2
shift 2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
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
limits=(-max_total_time="$seconds")
[ -n "${FUZZ_RUNS:-}" ] && limits+=(-runs="$FUZZ_RUNS")
for target in "${targets[@]}"; do
  name=$(basename "$target")
  committed="$source_dir/tests/fuzz/corpus/$name"
  regressions="$source_dir/tests/fuzz/regressions/$name"
  corpus="$build/fuzz-corpus/$name"
  artifacts="$build/fuzz-artifacts/$name/"
  mkdir -p "$corpus" "$artifacts"
  # New inputs go to the first folder only: the committed ones are read, never written.
  folders=("$corpus")
  [ -d "$committed" ] && folders+=("$committed")
  [ -d "$regressions" ] && folders+=("$regressions")
  log="$build/fuzz-artifacts/$name.log"
  "$target" "${limits[@]}" -print_final_stats=1 -artifact_prefix="$artifacts" \
    "${folders[@]}" >"$log" 2>&1
  rc=$?
  runs=$(grep -m1 -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$')
  speed=$(grep -m1 -oE 'stat::average_exec_per_sec: *[0-9]+' "$log" | grep -oE '[0-9]+$')
  # The last status line: "cov: N ft: M corp: K/..." (edges, features, corpus entries).
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' "$log" | tail -1)
  if [ $rc -eq 0 ]; then
    echo "$name: ${runs:-?} executions, ${speed:-?}/s, ${cov:-no coverage line}, no crash"
  else
    status=1
    echo "$name: CRASH (exit $rc) after ${runs:-?} executions; log $log"
    grep -E 'ERROR: |SUMMARY: |Test unit written to' "$log" | head -5
    continue
  fi
  if [ "${FUZZ_MERGE:-0}" = 1 ]; then
    merged="$build/fuzz-merged/$name"
    rm -rf "$merged"
    mkdir -p "$merged" "$committed"
    if "$target" -set_cover_merge=1 "$merged" "$committed" "$corpus" >"$log.merge" 2>&1; then
      rm -f "$committed"/*
      cp "$merged"/* "$committed"/
      echo "$name: committed corpus minimized to $(ls "$committed" | wc -l) inputs"
    else
      status=1
      echo "$name: merge failed; log $log.merge"
    fi
  fi
done
exit $status
