#!/usr/bin/env bash
# Installs what is missing, builds both configurations (plain, and with the address and undefined
# behaviour sanitizers) and runs every test in each.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/setup/deps.sh"
status=0
for kind in release sanitize; do
  dir=$("$here/setup/build.sh" "$kind")
  echo "== tests: $kind"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$dir" --output-on-failure --parallel "$(nproc)" || status=1
done
exit $status
