#!/usr/bin/env bash
# Shows the plug-in at work without a DAW: makes a few drum sounds of our
# own, builds an Op-1 kit from them and reads it back, then drops the sounds
# on Rimbrel.so's window in rimbrel-host and records a groove played through
# the plug-in.
# Usage: scripts/demo.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
host="$build/tools/rimbrel-host/rimbrel-host"
kit_tool="$build/tools/rimbrel-kit/rimbrel-kit"
drums="$build/tools/rimbrel-drums/rimbrel-drums"
plugin="$build/plugin/Rimbrel.so"
out=out/demo
sounds="$out/sounds"

for f in "$host" "$kit_tool" "$drums" "$plugin"; do
  [ -e "$f" ] || { echo "demo: $f is missing; build first (./setup.sh)" >&2; exit 1; }
done
rm -rf "$sounds"
mkdir -p "$out"

echo "==== what a host learns about Rimbrel.so ===="
"$host" info "$plugin"

echo
echo "==== drum sounds ===="
# The groove starts one second in, once the drop has filled the keys.
"$drums" "$sounds" --groove "$out/groove.txt" --start 44100 --bpm 120

echo
echo "==== an Op-1 kit from them: rimbrel-kit build ===="
"$kit_tool" build "$sounds" -o "$out/demo-kit.aif"
echo
echo "==== the kit read back: rimbrel-kit inspect ===="
"$kit_tool" inspect "$out/demo-kit.aif"

echo
echo "==== the sounds dropped on Rimbrel's window, the groove played through it ===="
run_editor=()
if [ -n "${DISPLAY:-}" ]; then
  run_editor=()
elif command -v xvfb-run >/dev/null 2>&1; then
  run_editor=(xvfb-run -a -s "-screen 0 1280x1024x24")
else
  echo "No X display and no xvfb-run: the window part is left out."
  echo "The kit is in $out/demo-kit.aif."
  exit 0
fi
# The loader reports every file on stderr; keep that in a log.
"${run_editor[@]}" "$host" editor "$plugin" --seconds 6 \
  --drop "$sounds" --on-key 0 --midi "$out/groove.txt" \
  --record "$out/groove.wav" --screenshot "$out/window.png" 2>"$out/editor.log"
echo "recorded $out/groove.wav, the window as it looked: $out/window.png"
if command -v sox >/dev/null 2>&1; then
  sox -V1 "$out/groove.wav" -n stats 2>&1 | grep -E 'Pk lev dB|RMS lev dB|Length s' || true
fi
