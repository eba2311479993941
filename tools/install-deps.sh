#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Tallyset need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
packages=(
  build-essential cmake pkg-config
  libcairo2-dev libpango1.0-dev libfontconfig-dev libsdl2-dev libical-dev libnotify-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core
  desktop-file-utils
  python3-dateutil python3-icalendar
  g++-mingw-w64-x86-64 mingw-w64-x86-64-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
# The CalDAV round trip test's server, sync engine and peer reader; their
# recommends (a system service, documentation) are not needed.
extra=()
for p in radicale vdirsyncer khal; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || extra+=("$p")
done
if [ ${#extra[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${extra[@]}"
fi
