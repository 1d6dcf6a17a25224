#!/usr/bin/env bash
# A kit saved in an Ardour 7 session comes back when the session is opened
# again in a fresh process:
#   1. two WAV files are dropped on the plug-in's window in rimbrel-host, and
#      the state it hands over is kept (--save-state);
#   2. a session with the plug-in on a MIDI track is built headless
#      (ardour7-lua, Dummy backend) and that state put in as its chunk, less
#      the records of its empty keys (a state the plug-in reads alike but
#      never writes itself);
#   3. a fresh ardour7-lua opens the session (Ardour hands the chunk to the
#      plug-in) and saves it (Ardour asks for the chunk again);
#   4. the chunk Ardour saved is the plug-in's own state of the kit, byte for
#      byte (so it went through the plug-in), and rimbrel-host renders the
#      same notes from both alike.
#   ardour_state.sh PLUGIN.so RIMBREL_HOST HELPER_FOLDER
# Everything runs with a private HOME and XDG folders. Without DISPLAY a
# private Xvfb is started. Exits 77 (skipped) when Ardour is not installed.
set -u
plugin=$1 host=$2 helpers=$3
python=/usr/bin/python3
scanner=/usr/lib/ardour7/ardour-vst-scanner

command -v ardour7-lua >/dev/null && [ -x "$scanner" ] || { echo "Ardour 7 is not installed"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/rimbrel-ardour-state-XXXXXX")
xvfb=
cleanup() {
  local status=$?
  [ $status -ne 0 ] && [ $status -ne 77 ] && for f in "$work"/*.log; do
    [ -f "$f" ] && { echo "---- $(basename "$f") (last 30 lines)"; tail -n 30 "$f"; }
  done
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
fail() { echo "FAILED: $*"; exit 1; }

# ---- a kit of two dropped files, and its state ----
if [ -z "${DISPLAY:-}" ]; then
  for number in $(seq 90 130); do
    [ -e /tmp/.X$number-lock ] || [ -e /tmp/.X11-unix/X$number ] || break
  done
  Xvfb :$number -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb=$!
  export DISPLAY=:$number
  for _ in $(seq 200); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi
$python - "$work" <<'PY'
import math, struct, sys, wave
for name, freq in (("kick", 60.0), ("snare", 210.0)):
    with wave.open(f"{sys.argv[1]}/{name}.wav", "wb") as w:
        w.setnchannels(1); w.setsampwidth(2); w.setframerate(44100)
        w.writeframes(b"".join(struct.pack("<h", int(12000 * math.sin(i * freq / 7000.0) * math.exp(-i / 8000.0)))
                               for i in range(30000)))
PY
"$host" editor "$plugin" --seconds 1 --drop "$work/kick.wav" "$work/snare.wav" --on-key 2 \
  --save-state "$work/kit.state" >"$work/editor.log" 2>&1 || fail "rimbrel-host could not save the kit"
grep -q "drop accepted" "$work/editor.log" || fail "the drop was refused"

# ---- the plug-in, found by Ardour's own scanner ----
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_CACHE_HOME=$work/home/cache \
  XDG_DATA_HOME=$work/home/data LXVST_PATH=$work/vst
mkdir -p "$XDG_CONFIG_HOME/ardour7" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$LXVST_PATH"
# A cache entry counts only for a plug-in file older than the cache file.
cp "$plugin" "$LXVST_PATH/Rimbrel.so"
touch -d 2000-01-01 "$LXVST_PATH/Rimbrel.so"
LD_LIBRARY_PATH=/usr/lib/ardour7 "$scanner" -f -v "$LXVST_PATH/Rimbrel.so" >"$work/scan.log" 2>&1
unique_id=$(cat "$XDG_CACHE_HOME"/ardour7/vst/*.v2i 2>/dev/null |
  sed -n 's/.*<VST2Info id="\([0-9]*\)" name="Rimbrel".*/\1/p')
[ -n "$unique_id" ] || fail "Ardour's scanner did not list Rimbrel"

# luasession now and then dies inside its own session saving (SIGSEGV in
# Session::save_state): such runs are tried again.
lua_until_saved() {  # LOG SCRIPT ARGS...
  local log=$1
  shift
  for attempt in 1 2 3 4 5; do
    ardour7-lua "$@" >"$log" 2>&1 && grep -qx saved "$log" && return 0
    echo "luasession run $attempt of $(basename "$2") did not save; trying again"
  done
  return 1
}

# ---- the session, with the kit as the plug-in's chunk ----
session=$work/session
rm -rf "$session"
lua_until_saved "$work/build.log" "$helpers/ardour_session.lua" "$session" kit "$unique_id" ||
  fail "no session after 5 attempts"
chunk_of() { # SESSION_FILE OUT: the plug-in's chunk, decoded
  $python - "$1" "$2" <<'PY'
import base64, re, sys
text = open(sys.argv[1], encoding="utf-8").read()
found = re.findall(r"<chunk[^>]*>([^<]*)</chunk>", text)
if len(found) != 1:
    sys.exit(f"{len(found)} chunks in the session")
open(sys.argv[2], "wb").write(base64.b64decode(found[0]))
PY
}
chunk_of "$session/kit.ardour" "$work/empty.state" || fail "Ardour saved no chunk for the plug-in"
$python - "$session/kit.ardour" "$work/kit.state" <<'PY'
import base64, re, struct, sys
path = sys.argv[1]
text = open(path, encoding="utf-8").read()
# "RbKs" u16 major u16 minor u32 size, then records: tag u32 size payload.
# A "KEY " record holds u32 index, i32, i32, u8, f32, f32, u32 name size,
# name, u32 frames...: an empty key has a 0-byte name and 0 frames.
data = open(sys.argv[2], "rb").read()
kept, at = b"", 12
while at < len(data):
    tag, size = data[at:at + 4], struct.unpack_from("<I", data, at + 4)[0]
    record = data[at:at + 8 + size]
    at += 8 + size
    if tag == b"KEY " and struct.unpack_from("<I", record, 8 + 21)[0] == 0 and \
            struct.unpack_from("<I", record, 8 + 25)[0] == 0:
        continue
    kept += record
if kept.count(b"KEY ") != 2:
    sys.exit("the kit should hold two named keys")
state = base64.b64encode(data[:8] + struct.pack("<I", len(kept)) + kept).decode()
open(path, "w", encoding="utf-8").write(re.sub(r"(<chunk[^>]*>)[^<]*(</chunk>)", lambda m: m.group(1) + state + m.group(2), text))
PY

# ---- opened again in a fresh process, and saved ----
lua_until_saved "$work/reopen.log" "$helpers/ardour_reopen.lua" "$session" kit ||
  fail "the session could not be opened and saved again"
grep -q "kit state refused" "$work/reopen.log" && fail "the plug-in refused the chunk Ardour handed it"
chunk_of "$session/kit.ardour" "$work/reopened.state" || fail "no chunk after reopening"
cmp -s "$work/kit.state" "$work/reopened.state" || fail "the chunk saved after reopening is not the plug-in's state of the kit"

# ---- both states play alike ----
notes="--frames 40000 --note 0:55:20000 --note 5000:56"
"$host" render "$plugin" -o "$work/before.wav" $notes --load-state "$work/kit.state" >"$work/render.log" 2>&1 &&
  "$host" render "$plugin" -o "$work/after.wav" $notes --load-state "$work/reopened.state" >>"$work/render.log" 2>&1 ||
  fail "rimbrel-host could not render"
# The samples, not the files: libsndfile's float WAV carries a time stamp.
$python - "$work/before.wav" "$work/after.wav" <<'PY' || fail "the reopened kit plays differently, or not at all"
import struct, sys
def samples(path):
    data = open(path, "rb").read()
    at = data.find(b"data") + 8
    return struct.unpack(f"<{(len(data) - at) // 4}f", data[at:at + (len(data) - at) // 4 * 4])
before, after = samples(sys.argv[1]), samples(sys.argv[2])
sys.exit(0 if before == after and max(abs(s) for s in after) > 0.05 else 1)
PY
echo "the kit came back from the reopened session: $(stat -c %s "$work/kit.state") bytes of state"
