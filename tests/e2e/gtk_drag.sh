#!/usr/bin/env bash
# Files dragged with the mouse from a GTK window onto the plug-in's window in
# rimbrel-host, the way users drag them out of a GTK file manager: GTK finds
# the host's top-level, follows its XdndProxy to the plug-in's window, and
# the drop arrives.
#   gtk_drag.sh RIMBREL_HOST PLUGIN SOURCE_SCRIPT
# Exits 77 (skipped) without an X display, xdotool or GTK for Python.
set -u
host=$1 plugin=$2 source_script=$3
[ -n "${DISPLAY:-}" ] || { echo "no X display"; exit 77; }
command -v xdotool >/dev/null || { echo "no xdotool"; exit 77; }
/usr/bin/python3 -c 'import gi; gi.require_version("Gtk", "3.0"); from gi.repository import Gtk' 2>/dev/null ||
  { echo "no GTK for Python"; exit 77; }

work=$(mktemp -d)
trap 'kill $host_pid $source_pid 2>/dev/null; rm -rf "$work"' EXIT
file1="$work/my samples/kick drum+1.wav"
file2="$work/snäre €.wav"
mkdir -p "$work/my samples"
: >"$file1"
: >"$file2"

# The host window lies at (0, 0); the drop button's middle is (132, 38).
"$host" editor "$plugin" --seconds 5 >"$work/host.out" 2>"$work/host.err" &
host_pid=$!
/usr/bin/python3 "$source_script" 700 300 "$file1" "$file2" >"$work/source.out" 2>"$work/source.err" &
source_pid=$!

for _ in $(seq 100); do
  grep -q ready "$work/source.out" 2>/dev/null && grep -q "probe: open" "$work/host.out" 2>/dev/null && break
  sleep 0.1
done
grep -q ready "$work/source.out" || { echo "the drag source did not come up"; cat "$work/source.err"; exit 1; }

xdotool mousemove 800 350 sleep 0.2 mousedown 1 sleep 0.1
for p in "780 350" "740 340" "650 300" "500 200" "300 100" "150 50" "133 39" "132 38"; do
  xdotool mousemove $p sleep 0.1
done
sleep 0.3
xdotool mouseup 1

for _ in $(seq 50); do
  grep -q "drag" "$work/source.out" && break
  sleep 0.1
done
wait $host_pid
host_status=$?

echo "--- source:"; cat "$work/source.out"
echo "--- host:"; cat "$work/host.out"
expected="probe: drop button: $file1|$file2"
grep -qxF "$expected" "$work/host.out" || { echo "missing: $expected"; exit 1; }
grep -q "drag failed" "$work/source.out" && { echo "the source saw its drop refused"; exit 1; }
grep -qx "drag ok" "$work/source.out" || { echo "the source did not see its drag end"; exit 1; }
[ $host_status -eq 0 ] || { echo "rimbrel-host ended with $host_status"; cat "$work/host.err"; exit 1; }
echo "ok"
