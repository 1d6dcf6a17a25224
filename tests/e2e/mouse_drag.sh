#!/usr/bin/env bash
# Files dragged with the mouse from a GTK or Qt window onto the plug-in's
# window in rimbrel-host, the way users drag them out of a file manager: the
# toolkit finds the host's top-level, follows its XdndProxy to the plug-in's
# window, and the drop arrives on the drop button. With --host-area the drag
# ends on the host's own strip instead, where the host refuses it and the
# plug-in takes nothing.
#   mouse_drag.sh RIMBREL_HOST PLUGIN SOURCE_SCRIPT [--embed-later] [--host-area]
# SOURCE_SCRIPT is gtk_drag_source.py or qt_drag_source.py. Exits 77
# (skipped) without an X display, xdotool or the source's toolkit.
set -u
host=$1 plugin=$2 source_script=$3
shift 3
embed=() strip=0 aim=button
for option in "$@"; do
  case $option in
    --embed-later) embed=(--embed-later) strip=40 ;;
    --host-area) aim=host ;;
    *) echo "unknown option $option"; exit 2 ;;
  esac
done
[ -n "${DISPLAY:-}" ] || { echo "no X display"; exit 77; }
command -v xdotool >/dev/null || { echo "no xdotool"; exit 77; }
/usr/bin/python3 "$source_script" --check 2>/dev/null || { echo "no toolkit for $source_script"; exit 77; }

work=$(mktemp -d)
trap 'kill $host_pid $source_pid 2>/dev/null; rm -rf "$work"' EXIT
file1="$work/my samples/kick drum+1.wav"
file2="$work/snäre €.wav"
mkdir -p "$work/my samples"
: >"$file1"
: >"$file2"

# The host runs until the drag's outcome is in (--seconds only as a safety
# net), then is stopped with SIGTERM, which closes the editor cleanly.
"$host" editor "$plugin" --seconds 60 "${embed[@]}" >"$work/host.out" 2>"$work/host.err" &
host_pid=$!
/usr/bin/python3 "$source_script" 700 300 "$file1" "$file2" >"$work/source.out" 2>"$work/source.err" &
source_pid=$!

host_ready="probe: open"
[ $strip -gt 0 ] && host_ready="editor embedded"
for _ in $(seq 100); do
  grep -q ready "$work/source.out" 2>/dev/null && grep -q "$host_ready" "$work/host.out" 2>/dev/null && break
  sleep 0.1
done
grep -q ready "$work/source.out" || { echo "the drag source did not come up"; cat "$work/source.err"; exit 1; }
grep -q "$host_ready" "$work/host.out" || { echo "the host did not come up"; cat "$work/host.err"; exit 1; }

# Where the windows are (a window manager may have placed them): in the
# host's window the drop button's middle is (132, 38) below the host's
# strip, the strip's middle (270, 20); the drag starts in the source's middle.
# (xwininfo, since xdotool's geometry counts a frame's offset twice.)
origin() {
  local id
  id=$(xdotool search --name "$1" | head -1)
  [ -n "$id" ] || { echo "no window named $1" >&2; exit 1; }
  xwininfo -id "$id" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
                           /Width:/ {w = $NF} /Height:/ {h = $NF} END {print x, y, w, h}'
}
read -r host_x host_y _ _ < <(origin '^rimbrel-host: ')
read -r source_x source_y source_w source_h < <(origin '^drag source$')
if [ $aim = button ]; then
  target_x=$((host_x + 132)) target_y=$((host_y + 38 + strip))
else
  target_x=$((host_x + 270)) target_y=$((host_y + 20))
fi
start_x=$((source_x + source_w / 2)) start_y=$((source_y + source_h / 2))

# Pressed in the source, then carried in steps to the target, the last ones
# short, as a hand slows down.
xdotool mousemove $start_x $start_y sleep 0.2 mousedown 1 sleep 0.1
for percent in 2 10 30 50 70 85 95 99 100; do
  xdotool mousemove $((start_x + (target_x - start_x) * percent / 100)) \
    $((start_y + (target_y - start_y) * percent / 100)) sleep 0.1
done
sleep 0.3
xdotool mouseup 1

# Awaited: the source's end of the drag, and what the host saw of it.
if [ $aim = button ]; then
  expected="probe: drop button: $file1|$file2"
else
  expected="host area: drag entered"
fi
for _ in $(seq 200); do
  grep -q "^drag \(ok\|failed\)" "$work/source.out" && grep -qxF "$expected" "$work/host.out" && break
  sleep 0.1
done
kill -TERM $host_pid
wait $host_pid
host_status=$?

echo "--- source:"; cat "$work/source.out"
echo "--- host:"; cat "$work/host.out"
[ $host_status -eq 0 ] || { echo "rimbrel-host ended with $host_status"; cat "$work/host.err"; exit 1; }
if [ $aim = button ]; then
  grep -qxF "$expected" "$work/host.out" || { echo "missing: $expected"; exit 1; }
  grep -q "drag failed" "$work/source.out" && { echo "the source saw its drop refused"; exit 1; }
  grep -qx "drag ok" "$work/source.out" || { echo "the source did not see its drag end"; exit 1; }
else
  grep -qxF "$expected" "$work/host.out" || { echo "the drag never reached the host's strip"; exit 1; }
  grep -q "^probe: drop" "$work/host.out" && { echo "the plug-in took a drop meant for the host"; exit 1; }
  grep -q "^drag failed" "$work/source.out" || { echo "the source did not see its drag refused"; exit 1; }
fi
echo "ok"
