#!/usr/bin/env bash
# The main job: installs what is missing, builds, then installs the printer in a fresh machine,
# loads the driver as the spooler does and shows what the device reports for a set of settings.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/setup/deps.sh"
dir=$("$here/setup/build.sh" release)
"$dir/bin/rastrel-caps"
