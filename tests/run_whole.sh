#!/usr/bin/env bash
# Runs every native test binary as one process, in shuffled order, once. ctest starts a
# process per test, which hides state that one test leaves for the next; this run does not.
# Usage: tests/run_whole.sh [BUILD_DIR]   (default build/native)
set -u
BUILD=${1:-build/native}
failed=0
ran=0
for binary in "$BUILD"/tests/*_tests; do
  [[ -x $binary ]] || continue
  ran=$((ran + 1))
  if ! "$binary" --gtest_shuffle --gtest_brief=1 >"$binary.whole.log" 2>&1; then
    echo "whole run failed: $binary (see $binary.whole.log)" >&2
    grep -E '^\[  FAILED  \]' "$binary.whole.log" >&2
    failed=$((failed + 1))
  fi
done
if [[ $ran -eq 0 ]]; then
  echo "no test binaries under $BUILD/tests" >&2
  exit 1
fi
echo "whole-binary runs: $((ran - failed)) of $ran binaries passed, shuffled"
exit $((failed > 0))
