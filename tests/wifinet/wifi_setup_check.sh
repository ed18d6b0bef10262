#!/bin/sh
# Runs wifi-setup on a fresh machine: outcome 0 (joined and reachable) and four pictures that pngcheck
# accepts. Skips (77) when the tool can make no network namespace.
tool="$1"
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
"$tool" --machine "$work/machine" --png "$work/pages" >"$work/out" 2>&1
status=$?
cat "$work/out"
if grep -q '^Without the network side' "$work/out"; then exit 77; fi
[ "$status" -eq 0 ] || { echo "wifi-setup ended with $status"; exit 1; }
grep -q '^Outcome 0: ' "$work/out" || { echo "not outcome 0"; exit 1; }
count=0
for picture in "$work"/pages/page*.png; do
  pngcheck -q "$picture" || exit 1
  count=$((count + 1))
done
[ "$count" -eq 4 ] || { echo "$count pictures, not 4"; exit 1; }
