#!/usr/bin/env bash
# Installs what Rimbrel needs, builds it, installs the plug-in into ~/.vst and runs the demo.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
mkdir -p "$HOME/.vst"
install -m 0755 build/plugin/Rimbrel.so "$HOME/.vst/Rimbrel.so"
echo "Installed $HOME/.vst/Rimbrel.so"
scripts/demo.sh build
