#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Runs apt-get only when something is missing; uses sudo when not root.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config   # compiler and build system
  qt6-base-dev qt6-serialport-dev    # Qt Core, Network, Widgets, Test, SerialPort
  libgl-dev                          # Qt6Gui's CMake config looks for OpenGL headers
  zlib1g-dev                         # zlib's crc32 cross-checks our CRC-32
  xvfb xauth x11-apps imagemagick    # window screenshots under a virtual X server
  iproute2 iputils-ping              # network namespaces for the ARP test; the ICMP echo fallback
  binutils gzip                      # readelf and gzip check the stand-in loader images
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -y -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
