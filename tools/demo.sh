#!/usr/bin/env bash
# The main job: installs what is missing, builds, then prints the bundled sample document through the
# driver in a fresh simulated machine into a job stream, and decodes that stream back into pictures;
# then presses the scan button on a fresh simulated machine and lists the files the scan saved, with
# the first page as a picture; then sets up the simulated printer's wireless connection with the
# set-up wizard on another fresh machine and prints the outcome, with a picture of each page; last it
# installs the product on a fresh machine, prints the sample through the product's printer, removes
# the product with the uninstaller as a person would (delete all, Finish, OK to the restart question)
# and prints what the removal took and what stayed.
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

# The uninstaller: the product laid down as its installer would, then removed by a person's answers.
pc="$out/setup-machine"
"$dir/bin/product-install" --machine "$pc" --scan-tool-text "Scan application software"  # as in English
"$dir/bin/rastrel-print" -q --machine "$pc" --printer "Zandrel M2100" -o "$out/setup-sample.prn" \
    "$here/rastrel-print/samples/sample.page"
echo "The product is installed on $pc; the sample went through its printer \"Zandrel M2100\" into" \
     "$out/setup-sample.prn."
"$dir/bin/machine-snapshot" --machine "$pc" > "$out/setup-before.txt"
mkdir -p "$pc/dialogs"
echo "dismissdialogs=60000" >> "$pc/machine.ini"   # a box nobody expected ends instead of waiting
printf 'press 135 1\npress 137 1\nbox 1\n' > "$pc/dialogs/answers"   # delete all, Finish, OK: restart
PLATFORM_MACHINE="$pc" PLATFORM_PROGRAM='C:\Windows\System32\spool\drivers\x64\setup.exe' "$dir/bin/setup"
"$dir/bin/machine-snapshot" --machine "$pc" > "$out/setup-after.txt"
diff "$out/setup-before.txt" "$out/setup-after.txt" > "$out/setup-removal.diff" || true
echo "The uninstaller took $(grep -c '^<' "$out/setup-removal.diff" || true) lines of the machine's" \
     "snapshot away (all in $out/setup-removal.diff) and added:"
grep '^>' "$out/setup-removal.diff" | sed 's/^> /  /' || true
echo "Of the product, these stayed:"
LC_ALL=C comm -12 "$out/setup-before.txt" "$out/setup-after.txt" | grep -iE 'zandrel|\\zd|\\setup\.exe|SetupCFG' |
    cut -c1-160 | sed 's/^/  /' || true
echo "The person's answers, as the machine journalled them (answer, box title):"
cut -f3-4 "$pc/dialogs/answered" | sed 's/^/  /'
echo "The restart asked for (process, ExitWindowsEx flags, reason): $(cat "$pc/system/shutdowns" 2>/dev/null)"
echo "The batch started to delete the program once it has ended (not run here):"
grep DelSelf "$pc/shell/actions" | cut -f1-4 | sed 's/^/  /' || true
