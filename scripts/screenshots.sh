#!/usr/bin/env bash
# Runs the real window under a virtual X server against the simulator and takes pictures of it:
#   1-connected.png   the window just after start, connected to the simulated reader
# then writes one card by pressing "Einzeln" in "Schreiben", found by name through the
# accessibility bus as a screen reader or a UI automation tool finds it,
#   2a-german-question.png  the job's warnings before the cycle, a German message box
#   2-cycle.png       during a write cycle, with the lamps beside the window, after three cards
#   3-english.png     the window in English
#   3a-series.png     its series view ("Tools", "Series") with the four cards written before
#   4-ports.png       its port dialog, opened from the menu ("Tools", "Choose port")
#   5-1280x800.png    the whole screen of 1280 x 800 during a write cycle: lamps and counts
#   6-1920x1080-1.5.png  the same on 1920 x 1080 at scale 1.5
# Then closes the program as a desktop logout would (SIGTERM) and checks that it saved the
# series' next value. Usage: scripts/screenshots.sh [OUT-DIR] (default: screenshots/).
# Needs Xvfb, xdotool, a D-Bus session and the accessibility bus with its Python bindings
# (scripts/setup-deps.sh installs them) and a build in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
# A session bus of our own, on which the program's accessibility bus starts.
if [ -z "${QUILLMATE_SESSION_BUS:-}" ]; then
  export QUILLMATE_SESSION_BUS=1
  exec dbus-run-session -- bash "$0" "$@"
fi
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
bin=${QUILLMATE_BIN:-build/bin}
out=${1:-screenshots}
mkdir -p "$out"
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A display of our own.
for n in $(seq 90 120); do [ -e "/tmp/.X$n-lock" ] || break; done
export DISPLAY=":$n"
# -noreset: the server would otherwise reset when its last client leaves, and a window started
# during that reset finds no display.
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp -noreset > "$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdpyinfo > /dev/null 2>&1 && break; sleep 0.1; done

"$bin/kovra-sim" --control "$work/sim.ctl" > "$work/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do grep -q '^pty: ' "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
pty=$(sed -n 's/^pty: //p' "$work/sim.out")
control() { python3 - "$work/sim.ctl" "$1" <<'PY'
import socket, sys
s = socket.socket(socket.AF_UNIX); s.connect(sys.argv[1]); s.sendall((sys.argv[2] + "\n").encode())
print(s.makefile().readline().strip())
PY
}

config="$work/config"
mkdir -p "$config"
settings="$config/KV-DESFire Quillmate.ini"
cat > "$settings" <<INI
[Port]
Name=$pty
Baudrate=115200
[Settings]
Wert=5000
AppID=4
Byteanzahl=16
[Version]
Update=0
INI
control "remove" > /dev/null

# The window with the given language; prints its X window id once it is connected.
start_window() {
  sed -i "/^Sprache=/d" "$settings"
  sed -i "s/^\[Settings\]$/[Settings]\nSprache=$1/" "$settings"
  "$bin/quillmate" --config "$config" > "$work/quillmate.log" 2>&1 &
  app_pid=$!
  pids+=("$app_pid")
  for _ in $(seq 100); do
    window=$(xdotool search --name "KV-DESFire Quillmate V.*FW V" 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
  done
  if [ -z "$window" ]; then
    echo "screenshots: the window did not connect to the simulated reader" >&2
    cat "$work/quillmate.log" >&2
    cat "$work/xvfb.log" >&2
    exit 1
  fi
  sleep 0.5  # the first paint
}
# A busy machine may still be mapping or painting the window: a failed grab is tried again.
grab() {
  for _ in 1 2 3 4 5; do
    if "$bin/screen-grab" "$out/$1" "$window" 2>/dev/null; then
      echo "screenshots: $out/$1"
      return 0
    fi
    sleep 0.5
  done
  "$bin/screen-grab" "$out/$1" "$window"
}
stop_window() {
  kill -TERM "$app_pid"
  wait "$app_pid"
}

start_window 0
grab 1-connected.png

# One card written by pressing "Einzeln" in "Schreiben" through the accessibility interface.
control "place desfire" > /dev/null
/usr/bin/python3 scripts/press-by-name.py quillmate Schreiben Einzeln
for _ in $(seq 50); do
  control "state" | grep -q '"aid":"000004"' && break
  sleep 0.1
done
if ! control "state" | grep -q '"aid":"000004"'; then
  echo "screenshots: pressing \"Einzeln\" in \"Schreiben\" wrote no application 000004" >&2
  exit 1
fi
echo "screenshots: one card written through the accessibility interface"
control "remove" > /dev/null

# The write cycle from the keyboard: Alt+Z is "Zyklisch" of "Schreiben"; Return confirms the
# job's warnings.
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
xdotool key --window "$window" --delay 50 alt+z
sleep 0.5

# The job's warnings in a German message box: Qt's own buttons are German too ("Ja", "Nein").
main_window=$window
window=$(xdotool search --onlyvisible --name "^KV-DESFire Quillmate$" 2>/dev/null | head -1 || true)
if [ -z "$window" ]; then
  echo "screenshots: the job's warnings were not asked in a message box" >&2
  exit 1
fi
grab 2a-german-question.png
window=$main_window

xdotool key --delay 50 Return
sleep 0.5
control "feed 3 leave=1500 gap=300" > /dev/null
# The third card lies on the reader from about 3.6 s to 5.1 s: written, green lamp.
sleep 4.5
grab 2-cycle.png
stop_window
value=$(sed -n 's/^Wert=//p' "$settings")
if [ "$value" != "5004" ]; then
  echo "screenshots: after four cards the next value is '$value', not 5004" >&2
  exit 1
fi
echo "screenshots: four cards written, next value $value"

start_window 1
grab 3-english.png

# "Series" of the menu "Tools": the series view of the four cards just written (the summary, the
# latest cards, the exports); Escape closes it again.
/usr/bin/python3 scripts/press-by-name.py quillmate Tools "Series"
main_window=$window
window=""
for _ in $(seq 50); do
  window=$(xdotool search --onlyvisible --name "^Series$" 2>/dev/null | head -1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "screenshots: the series view did not open" >&2
  exit 1
fi
sleep 0.5  # the first paint
grab 3a-series.png
xdotool key --delay 50 Escape
window=$main_window
sleep 0.5

# "Choose port" of the menu "Tools", pressed through the accessibility bus: the window closes
# its port and opens the dialog.
/usr/bin/python3 scripts/press-by-name.py quillmate Tools "Choose port"
main_window=$window
window=""
for _ in $(seq 50); do
  window=$(xdotool search --onlyvisible --name "^Port$" 2>/dev/null | head -1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "screenshots: the port dialog did not open" >&2
  exit 1
fi
sleep 0.5  # the first paint
grab 4-ports.png
window=$main_window
# The dialog stays open: a desktop logout ends the program with it.
stop_window

# The window on the screens operators have, each on a virtual screen of its own: a write cycle
# with its lamps and counts, the whole screen in the picture, and the window's frame on it.
fit_picture() {  # NAME WIDTHxHEIGHT SCALE
  local name=$1 size=$2 scale=$3 screen_display=""
  for m in $(seq 121 150); do [ -e "/tmp/.X$m-lock" ] || { screen_display=":$m"; break; }; done
  Xvfb "$screen_display" -screen 0 "${size}x24" -nolisten tcp -noreset \
    > "$work/xvfb-$name.log" 2>&1 &
  pids+=($!)
  local main_display=$DISPLAY
  export DISPLAY=$screen_display QT_SCALE_FACTOR=$scale
  for _ in $(seq 50); do xdpyinfo > /dev/null 2>&1 && break; sleep 0.1; done
  control "remove" > /dev/null
  start_window 0
  eval "$(xdotool getwindowgeometry --shell "$window")"
  if [ $((X + WIDTH)) -gt "${size%x*}" ] || [ $((Y + HEIGHT)) -gt "${size#*x}" ]; then
    echo "screenshots: the window ${WIDTH}x$HEIGHT+$X+$Y does not fit the screen $size" >&2
    exit 1
  fi
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
  xdotool key --window "$window" --delay 50 alt+z
  sleep 0.5
  xdotool key --delay 50 Return
  sleep 0.5
  control "feed 3 leave=1500 gap=300" > /dev/null
  sleep 4.5
  eval "$(xdotool getwindowgeometry --shell "$window")"
  if [ $((X + WIDTH)) -gt "${size%x*}" ] || [ $((Y + HEIGHT)) -gt "${size#*x}" ]; then
    echo "screenshots: with its lamps the window ${WIDTH}x$HEIGHT+$X+$Y leaves the screen $size" >&2
    exit 1
  fi
  for _ in 1 2 3 4 5; do "$bin/screen-grab" "$out/$name" 2>/dev/null && break; sleep 0.5; done
  echo "screenshots: $out/$name"
  stop_window
  export DISPLAY=$main_display
  unset QT_SCALE_FACTOR
}
fit_picture 5-1280x800.png 1280x800 1
fit_picture 6-1920x1080-1.5.png 1920x1080 1.5
