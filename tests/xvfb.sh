# Sourced by the X server tests: starts Xvfb on a display it picks itself
# and exports DISPLAY. Needs $tmp (a scratch folder) and fail(); sets
# xvfb_pid for the caller's cleanup.
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
