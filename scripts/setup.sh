#!/usr/bin/env bash
# Installs, through apt-get, whatever building, testing and running Quorvane needs
# and is not installed yet. Safe to run again: it does nothing when all is there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config file dpkg-dev
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools libgl1-mesa-dev
  libsqlite3-dev sqlite3
  mdbtools-dev libglib2.0-dev
  fonts-noto-cjk
  xvfb xauth xdotool imagemagick poppler-utils
  appstream desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
