#!/usr/bin/env bash
# Installs what building, running and testing Sphaerix needs on Debian 12.
# Idempotent: when everything is present it prints nothing and changes nothing.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev libqt6opengl6-dev qt6-qpa-plugins qt6-image-formats-plugins qt6-wayland
  libgl-dev libegl-dev libx11-dev libgl1-mesa-dri libglx-mesa0
  libturbojpeg0-dev libjpeg62-turbo-dev libpng-dev libdeflate-dev libspng-dev zlib1g-dev
  libgtest-dev libbenchmark-dev
  xvfb xauth openbox xdotool x11-utils weston mutter
  desktop-file-utils appstream
  dbus at-spi2-core python3-pyatspi
  fonts-dejavu-core
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q >/dev/null
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
