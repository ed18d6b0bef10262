#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/, clang with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs one or all of them on their corpus: fuzz.sh [TARGET|all] [SECONDS] (default: all, 60 s each).
# A target fails on a crash, a sanitizer report, a leak, an input that takes more than 10 s or more than
# 256 MiB; the input that did it is kept and printed (path and base64) so that it can be replayed:
#   build-fuzz/bin/fuzz-TARGET FILE
# The committed corpus is only read: what a run adds goes to build-fuzz/runs/TARGET/corpus.
# FUZZ_PARALLEL targets run at once (default 4); FUZZ_JOBS build jobs (default: the processors).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:-all}
seconds=${2:-60}
parallel=${FUZZ_PARALLEL:-4}
dir="$root/build-fuzz"

if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: fuzz.sh [TARGET|all] [SECONDS]" >&2
  exit 2
fi

"$root/tools/setup/deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DMFP_FUZZ=ON -DMFP_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" --target fuzz_targets --parallel "${FUZZ_JOBS:-$(nproc)}" >&2

targets=()
for corpus in "$root"/fuzz/corpus/*/; do
  name=$(basename "$corpus")
  [ "$target" = all ] || [ "$target" = "$name" ] || continue
  targets+=("$name")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz.sh: no target named $target (see fuzz/corpus/)" >&2
  exit 2
fi

# The memory limit is for what an input makes a reader hold: the sanitizer's quarantine of freed
# blocks, which alone may grow to 256 MiB, is kept small so that it does not count against it.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:quarantine_size_mb=16${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# One target for the given time; its log and what it found land in build-fuzz/runs/NAME/.
run() {
  local name=$1 runs="$dir/runs/$1"
  rm -rf "$runs"
  mkdir -p "$runs/corpus" "$runs/found"
  local options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=256 -malloc_limit_mb=256
                 -print_final_stats=1 -artifact_prefix="$runs/found/")
  [ -f "$root/fuzz/dict/$name.dict" ] && options+=(-dict="$root/fuzz/dict/$name.dict")
  "$dir/bin/fuzz-$name" "${options[@]}" "$runs/corpus" "$root/fuzz/corpus/$name" >"$runs/log" 2>&1
}

status=0
report() {
  local name=$1 code=$2 runs="$dir/runs/$1" found
  found=$(find "$runs/found" -type f | sort)
  if [ "$code" -eq 0 ] && [ -z "$found" ] && ! grep -qE 'ERROR: (Address|Leak|UndefinedBehavior)Sanitizer|runtime error:' "$runs/log"; then
    echo "$name: clean ($(grep -E '^#[0-9]+.*DONE' "$runs/log" | sed -E 's/.*(cov: [0-9]+).*(exec\/s: [0-9]+).*/\1 \2/'))"
    return
  fi
  status=1
  echo "$name: FAILED (exit $code); its log, $runs/log, ends:"
  tail -n 60 "$runs/log"
  for file in $found; do
    echo "reproducer: $file"
    echo "  replay: $dir/bin/fuzz-$name $file"
    echo "  base64: $(base64 -w0 "$file")"
  done
}

echo "== fuzz: ${#targets[@]} target(s), ${seconds} s each, ${parallel} at once"
declare -A names=()
pending=("${targets[@]}")
while [ ${#pending[@]} -gt 0 ] || [ ${#names[@]} -gt 0 ]; do
  while [ ${#pending[@]} -gt 0 ] && [ ${#names[@]} -lt "$parallel" ]; do
    run "${pending[0]}" &
    names[$!]=${pending[0]}
    pending=("${pending[@]:1}")
  done
  code=0
  wait -n -p finished || code=$?
  report "${names[$finished]}" "$code"
  unset "names[$finished]"
done
[ $status -eq 0 ] && echo "fuzz: every target ran clean"
exit $status
