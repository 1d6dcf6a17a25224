#!/usr/bin/env bash
# Rimbrel inside Ardour 7, driven as a user drives it: a session with the
# plug-in on a MIDI track is built headless (ardour7-lua, Dummy backend), the
# GUI opens it with the plug-in's window shown, and under a window manager
#   1. a GTK drag and a Qt drag drop a WAV file each on two keys' names in
#      Ardour's plug-in window: both keys then show their file's name, and
#      the loader's lines on Ardour's standard error name the file and key;
#   2. a plain drag of one key's name onto the other's exchanges the two;
#   3. a drop on Ardour's own toolbar in the same window stays Ardour's;
#   4. Ctrl+Q closes the editor: the drag-and-drop properties of the window
#      and the windows between are again those they had before it opened.
#   ardour_drop.sh PLUGIN.so HELPER_FOLDER
# HELPER_FOLDER holds the drag sources, the pixel reader, the property watch
# and the session script. Everything runs with a private HOME and XDG
# folders; the user's own Ardour configuration is never read. Without
# DISPLAY a private Xvfb is started; without a window manager, openbox.
# Exits 77 (skipped) when Ardour is not installed. RIMBREL_ARDOUR_SCREENSHOT
# names a PNG file for a picture of the plug-in window once the keys are
# filled.
set -u
plugin=$1 helpers=$2
python=/usr/bin/python3
scanner=/usr/lib/ardour7/ardour-vst-scanner
title="Synth: Rimbrel (by Vantrel) [VST]"

command -v ardour >/dev/null && command -v ardour7-lua >/dev/null && [ -x "$scanner" ] ||
  { echo "Ardour 7 is not installed"; exit 77; }
for tool in xdotool xwininfo xprop openbox Xvfb; do
  command -v $tool >/dev/null || { echo "missing: $tool"; exit 1; }
done

now_ms() { echo $((${EPOCHREALTIME/./} / 1000)); }
started=$(now_ms)
work=$(mktemp -d "${TMPDIR:-/tmp}/rimbrel-ardour-XXXXXX")
pids=()
log() {
  local t=$(($(now_ms) - started))
  printf '[%3d.%d s] %s\n' $((t / 1000)) $((t % 1000 / 100)) "$*"
}

# Every process is started in a session of its own and ended with all its
# children, whatever way the script ends.
spawn() {  # LOG COMMAND...: runs COMMAND in the background; its pid in $spawned
  local out=$1
  shift
  setsid "$@" >"$out" 2>&1 &
  spawned=$!
  pids+=("$spawned")
}
stop() {  # PID: ends the process group, politely first
  local pid=$1
  kill -TERM -- -"$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 -- -"$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL -- -"$pid" 2>/dev/null
}
failures=0
fail() {
  log "FAILED: $*"
  failures=$((failures + 1))
  # The screen at the first failure, in the folder the test runs in.
  [ $failures -eq 1 ] && [ -n "${DISPLAY:-}" ] && import -window root "$PWD/ardour_drop_failure.png" 2>/dev/null &&
    log "the screen then: $PWD/ardour_drop_failure.png"
}
cleanup() {
  local status=$?
  if [ $status -ne 0 ] && [ $status -ne 77 ]; then
    for f in "$work"/*.log; do
      [ -f "$f" ] || continue
      echo "---- $(basename "$f") (last 60 lines)"
      grep -av "\[INFO\]" "$f" | tail -n 60
    done
    echo "---- drag-and-drop properties as they changed"
    grep -av '^new \|^gone ' "$work/properties.txt" | tail -n 40
  fi
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    stop "${pids[i]}"
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

until_true() {  # SECONDS COMMAND... (whole seconds): polls COMMAND every 0.1 s until it succeeds
  local end
  end=$(($(now_ms) + ${1%.*} * 1000))
  shift
  until "$@"; do
    [ "$(now_ms)" -gt "$end" ] && return 1
    sleep 0.1
  done
}

# ---- the X server and the window manager ----
if [ -z "${DISPLAY:-}" ]; then
  for number in $(seq 90 130); do
    [ -e /tmp/.X$number-lock ] || [ -e /tmp/.X11-unix/X$number ] || break
  done
  spawn "$work/xvfb.log" Xvfb :$number -screen 0 1280x1024x24 -nolisten tcp -noreset
  export DISPLAY=:$number
  until_true 20 xdpyinfo >/dev/null 2>&1 || { fail "Xvfb did not start"; exit 1; }
fi
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_CACHE_HOME=$work/home/cache \
  XDG_DATA_HOME=$work/home/data LXVST_PATH=$work/vst
mkdir -p "$XDG_CONFIG_HOME/ardour7" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$LXVST_PATH"
window_manager_running() {
  local check
  check=$(xprop -root -notype _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -o '0x[0-9a-f]*')
  [ -n "$check" ] && xwininfo -id "$check" >/dev/null 2>&1
}
# A server that is resetting after its last client left refuses connections
# for a moment: openbox is started again when it gave up.
if ! window_manager_running; then
  for attempt in 1 2 3; do
    spawn "$work/openbox.log" openbox --sm-disable
    openbox_pid=$spawned
    until_true 20 eval 'window_manager_running || ! kill -0 $openbox_pid 2>/dev/null'
    window_manager_running && break
    log "openbox did not start (attempt $attempt): $(tail -n 1 "$work/openbox.log")"
    stop "$openbox_pid"
  done
  window_manager_running || { fail "openbox did not start"; exit 1; }
  log "started openbox"
fi
read -r screen_width screen_height < <(xwininfo -root | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')

# ---- the plug-in, found by Ardour's own scanner ----
# A cache entry counts only for a plug-in file older than the cache file.
cp "$plugin" "$LXVST_PATH/Rimbrel.so"
touch -d 2000-01-01 "$LXVST_PATH/Rimbrel.so"
LD_LIBRARY_PATH=/usr/lib/ardour7 "$scanner" -f -v "$LXVST_PATH/Rimbrel.so" >"$work/scan.log" 2>&1
unique_id=$(cat "$XDG_CACHE_HOME"/ardour7/vst/*.v2i 2>/dev/null |
  sed -n 's/.*<VST2Info id="\([0-9]*\)" name="Rimbrel".*/\1/p')
[ -n "$unique_id" ] || { fail "Ardour's scanner did not list Rimbrel"; exit 1; }
log "scanned: Rimbrel's unique id is $unique_id"

# ---- the session, built headless ----
# luasession now and then dies inside its own session saving (SIGSEGV in
# Session::save_state, with trivial plug-ins too): such runs are tried again.
session=$work/session
for attempt in 1 2 3 4 5; do
  rm -rf "$session"
  ardour7-lua "$helpers/ardour_session.lua" "$session" kit "$unique_id" >"$work/luasession.log" 2>&1
  status=$?
  ids=$(sed -n 's/^ids \([0-9]*\) \([0-9]*\)$/\1-\2/p' "$work/luasession.log")
  [ $status -eq 0 ] && grep -qx saved "$work/luasession.log" && [ -n "$ids" ] && [ -f "$session/kit.ardour" ] && break
  if [ $status -gt 128 ]; then
    log "luasession died of signal $((status - 128)) (attempt $attempt); trying again"
  else
    log "luasession ended with $status (attempt $attempt); trying again"
  fi
  tail -n 5 "$work/luasession.log"
  ids=
done
[ -n "$ids" ] || { fail "no session after 5 attempts"; exit 1; }
log "session built: track and plug-in ids $ids"
# The plug-in's window opens with the session.
sed -i "s#</Session>#  <Extra><UI><Window name=\"P-$ids\" visible=\"1\"/></UI></Extra>\n</Session>#" "$session/kit.ardour"

# A private configuration: Dummy backend started by itself, no first-run
# wizard, no plug-in scan at start.
touch "$XDG_CONFIG_HOME/ardour7/.a7"
echo '<?xml version="1.0" encoding="UTF-8"?><instant><no-memory-warning/></instant>' \
  >"$XDG_CONFIG_HOME/ardour7/instant.xml"
cat >"$XDG_CONFIG_HOME/ardour7/config" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="hide-dummy-backend" value="0"/>
    <Option name="try-autostart-engine" value="1"/>
    <Option name="discover-plugins-on-start" value="0"/>
  </Config>
  <Extra>
    <AudioMIDISetup>
      <EngineStates>
        <State backend="None (Dummy)" driver="" device="Silence" input-device="" output-device=""
               sample-rate="44100" buffer-size="1024" n-periods="2" input-latency="0" output-latency="0"
               input-channels="0" output-channels="0" lm-input="" lm-output="" active="1"
               use-buffered-io="0" midi-option="" lru="1">
          <MIDIDevices/>
        </State>
      </EngineStates>
    </AudioMIDISetup>
  </Extra>
</Ardour>
EOF

# ---- Ardour's GUI, watched from before its first window ----
spawn "$work/watch.out" "$python" "$helpers/xdnd_property_watch.py" watch "$work/properties.txt"
until_true 10 grep -q watching "$work/watch.out" || { fail "the property watch did not start"; exit 1; }
spawn "$work/ardour.log" ardour -a -n "$session/kit.ardour"
ardour_pid=$spawned
log "Ardour started"

find_window() {  # NAME: sets $found to the first window of that name, in hexadecimal
  local id
  id=$(xdotool search --name "^$(printf '%s' "$1" | sed 's/[][\.*^$()+?{}|]/\\&/g')\$" 2>/dev/null | head -n 1)
  [ -n "$id" ] && found=$(printf '0x%x' "$id")
}
ardour_ended() {  # gone, or a zombie not yet waited for
  local stat
  stat=$(cat /proc/"$ardour_pid"/stat 2>/dev/null) || return 0
  [ "$(echo "${stat##*) }" | cut -d' ' -f1)" = Z ]
}
plugin_window_shown() {
  ardour_ended && return 0
  find_window "$title" && xwininfo -id "$found" | grep -q IsViewable
}
until_true 100 plugin_window_shown || { fail "no window \"$title\""; exit 1; }
ardour_ended && { fail "Ardour ended before its plug-in window showed"; exit 1; }
top=$found
log "plug-in window $top is shown"

# The editor's window is the 540 x 786 window inside it, once Ardour has
# moved it there (it is opened on the root window first).
editor_window() {
  editor=$(xwininfo -tree -id "$top" | awk '$0 ~ /540x786\+/ {e = $1} END {print e}')
  [ -n "$editor" ] && xwininfo -id "$editor" | grep -q IsViewable
}
until_true 30 editor_window || { fail "no editor window inside $top"; xwininfo -tree -id "$top"; exit 1; }
read -r editor_x editor_y < <(xwininfo -id "$editor" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}')
# The windows from the top-level down to the editor's parent.
chain=()
w=$editor
while :; do
  w=$(xwininfo -children -id "$w" | awk '/Parent window id:/ {print $4}')
  chain+=("$w")
  [ "$w" = "$top" ] && break
  [ ${#chain[@]} -gt 10 ] && { fail "cannot walk from $editor up to $top"; exit 1; }
done
log "editor window $editor at ($editor_x, $editor_y); windows up to the top-level: ${chain[*]}"
for w in "${chain[@]}"; do
  log "  $w: $(xprop -notype -id "$w" XdndAware XdndProxy | tr '\n' ' ')"
done

# ---- key names and what the window shows ----
offsets=(0 20 40 61 81 102 122 162 183 203 224 244)
label_top() { echo $((160 + offsets[$1])); }  # first octave only
label_rect() { echo "36 $(($(label_top "$1") + 2)) 168 14"; }  # inside the label's border
bright() { "$python" "$helpers/window_pixels.py" bright "$editor" $(label_rect "$1"); }
save_label() { "$python" "$helpers/window_pixels.py" save "$editor" $(label_rect "$1") "$2"; }
label_x=$((editor_x + 120))
label_y() { echo $((editor_y + $(label_top "$1") + 9)); }
rest_mouse() { xdotool mousemove $((editor_x + 500)) $((editor_y + 770)); }  # off every control

drop_count() { grep -ac "HandleDragDrop begin" "$work/ardour.log"; }
key_loaded() {  # KEY PATH LOADS: the loader's line for that file on that key, and LOADS loads ended
  local path
  path=$(printf '%s' "$2" | sed 's/[][\.*^$]/\\&/g')
  grep -aq "DoXPlatLoadStuff $path, 1, [0-9]*, $1\$" "$work/ardour.log" &&
    [ "$(grep -ac 'All done here!' "$work/ardour.log")" -ge "$3" ]
}
is_filled() { [ "$(bright "$1")" -gt 40 ]; }

# A drag from a drag source's window to (X, Y), the mouse moved in steps as
# a hand moves it. Sets $source_result to how the source saw the drag end.
# On a busy machine a press now and then reaches the source before it is
# ready for it and no drag begins: such a drag is made once more.
drag_from_source() {  # SCRIPT X Y FILE
  local attempt
  for attempt in 1 2; do
    drag_once "$@" && return 0
    grep -q "^drag begun" "$work/source.log" && return 1
    log "no drag began in the source (attempt $attempt)"
  done
  return 1
}
drag_ended() { grep -q "^drag \(ok\|failed\)" "$work/source.log"; }
drag_once() {  # SCRIPT X Y FILE
  local script=$1 x=$2 y=$3 file=$4 sx sy
  source_result=
  spawn "$work/source.log" "$python" "$script" $((screen_width - 260)) $((screen_height - 160)) "$file"
  local source_pid=$spawned
  if ! until_true 30 grep -q ready "$work/source.log"; then
    source_result="the drag source did not come up"
    stop "$source_pid"
    return 1
  fi
  read -r sx sy < <(xdotool search --pid "$source_pid" --onlyvisible 2>/dev/null | head -n 1 |
    xargs -r -I{} xwininfo -id {} | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x + 50, y + 30}')
  [ -n "${sx:-}" ] || { sx=$((screen_width - 200)); sy=$((screen_height - 120)); }
  xdotool mousemove "$sx" "$sy" sleep 0.2 mousedown 1 sleep 0.1
  for i in 1 2 3 4 5 6 7 8; do
    xdotool mousemove $((sx + (x - sx) * i / 8)) $((sy + (y - sy) * i / 8)) sleep 0.1
  done
  xdotool mousemove $((x + 1)) "$y" sleep 0.1 mousemove "$x" "$y" sleep 0.3 mouseup 1
  # A drag that began is waited for; one that never began is given up soon.
  until_true 10 drag_ended || { grep -q "^drag begun" "$work/source.log" && until_true 30 drag_ended; }
  source_result=$(grep '^drag \(ok\|failed\)' "$work/source.log" | head -n 1)
  stop "$source_pid"
  cat "$work/source.log" >>"$work/sources.log"
  [ -n "$source_result" ]
}

key_a=2 key_b=7
# The editor has drawn once its artwork shows (the frame around the labels).
drawn() { [ "$("$python" "$helpers/window_pixels.py" bright "$editor" 0 0 540 786)" -gt 1000 ]; }
until_true 20 drawn || { fail "the editor's window stays empty"; exit 1; }
for k in $key_a $key_b; do
  is_filled $k && fail "key $k shows a name before any drop"
done
tones=$work/sounds
mkdir -p "$tones"
"$python" - "$tones" <<'EOF'
import struct, sys, wave
for name, level in (("gtk kick.wav", 8000), ("qt snare.wav", 4000)):
    w = wave.open(sys.argv[1] + "/" + name, "wb")
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(44100)
    w.writeframes(struct.pack("<h", level) * 22050)
    w.close()
EOF

# ---- 1. drops from GTK and from Qt on two keys' names ----
loads=0
for step in "gtk $key_a gtk kick.wav" "qt $key_b qt snare.wav"; do
  read -r toolkit key file <<<"$step"
  file="$tones/$file"
  script="$helpers/${toolkit}_drag_source.py"
  if [ ! -f "$script" ]; then
    fail "$toolkit drop: no drag source $script"
    continue
  fi
  before=$(drop_count)
  drag_from_source "$script" "$label_x" "$(label_y "$key")" "$file"
  log "$toolkit drop on key $key: the source says \"$source_result\""
  rest_mouse
  if until_true 10 key_loaded "$key" "$file" $((loads + 1)); then
    loads=$((loads + 1))
  else
    fail "$toolkit drop: the loader did not load $file on key $key ($(($(drop_count) - before)) drops arrived)"
    continue
  fi
  until_true 5 is_filled "$key" || fail "$toolkit drop: key $key shows no name"
  [ "$source_result" = "drag ok" ] || fail "$toolkit drop: the source saw \"$source_result\""
done

[ -n "${RIMBREL_ARDOUR_SCREENSHOT:-}" ] && import -window "$top" "$RIMBREL_ARDOUR_SCREENSHOT"

# ---- 2. a plain drag of one name onto the other exchanges the two keys ----
save_label $key_a "$work/a-before.raw"
save_label $key_b "$work/b-before.raw"
if cmp -s "$work/a-before.raw" "$work/b-before.raw"; then
  fail "exchange: keys $key_a and $key_b look alike before it"
else
  xdotool mousemove "$label_x" "$(label_y $key_a)" sleep 0.2 mousedown 1 sleep 0.1
  for i in 1 2 3 4 5 6; do
    xdotool mousemove "$label_x" $(($(label_y $key_a) + ($(label_y $key_b) - $(label_y $key_a)) * i / 6)) sleep 0.05
  done
  xdotool sleep 0.2 mouseup 1
  rest_mouse
  exchanged() {
    save_label $key_a "$work/a-after.raw" && save_label $key_b "$work/b-after.raw" &&
      cmp -s "$work/a-after.raw" "$work/b-before.raw" && cmp -s "$work/b-after.raw" "$work/a-before.raw"
  }
  if until_true 5 exchanged; then
    log "exchange: keys $key_a and $key_b show each other's names"
  else
    fail "exchange: keys $key_a and $key_b were not exchanged by a plain drag"
  fi
fi

# ---- 3. a drop on Ardour's toolbar in the same window stays Ardour's ----
read -r top_x top_y < <(xwininfo -id "$top" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}')
if [ $((editor_y - top_y)) -lt 10 ]; then
  fail "host drop: Ardour's window has no area above the editor"
else
  before=$(drop_count)
  save_label $key_a "$work/a-before-host-drop.raw"
  drag_from_source "$helpers/gtk_drag_source.py" $((top_x + 140)) $(((top_y + editor_y) / 2)) "$tones/gtk kick.wav"
  log "drop on Ardour's toolbar: the source says \"$source_result\""
  [ "$(drop_count)" = "$before" ] || fail "host drop: the plug-in took a drop meant for Ardour"
  save_label $key_a "$work/a-after-host-drop.raw"
  cmp -s "$work/a-before-host-drop.raw" "$work/a-after-host-drop.raw" ||
    fail "host drop: key $key_a changed"
  # What Ardour 7.3 answers there without any plug-in: it refuses the drop.
  case $source_result in
    "drag failed"*) ;;
    *) fail "host drop: Ardour's refusal did not reach the source ($source_result)" ;;
  esac
fi

# ---- 4. quitting closes the editor, which leaves the windows as they were ----
find_window "kit - Ardour" && xdotool windowactivate --sync "$found" key --clearmodifiers ctrl+q
if ! until_true 30 ardour_ended; then
  fail "Ardour did not quit on Ctrl+Q"
else
  wait "$ardour_pid"
  ardour_status=$?
  [ $ardour_status -eq 0 ] || fail "Ardour ended with status $ardour_status"
fi
until_true 10 grep -q "^gone $top\$" "$work/properties.txt" || fail "the plug-in window $top was not destroyed"
if ! "$python" "$helpers/xdnd_property_watch.py" compare "$work/properties.txt" "$editor" "${chain[@]}" >"$work/compare.log"; then
  fail "the windows' drag-and-drop properties were not restored: $(tr '\n' ';' <"$work/compare.log")"
fi
grep -q "^$top XdndAware 0x" "$work/properties.txt" || fail "the top-level $top never was XdndAware"

log "$failures step(s) failed"
[ $failures -eq 0 ]
