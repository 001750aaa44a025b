#!/usr/bin/env bash
# The program as a screen reader meets it: on a private D-Bus session with
# the AT-SPI bus under Xvfb, the main window's controls are listed with
# their names (none unnamed), a character keyed with the Right-arrow key
# reaches the listener as inserted text, a refusal in the status line as a
# name change, and the parameters window opened with F2 lists its controls
# with their names too.
# Usage: atspi_test.sh PROGRAM PROBE
set -euo pipefail
prog=$1
probe=$2

for tool in Xvfb xdotool dbus-run-session; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
launcher=""
for f in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
  [ -x "$f" ] && launcher=$f
done
[ -n "$launcher" ] || { echo "SKIP: at-spi2-core is not installed"; exit 77; }

if [ -z "${ORVO_ATSPI_SESSION:-}" ]; then
  # A private session bus, with HOME and the runtime folder of our own so
  # that the accessibility bus and the settings stay in the scratch folder.
  tmp=$(mktemp -d)
  mkdir -p "$tmp/home" "$tmp/config" "$tmp/run"
  chmod 700 "$tmp/run"
  set +e
  env -u APPDATA -u DBUS_SESSION_BUS_ADDRESS HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" \
    XDG_RUNTIME_DIR="$tmp/run" ORVO_ATSPI_SESSION="$tmp" dbus-run-session -- "$0" "$@" 2>&1 \
    | grep -v "Failed to set fd limit"
  rc=${PIPESTATUS[0]}
  set -e
  rm -rf "$tmp"
  exit "$rc"
fi

tmp=$ORVO_ATSPI_SESSION
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

. "$(dirname "$0")/../xvfb.sh"
start_xvfb

# As a screen reader would: the desktop says assistive technology is on.
gdbus call --session -d org.a11y.Bus -o /org/a11y/bus -m org.freedesktop.DBus.Properties.Set \
  org.a11y.Status IsEnabled '<true>' >/dev/null 2>&1 || true
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "$prog" >"$tmp/app.log" 2>&1 &
app_pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name 'Tapmeter$' | head -n1) \
  || fail "main window did not appear: $(cat "$tmp/app.log")"

set +e; "$probe" list "Orvo Tapmeter" >"$tmp/objects.txt" 2>"$tmp/unnamed.txt"; rc=$?; set -e
cat "$tmp/objects.txt"
[ "$rc" -eq 0 ] || fail "controls without a name: $(cat "$tmp/unnamed.txt")"
for name in "Decoded characters" "Typed text" "Target speed" "Actual speed" "Average speed"; do
  grep -qP "\t\Q$name\E\t" "$tmp/objects.txt" || fail "no control named \"$name\""
done

# A dot with the Right-arrow key: "e" is inserted into the decoded text.
"$probe" watch "Orvo Tapmeter" e 15 >"$tmp/watch.txt" 2>&1 &
watch_pid=$!
for _ in $(seq 100); do grep -q listening "$tmp/watch.txt" && break; sleep 0.1; done
sleep 0.5
xdotool windowfocus --sync "$wid"
xdotool keydown Right; sleep 0.1; xdotool keyup Right
set +e; wait "$watch_pid"; rc=$?; set -e
cat "$tmp/watch.txt"
[ "$rc" -eq 0 ] || fail "no text event for the decoded character"

# A typed letter, then Ctrl+F9: the green zone is refused (sound off, or the
# letter still going out) and the status line says so.
"$probe" watch "Orvo Tapmeter" "Green zone not sent" 15 >"$tmp/watch.txt" 2>&1 &
watch_pid=$!
for _ in $(seq 100); do grep -q listening "$tmp/watch.txt" && break; sleep 0.1; done
sleep 0.5
xdotool type x
xdotool key ctrl+F9
set +e; wait "$watch_pid"; rc=$?; set -e
cat "$tmp/watch.txt"
[ "$rc" -eq 0 ] || fail "the status-line message was not announced"

xdotool key F2
timeout 20 xdotool search --sync --onlyvisible --name 'Set Orvo Tapmeter Parameters' >/dev/null \
  || fail "F2 did not open the parameters window"
set +e; "$probe" list "Orvo Tapmeter" >"$tmp/objects.txt" 2>"$tmp/unnamed.txt"; rc=$?; set -e
[ "$rc" -eq 0 ] || fail "controls without a name: $(cat "$tmp/unnamed.txt")"
for name in "Input gain" "Bandpass filter frequency" "Output level" "Key sound frequency" "Dit paddle"; do
  grep -qP "\t\Q$name\E\t" "$tmp/objects.txt" || fail "no control named \"$name\" in the parameters window"
done
echo "PASS: controls named, decoded text and status line announced, parameters window named"
