#!/usr/bin/env bash
# Starts the program under a real (virtual) X server: keys a few characters
# with xdotool, checks that a second copy is refused, closes the window with
# the window manager's close request and checks the settings file.
# Usage: x11_smoke.sh PROGRAM X11_CLOSE
set -euo pipefail
prog=$1
closer=$2

. "$(dirname "$0")/../xvfb.sh"
x11_start

mkdir -p "$tmp/home" "$tmp/config" "$tmp/run"
chmod 700 "$tmp/run"
run_app() {
  exec env -u APPDATA -u XDG_DATA_HOME HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run" \
      QT_QPA_PLATFORM=xcb "$prog"
}

run_app >"$tmp/app.log" 2>&1 &
app_pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vantor CW Tapmeter$' | head -n1) \
  || fail "main window did not appear: $(cat "$tmp/app.log")"
echo "main window $wid on $DISPLAY"

# Key "e t e" with the Right-arrow key (60 CpM: dot 100 ms).
xdotool windowfocus --sync "$wid"
key() { xdotool keydown Right; sleep "$1"; xdotool keyup Right; sleep 0.35; }
key 0.1; key 0.3; key 0.1
kill -0 "$app_pid" || fail "the program ended while keying"

# A second copy shows its message and exits without a main window.
run_app >"$tmp/second.log" 2>&1 &
second_pid=$!
box=$(timeout 20 xdotool search --sync --onlyvisible --name '^Orvo Tapmeter$' | head -n1) \
  || fail "the second copy showed no message: $(cat "$tmp/second.log")"
[ "$(xdotool search --onlyvisible --name '^Vantor CW Tapmeter$' | wc -l)" -eq 1 ] \
  || fail "the second copy opened a main window"
xdotool windowfocus --sync "$box"
xdotool key Return
for _ in $(seq 100); do kill -0 "$second_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$second_pid" 2>/dev/null && { kill "$second_pid"; fail "the second copy did not exit"; }
set +e; wait "$second_pid"; second_rc=$?; set -e
[ "$second_rc" -ne 0 ] || fail "the second copy reported success"
kill -0 "$app_pid" || fail "the first copy ended with the second"

# Close through the window manager's close request, as a user would.
x11_close "$closer" "$wid"

ini="$tmp/config/OrvoTapmeter/OrvoTapmeter.ini"
[ -f "$ini" ] || fail "no settings file at $ini"
grep -q '^\[Main\]' "$ini" || fail "settings file has no [Main] section"
grep -q '^TargetSpeed=60' "$ini" || fail "settings file lacks TargetSpeed"
grep -q '^RXInput=0' "$ini" || fail "settings file lacks RXInput"
echo "PASS: settings written to $ini"
