#!/usr/bin/env bash
# Shows the plug-in at work without a DAW: prints what a host learns about
# Rimbrel.so, then renders a short MIDI phrase through it over a test tone.
# Usage: scripts/demo.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
host="$build/tools/rimbrel-host/rimbrel-host"
plugin="$build/plugin/Rimbrel.so"
out=out/demo
mkdir -p "$out"

for f in "$host" "$plugin"; do
  [ -e "$f" ] || { echo "demo: $f is missing; build first (./setup.sh)" >&2; exit 1; }
done

echo "==== rimbrel-host info $plugin ===="
"$host" info "$plugin"

# A phrase over the kit's two octaves (notes 53..76, MIDI channel 1):
# frame, status, note, velocity. 0x90 is a note-on, 0x80 a note-off.
cat > "$out/phrase.txt" <<'PHRASE'
# frame  status  note  velocity
0        0x90    53    100
11025    0x80    53    0
11025    0x90    57    100
22050    0x80    57    0
22050    0x90    60    100
33075    0x80    60    0
33075    0x90    65    100
44100    0x90    69    100
66150    0x80    65    0
66150    0x80    69    0
66150    0x90    76    100
88200    0x80    76    0
PHRASE

# The input the plug-in passes through: a quiet two-tone chord, or silence
# where sox is missing. With an empty kit (nothing dropped on the window yet)
# the output is exactly this input; once keys hold samples, the phrase plays
# them on top of it.
if command -v sox >/dev/null 2>&1; then
  sox -V1 -n -r 44100 -c 2 -e floating-point -b 32 "$out/input.wav" \
    synth 2.5 sine 220 sine 330 gain -18
  input_args=(--input "$out/input.wav")
else
  input_args=(--frames 110250)
fi

echo
echo "==== rendering the phrase through Rimbrel.so ===="
"$host" render "$plugin" -o "$out/phrase.wav" --rate 44100 --block 512 \
  "${input_args[@]}" --midi "$out/phrase.txt"
echo "wrote $out/phrase.wav"

if command -v sox >/dev/null 2>&1; then
  sox --i "$out/phrase.wav" 2>/dev/null
  sox -V1 "$out/phrase.wav" -n stat 2>&1 | sed -n '1,9p'
  if [ -e "$out/input.wav" ] && sox -V1 -m -v 1 "$out/phrase.wav" -v -1 "$out/input.wav" -n stat 2>&1 \
       | grep -q 'Maximum amplitude: *0.000000'; then
    echo "The kit is empty, so the output equals the input (pass-through)."
  fi
else
  ls -l "$out/phrase.wav"
fi
