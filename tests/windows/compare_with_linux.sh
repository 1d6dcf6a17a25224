#!/usr/bin/env bash
# The Windows programs against the Linux build, on the same sound files:
# kits built by rimbrel-kit.exe (from WAV, AIFF and FLAC files, names with
# accents among them) byte for byte as rimbrel-kit's; OGG, MP3 and 48 kHz
# files loaded; renders of a filled kit's state (a Field kit with a stereo
# key panned, and pitched keys) through rimbrel-host.exe and Rimbrel.dll equal
# to Rimbrel.so's within float rounding and not silent; and a state saved by
# the Windows build plays alike on Linux. Skipped (77) without the Linux build.
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

# Renders of a filled kit. Its state is written here in the layout of the
# kit's saved state, each key's audio a FLAC stream made by sox, and handed
# once through Rimbrel.so, whose own state of that kit both builds then load:
# a Field kit with a plain mono key, a stereo key panned left, and a mono and
# a stereo key pitched.
sox "${names[0]}" -b 24 key0.flac
sox -M "${names[0]}" "${names[2]}" -b 24 key1.flac
sox "${names[1]}" -b 24 key2.flac
sox -M "${names[2]}" "${names[0]}" -b 24 key3.flac
python3 - seed.state <<'PY'
import struct, subprocess, sys
def key(index, path, pitch=0, pan=0.0, volume=1.0):
    audio = open(path, "rb").read()
    frames = int(subprocess.check_output(["soxi", "-s", path]))
    channels = int(subprocess.check_output(["soxi", "-c", path]))
    name = path.encode()
    body = struct.pack("<IiiBffI", index, pitch, 1, 0, volume, pan, len(name)) + name
    body += struct.pack("<III", frames, channels, len(audio)) + audio
    return b"KEY " + struct.pack("<I", len(body)) + body
records = b"KITH" + struct.pack("<II", 4, 1)
records += key(0, "key0.flac") + key(1, "key1.flac", pan=-0.5, volume=0.7)
records += key(2, "key2.flac", pitch=-5) + key(3, "key3.flac", pitch=7, pan=0.3)
open(sys.argv[1], "wb").write(b"RbKs" + struct.pack("<HHI", 1, 0, len(records)) + records)
PY
linux_host() { "$linux/tools/rimbrel-host/rimbrel-host" render "$linux/plugin/Rimbrel.so" "$@"; }
refused() {  # a state the plug-in refused says so on standard error
  if grep "kit state refused" "$1"; then failed=1; fi
}
linux_host -o seed.wav --frames 1 --load-state seed.state --save-state kit.state >/dev/null 2>seed.log || failed=1
refused seed.log

# Equal within float rounding and not silent: prints the peak and the largest
# difference.
same_render() {  # label, Linux render, Windows render
  python3 - "$@" <<'PY' || failed=1
import struct, sys
def floats(path):
    data = open(path, "rb").read()
    pos = 12
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        if tag == b"data":
            body = data[pos + 8:pos + 8 + size]
            return struct.unpack("<%df" % (len(body) // 4), body)
        pos += 8 + size + (size & 1)
    sys.exit(path + ": no data chunk")
label, a, b = sys.argv[1], floats(sys.argv[2]), floats(sys.argv[3])
if len(a) != len(b) or not a:
    sys.exit("%s: %d samples on Linux, %d on Windows" % (label, len(a), len(b)))
largest = max(abs(x - y) for x, y in zip(a, b))
peak = max(abs(x) for x in a)
print("%s: %d samples, peak %.3g, largest difference %.3g" % (label, len(a), peak, largest))
sys.exit(0 if largest <= 1e-6 and peak >= 0.01 else 1)
PY
}

# Every key at the plug-in's own rate (plain and pitched reading), and again
# at 48 kHz with the input passed through; the Windows build hands its state
# over after the first.
notes=(--note 100:53:20000 --note 4000:54:20000 --note 8000:55:30000 --note 12000:56:20000)
at44=(--rate 44100 --block 512 --frames 60000 "${notes[@]}")
at48=(--input "${names[0]}" --rate 48000 --block 256 "${notes[@]}")
linux_host -o linux44.wav "${at44[@]}" --load-state kit.state >/dev/null 2>linux.log || failed=1
linux_host -o linux48.wav "${at48[@]}" --load-state kit.state >/dev/null 2>>linux.log || failed=1
"$wine" "$host_exe" render "$dll" -o windows44.wav "${at44[@]}" --load-state kit.state \
  --save-state windows.state >/dev/null 2>windows.log || failed=1
"$wine" "$host_exe" render "$dll" -o windows48.wav "${at48[@]}" --load-state kit.state \
  >/dev/null 2>>windows.log || failed=1
refused linux.log
refused windows.log
same_render "filled kit at 44.1 kHz" linux44.wav windows44.wav
same_render "filled kit at 48 kHz" linux48.wav windows48.wav

# The state the Windows build saved (its own FLAC streams) plays alike on Linux.
linux_host -o from-windows.wav "${at44[@]}" --load-state windows.state >/dev/null 2>from-windows.log || failed=1
refused from-windows.log
same_render "the Windows state on Linux" linux44.wav from-windows.wav
# So does the state the Windows editor hands over after being handed one
# (its window needs a display).
if [ -n "${DISPLAY:-}" ]; then
  "$wine" "$host_exe" editor "$dll" --seconds 0.5 --load-state kit.state --save-state editor.state \
    >/dev/null 2>editor.log || failed=1
  refused editor.log
  linux_host -o from-editor.wav "${at44[@]}" --load-state editor.state >/dev/null 2>>editor.log || failed=1
  same_render "the Windows editor's state on Linux" linux44.wav from-editor.wav
fi
if cmp -s kit.state windows.state; then
  echo "the Windows state: byte for byte the Linux one ($(stat -c %s kit.state) bytes)"
else
  echo "the Windows state: $(stat -c %s windows.state) bytes, the Linux one $(stat -c %s kit.state)"
fi
exit $failed
