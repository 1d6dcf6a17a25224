#!/usr/bin/env bash
# Installs what Rimbrel needs, builds it, installs the plug-in into ~/.vst and runs the demo.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
mkdir -p "$HOME/.vst"
install -m 0755 build/plugin/Rimbrel.so "$HOME/.vst/Rimbrel.so"
scripts/demo.sh build
cat <<DONE

Rimbrel is installed as $HOME/.vst/Rimbrel.so.
Rescan plug-ins in your DAW, put Rimbrel on a MIDI track and open its window
(the plug-in's editor) to drop sound files or a folder on it; notes 53..76
on MIDI channel 1 play the keys. Without a DAW, open the window with:
  build/tools/rimbrel-host/rimbrel-host editor $HOME/.vst/Rimbrel.so --seconds 60
DONE
