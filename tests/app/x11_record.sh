#!/bin/bash
# The session record of a killed program: starts the program under a
# (virtual) X server, keys "paris" with the Right-arrow key through
# xdotool, waits for the character to end, kills the program with SIGKILL
# and decodes the record it left with the command-line tool.
# Usage: x11_record.sh PROGRAM CLI
set -euo pipefail
prog=$1
cli=$2

. "$(dirname "$0")/../xvfb.sh"
x11_start

mkdir -p "$tmp/home" "$tmp/config/OrvoTapmeter" "$tmp/run"
chmod 700 "$tmp/run"
printf '[Main]\r\nTargetSpeed=40\r\n' >"$tmp/config/OrvoTapmeter/OrvoTapmeter.ini"
env -u APPDATA HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" \
    XDG_RUNTIME_DIR="$tmp/run" QT_QPA_PLATFORM=xcb "$prog" >"$tmp/app.log" 2>&1 &
app_pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vantor CW Tapmeter$' | head -n1) \
  || fail "main window did not appear: $(cat "$tmp/app.log")"
xdotool windowfocus --sync "$wid"

# "paris" at 40 CpM (dot 150 ms) in one xdotool run, so that the pauses
# between its commands are the keyed lengths.
dot=0.15 dash=0.45
cmds=()
for code in .--. .- .-. .. ...; do
  for ((i = 0; i < ${#code}; i++)); do
    len=$dot; [ "${code:i:1}" = "-" ] && len=$dash
    gap=$dot; [ $((i + 1)) -eq ${#code} ] && gap=$dash
    cmds+=(keydown Right sleep "$len" keyup Right sleep "$gap")
  done
done
xdotool "${cmds[@]}"
sleep 3  # the word timeout ends the "s"
kill -0 "$app_pid" || fail "the program ended while keying"
kill -KILL "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=""

shopt -s nullglob
files=("$tmp/data/orvo-tapmeter/sessions/"*.keys)
[ ${#files[@]} -eq 1 ] || fail "expected one session record, found ${#files[@]}"
out=$("$cli" keys "${files[0]}") || fail "keys failed on ${files[0]}"
echo "$out" | grep -qF '"text": "paris\u000d"' || fail "the record decodes to: ${out:0:200}"$'\n'"$(cat "${files[0]}")"
echo "PASS: ${files[0]} decodes to \"paris\""
