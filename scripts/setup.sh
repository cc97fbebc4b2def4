#!/usr/bin/env bash
# Installs every package the project builds, runs and tests with (Debian 12, as root).
# Safe to run again: apt-get installs only what is missing.
set -euo pipefail
packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    zlib1g-dev libdeflate-dev
    libgtest-dev
    lhasa p7zip-full unzip zip python3 jlha-utils libarchive-tools unar
    xvfb xauth xdotool openbox fonts-ipafont desktop-file-utils
    time strace
    qt6-wayland qt6-translations-l10n librsvg2-bin
    appstream libxml2-utils shared-mime-info libglib2.0-bin man-db
    dbus python3-dbus python3-gi dpkg-dev file weston
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq "${missing[@]}"
fi
