#!/usr/bin/env bash
# The main job: installs what is missing, builds, then prints the bundled sample document through the
# driver in a fresh simulated machine into a job stream, and decodes that stream back into pictures;
# then presses the scan button on a fresh simulated machine and lists the files the scan saved, with
# the first page as a picture; then sets up the simulated printer's wireless connection with the
# set-up wizard on another fresh machine and prints the outcome, with a picture of each page.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/setup/deps.sh"
dir=$("$here/setup/build.sh" release)
out="$dir/demo"
rm -rf "$out"
"$dir/bin/rastrel-print" -o "$out/sample.prn" --png "$out/sheets" "$here/rastrel-print/samples/sample.page"
"$dir/bin/rastrel-dump" "$out/sample.prn" >/dev/null
echo "The job stream is $out/sample.prn; the printer's sheets, decoded, are in $out/sheets/."
"$dir/bin/scan-button" --machine "$out/scan-machine" --png "$out/scan/first-page.png" 116100
"$dir/bin/wifi-setup" --machine "$out/wifi-machine" --png "$out/wifi-pages"
