#!/usr/bin/env bash
# The Windows programs against the Linux build, on the same sound files:
# kits built by rimbrel-kit.exe (from WAV, AIFF and FLAC files, names with
# accents among them) byte for byte as rimbrel-kit's; OGG, MP3 and 48 kHz
# files loaded; and a render of Rimbrel.dll through rimbrel-host.exe equal
# to Rimbrel.so's within float rounding. Skipped (77) without the Linux build.
#   compare_with_linux.sh LINUX_BUILD rimbrel-kit.exe rimbrel-host.exe Rimbrel.dll
set -euo pipefail
linux=$1 kit_exe=$2 host_exe=$3 dll=$4
wine=$(cd "$(dirname "$0")/../../scripts" && pwd)/wine-run.sh
for f in tools/rimbrel-kit/rimbrel-kit tools/rimbrel-host/rimbrel-host tools/rimbrel-drums/rimbrel-drums plugin/Rimbrel.so; do
  if [ ! -x "$linux/$f" ]; then
    echo "the Linux build has no $f: build it first (cmake --build build)"
    exit 77
  fi
done
command -v sox >/dev/null || { echo "sox is missing"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$linux/tools/rimbrel-drums/rimbrel-drums" drums >/dev/null
mkdir s
names=()
i=0
for f in drums/*.wav; do
  case $i in
    0) name="kick é.wav"; cp "$f" "s/$name" ;;
    1) name="snare.aif"; sox "$f" -b 24 "s/$name" ;;
    2) name="hat.flac"; sox "$f" "s/$name" ;;
    3) name="clap ñ.aiff"; sox "$f" "s/$name" ;;
    *) name=$(basename "$f"); cp "$f" "s/$name" ;;
  esac
  names+=("s/$name")
  i=$((i + 1))
done
failed=0

# Equal bytes but for the Field kit's time of writing ("mtime").
same_bytes() {
  python3 - "$1" "$2" <<'PY'
import re, sys
a, b = (re.sub(rb'"mtime":[0-9.]+', b'"mtime":0', open(p, "rb").read()) for p in sys.argv[1:3])
sys.exit(0 if a == b else 1)
PY
}

same_kit() {  # label, arguments after the files
  local label=$1
  shift
  "$linux/tools/rimbrel-kit/rimbrel-kit" build "${names[@]}" -o "linux-$label.aif" "$@" >/dev/null
  "$wine" "$kit_exe" build "${names[@]}" -o "windows-$label.aif" "$@" >/dev/null
  if same_bytes "linux-$label.aif" "windows-$label.aif"; then
    echo "kit $label: identical ($(stat -c %s "windows-$label.aif") bytes)"
  else
    echo "kit $label: the Windows kit differs from the Linux one"
    failed=1
  fi
}
same_kit op1 --pitch 0=-3 --mode 1=loop --reverse 2 --volume 3=-6
same_kit field --target field --pan 0=-50

# One file per key, written under a name with an accent.
"$linux/tools/rimbrel-kit/rimbrel-kit" split "${names[@]:0:3}" -o "linux-ké.aif" >/dev/null
"$wine" "$kit_exe" split "${names[@]:0:3}" -o "windows-ké.aif" >/dev/null
for n in 01 02 03; do
  if ! cmp -s "linux-ké_$n.aif" "windows-ké_$n.aif"; then
    echo "split key $n: missing or different on Windows"
    failed=1
  fi
done

# The formats only the system decoder reads, and a file converted from 48 kHz.
sox "${names[0]}" s/kick.ogg
sox "${names[1]}" s/snare.mp3
sox "${names[2]}" -r 48000 s/hat48.wav
if "$wine" "$kit_exe" build s/kick.ogg s/snare.mp3 s/hat48.wav -o other.aif | grep -q "3 keys"; then
  echo "kit from OGG, MP3 and 48 kHz files: 3 keys"
else
  echo "OGG, MP3 or 48 kHz files did not load on Windows"
  failed=1
fi

# A render: the input passed through, notes on the (empty) keys, at 48 kHz.
args=(--input "${names[0]}" --rate 48000 --block 256 --note 100:53:2000 --note 5000:60)
"$linux/tools/rimbrel-host/rimbrel-host" render "$linux/plugin/Rimbrel.so" -o linux.wav "${args[@]}" >/dev/null
"$wine" "$host_exe" render "$dll" -o windows.wav "${args[@]}" >/dev/null
python3 - linux.wav windows.wav <<'PY' || failed=1
import struct, sys
def floats(path):
    data = open(path, "rb").read()
    pos, frames = 12, None
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        if tag == b"data":
            body = data[pos + 8:pos + 8 + size]
            return struct.unpack("<%df" % (len(body) // 4), body)
        pos += 8 + size + (size & 1)
    sys.exit(path + ": no data chunk")
a, b = floats(sys.argv[1]), floats(sys.argv[2])
if len(a) != len(b) or not a:
    sys.exit("render: %d samples on Linux, %d on Windows" % (len(a), len(b)))
largest = max(abs(x - y) for x, y in zip(a, b))
print("render: %d samples, largest difference %.3g" % (len(a), largest))
sys.exit(0 if largest <= 1e-6 else 1)
PY
exit $failed
