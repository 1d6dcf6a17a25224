#!/usr/bin/env bash
# Cross-builds the Windows x64 plug-in (Rimbrel.dll), rimbrel-host.exe and
# rimbrel-kit.exe into build-windows/ with mingw-w64, installing what the
# build and its tests under Wine need when missing.
#   scripts/build-windows.sh          configure and build
#   scripts/build-windows.sh --test   then run the Windows suite under Wine
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(
  cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest nlohmann-json3-dev
  wine wine64 fonts-wine fonts-liberation gstreamer1.0-plugins-base gstreamer1.0-plugins-good
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

dir=${RIMBREL_WINDOWS_BUILD_DIR:-build-windows}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "${launcher[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)"

if [ "${1:-}" = "--test" ]; then
  (cd "$dir" && ctest --output-on-failure -j"$(nproc)")
fi
