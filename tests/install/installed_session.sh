#!/usr/bin/env bash
# Runs an installed copy of the desktop program the way a user would: under
# a real (virtual) X server, from a fresh home folder. Checks that its window
# carries the class named by the installed desktop entry, keys "e" with
# xdotool, presses F1 and checks that the help page handed to the browser
# exists in the installed tree, closes the window and finds the settings file.
# Usage: installed_session.sh PREFIX X11_CLOSE   (PREFIX: /usr or an install prefix)
set -euo pipefail
prefix=$1
closer=$2
prog="$prefix/bin/orvo-tapmeter"
desktop="$prefix/share/applications/orvo-tapmeter.desktop"
help_page="$prefix/share/orvo-tapmeter/help/helporvotapmtr.htm"

. "$(dirname "$0")/../xvfb.sh"
[ -x "$prog" ] || fail "no program at $prog"
[ -f "$desktop" ] || fail "no desktop entry at $desktop"
wm_class=$(sed -n 's/^StartupWMClass=//p' "$desktop")
[ -n "$wm_class" ] || fail "the desktop entry names no StartupWMClass"

x11_start

# A stand-in browser: records what the program asks the desktop to open.
mkdir -p "$tmp/home" "$tmp/run" "$tmp/fakebin"
chmod 700 "$tmp/run"
cat >"$tmp/fakebin/xdg-open" <<EOS
#!/bin/sh
printf '%s\n' "\$1" >>"$tmp/opened"
EOS
chmod +x "$tmp/fakebin/xdg-open"

# Started from its desktop entry's command, found on PATH as a menu would.
exec_cmd=$(sed -n 's/^Exec=//p' "$desktop")
[ "$exec_cmd" = "orvo-tapmeter" ] || fail "unexpected Exec line: $exec_cmd"
env -u APPDATA -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" \
    PATH="$tmp/fakebin:$prefix/bin:$PATH" QT_QPA_PLATFORM=xcb BROWSER="$tmp/fakebin/xdg-open" \
    "$exec_cmd" >"$tmp/app.log" 2>&1 &
app_pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vantor CW Tapmeter$' | head -n1) \
  || fail "main window did not appear: $(cat "$tmp/app.log")"
echo "main window $wid on $DISPLAY"
xdotool search --class "^${wm_class}\$" | grep -qx "$wid" \
  || fail "the window's class is not the desktop entry's StartupWMClass \"$wm_class\""

# "e": one dot at 60 CpM (100 ms) with the Right-arrow key.
xdotool windowfocus --sync "$wid"
xdotool keydown Right; sleep 0.1; xdotool keyup Right; sleep 0.5
kill -0 "$app_pid" || fail "the program ended while keying"

if [ -f "$help_page" ]; then
  xdotool windowfocus --sync "$wid"
  xdotool key F1
  for _ in $(seq 100); do [ -s "$tmp/opened" ] && break; sleep 0.1; done
  [ -s "$tmp/opened" ] || fail "F1 opened nothing: $(cat "$tmp/app.log")"
  url=$(head -n1 "$tmp/opened")
  page=${url#file://}
  page=${page%%#*}
  [ -f "$page" ] || fail "F1 opened $url, which does not exist"
  [ "$(realpath "$page")" = "$(realpath "$help_page")" ] \
    || fail "F1 opened $page instead of the installed $help_page"
  echo "F1 opened $url"
else
  echo "NOTE: no help page installed at $help_page; F1 not checked"
fi

x11_close "$closer" "$wid"

ini="$tmp/home/.config/OrvoTapmeter/OrvoTapmeter.ini"
[ -f "$ini" ] || fail "no settings file at $ini"
grep -q '^\[Main\]' "$ini" || fail "settings file has no [Main] section"
echo "PASS: settings written to $ini"
