#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demo need.
set -euo pipefail
packages=(
  cmake g++ make pkg-config clang-14 libclang-rt-14-dev python3
  libsndfile1-dev libsoxr-dev libcairo2-dev libx11-dev libxcursor-dev libfontconfig-dev
  googletest libgtest-dev libbenchmark-dev nlohmann-json3-dev
  xvfb xauth xdotool x11-utils zenity fonts-liberation
  libxres-dev
  sox libsox-fmt-all valgrind imagemagick
  python3-gi gir1.2-gtk-3.0 python3-pyqt5 python3-xlib
  ardour openbox
  clang
  clang-format
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
