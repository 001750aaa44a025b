#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test Orvo Tapmeter.
# Skips apt-get entirely when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-multimedia-dev qt6-serialport-dev libgl-dev
  libsndfile1-dev libsoxr-dev libpulse-dev
  sox
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool
  dbus at-spi2-core libglib2.0-bin
  dpkg-dev file lintian desktop-file-utils appstream librsvg2-bin man-db
  pulseaudio pulseaudio-utils
  pipewire pipewire-bin pipewire-pulse wireplumber dbus-daemon
  time
)
[ "${1:-}" = "--dev" ] && packages+=(clang libclang-rt-14-dev multimon-ng)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
