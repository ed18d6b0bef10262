#!/usr/bin/env bash
# Installs what is missing, builds both configurations (plain, and with the address and undefined
# behaviour sanitizers) and runs every test in each. The plain build's test programs also run once
# with their tests in a random order, so that a test that depends on another's leftovers shows. Then
# every fuzz target runs briefly on its corpus (tools/fuzz.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/setup/deps.sh"
status=0

# Every test program of a build side by side, each with its tests shuffled; the output of a failing
# one is shown whole (its first lines name the order's random start, with which it can be run again).
shuffled() {
  local dir=$1 logs program name i
  local -a pids=() programs=()
  echo "== tests: release, shuffled"
  logs=$(mktemp -d)
  for program in "$dir"/bin/*_tests; do
    [ -x "$program" ] || continue
    name=$(basename "$program")
    (cd "$dir/tests" && "$program" --gtest_shuffle >"$logs/$name.log" 2>&1) &
    pids+=($!)
    programs+=("$name")
  done
  for i in "${!pids[@]}"; do
    if wait "${pids[$i]}"; then
      echo "${programs[$i]}: passed"
    else
      echo "${programs[$i]}: FAILED in a shuffled order"
      cat "$logs/${programs[$i]}.log"
      status=1
    fi
  done
  rm -rf "$logs"
}

for kind in release sanitize; do
  dir=$("$here/setup/build.sh" "$kind")
  echo "== tests: $kind"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$dir" --output-on-failure --parallel "$(nproc)" || status=1
  if [ "$kind" = release ]; then shuffled "$dir"; fi
done
"$here/fuzz.sh" all 15 || status=1
exit $status
