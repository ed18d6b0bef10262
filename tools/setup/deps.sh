#!/usr/bin/env bash
# Installs from Debian what the build and the tests need and this machine lacks. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libjbig-dev jbigkit-bin libtiff-dev libpugixml-dev libsnmp-dev
  # xmllint checks the uninstaller's configuration queries.
  libxml2-utils
  libjpeg-dev libpng-dev libgif-dev libfreetype-dev fonts-dejavu-core
  libpoppler-cpp-dev libpoppler-private-dev poppler-utils fonts-wqy-microhei
  # Outside readers that check what the writers make (wmf2svg needs the URW fonts).
  netpbm libjpeg-turbo-progs libtiff-tools pngcheck qpdf giflib-tools libwmf-bin emf2svg fonts-urw-base35
  # The plain Linux print chains that bench/document_bench measures rastrel-print against, and the
  # encoder that bench/scan_bench adds to cjpeg and ppm2tiff for the scan-button program's PDFs.
  ghostscript img2pdf
  # The printer's SNMP agent in the network tests, snmpget as their oracle, and ip for the namespace.
  snmpd snmp iproute2
  # The fuzz targets: clang with libFuzzer and the sanitizers' runtimes.
  clang libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"

# Installing snmpd may start the host's own agent; the tests start theirs inside a namespace of their
# own, so none may keep running here.
if printf '%s\n' "${missing[@]}" | grep -qx snmpd; then
  if command -v systemctl >/dev/null && systemctl is-enabled snmpd >/dev/null 2>&1; then
    "${sudo[@]}" systemctl disable --now snmpd || true
  fi
  if command -v service >/dev/null; then "${sudo[@]}" service snmpd stop >/dev/null 2>&1 || true; fi
  if command -v update-rc.d >/dev/null; then "${sudo[@]}" update-rc.d snmpd disable >/dev/null 2>&1 || true; fi
fi
