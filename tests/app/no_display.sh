#!/usr/bin/env bash
# Started where there is no display (a session over SSH): the program says
# in one line that it needs a desktop session and names the command-line
# tool, and exits 1 instead of aborting. A platform the user chose
# explicitly is still honoured.
# Usage: no_display.sh PROGRAM
set -euo pipefail
prog=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$tmp/home" "$tmp/config" "$tmp/run"
chmod 700 "$tmp/run"
run() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u APPDATA -u XDG_DATA_HOME HOME="$tmp/home" \
      XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run" "$@"
}

set +e
run "$prog" >"$tmp/out" 2>"$tmp/err"
rc=$?
set -e
[ "$rc" -eq 1 ] || fail "exit status $rc, not 1: $(cat "$tmp/err")"
[ "$(wc -l <"$tmp/err")" -eq 1 ] || fail "not one line: $(cat "$tmp/err")"
grep -q "needs a desktop session" "$tmp/err" || fail "message does not name the desktop session: $(cat "$tmp/err")"
grep -q "orvo-tapmeter-cli" "$tmp/err" || fail "message does not name orvo-tapmeter-cli: $(cat "$tmp/err")"
[ ! -s "$tmp/out" ] || fail "wrote to standard output: $(cat "$tmp/out")"
echo "without a display: $(cat "$tmp/err")"

# -platform and QT_QPA_PLATFORM: the program starts (and runs until stopped).
for how in "-platform offscreen" "QT_QPA_PLATFORM=offscreen"; do
  set +e
  if [ "$how" = "-platform offscreen" ]; then
    run timeout 5 "$prog" -platform offscreen >"$tmp/log" 2>&1
  else
    run QT_QPA_PLATFORM=offscreen timeout 5 "$prog" >"$tmp/log" 2>&1
  fi
  rc=$?
  set -e
  [ "$rc" -eq 124 ] || fail "with $how the program ended with status $rc: $(cat "$tmp/log")"
done
echo "PASS"
