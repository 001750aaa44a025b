# Sourced by the X server tests. x11_start skips the test (77) when Xvfb,
# xdotool or another tool named is missing, makes the scratch folder $tmp,
# stops whatever the test started ($rec_pid, $app_pid, Xvfb) however it
# ends, and starts Xvfb on a display it picks itself (exports DISPLAY).
fail() { echo "FAIL: $*"; exit 1; }

x11_start() {
  local tool
  for tool in Xvfb xdotool "$@"; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
  tmp=$(mktemp -d)
  xvfb_pid="" app_pid="" rec_pid=""
  trap x11_cleanup EXIT
  start_xvfb
}

x11_cleanup() {
  local pid
  for pid in "$rec_pid" "$app_pid" "$xvfb_pid"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  done
  [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null || true
  rm -rf "$tmp"
}

# Closes the program ($app_pid) through the window manager's close request
# (the closer program on window WID), as a user would; it must end at once
# with status 0.
x11_close() {
  local rc
  "$1" "$2"
  for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app_pid" 2>/dev/null && fail "the program did not close on the close request"
  set +e; wait "$app_pid"; rc=$?; set -e
  app_pid=""
  [ "$rc" -eq 0 ] || fail "the program exited with status $rc: $(cat "$tmp/app.log")"
}

# Needs $tmp and fail(); sets xvfb_pid.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$tmp/display" ] && break
    sleep 0.05
  done
  [ -s "$tmp/display" ] || fail "Xvfb did not start: $(cat "$tmp/xvfb.log")"
  export DISPLAY=":$(head -n1 "$tmp/display")"
}
