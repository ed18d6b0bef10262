#!/usr/bin/env bash
# Configures and builds one configuration: build.sh [release|sanitize]. Prints the build folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
kind=${1:-release}
case "$kind" in
  release) dir="$root/build"; flags=() ;;
  sanitize) dir="$root/build-asan"; flags=(-DMFP_SANITIZE=ON -DMFP_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug) ;;
  *) echo "usage: build.sh [release|sanitize]" >&2; exit 2 ;;
esac
cmake -S "$root" -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir" --parallel "$(nproc)" >&2
echo "$dir"
