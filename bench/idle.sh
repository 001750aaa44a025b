#!/bin/sh
# Processor time of the desktop program while nothing happens, through a
# private sound server:
#   bench/idle.sh [SECONDS] [ROUNDS]
# The whole process (all threads), offscreen, for SECONDS (default 60)
# after it settles: in Keybd/Mouse mode with nothing keyed or sent, and in
# Sound Input mode decoding a silent input. ROUNDS times (default 3),
# alternating this tree with an older commit (BASE, see bench/sound/pair.sh)
# on the same server; the spread over the rounds is the machine's noise.
# Shares its builds with bench/sound.sh: run one at a time.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench-sound}
TARGETS=orvo-tapmeter
. "$root/bench/sound/pair.sh"
secs=${1:-60}
rounds=${2:-3}
pulse_dir="$build/pulse-idle"
work="$build/idle"
trap '"$root/scripts/pulse.sh" stop "$pulse_dir"' EXIT
eval "$("$root/scripts/pulse.sh" start "$pulse_dir")"
tck=$(getconf CLK_TCK)

# CPU ticks (user + system) of every thread of PID so far.
ticks() { sed -e 's/^.*) //' "/proc/$1/stat" | awk '{print $12 + $13}'; }

# Runs BIN in MODE (0 Keybd/Mouse, 1 Sound Input) and prints its share of one core.
measure() {
  rm -rf "$work"
  mkdir -p "$work/config/OrvoTapmeter" "$work/runtime"
  chmod 700 "$work/runtime"
  printf '[RX]\r\nRXInput=%s\r\nRXDevice=0\r\n' "$2" >"$work/config/OrvoTapmeter/OrvoTapmeter.ini"
  env -u APPDATA HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
    QT_QPA_PLATFORM=offscreen "$1/orvo-tapmeter" >"$work/out.log" 2>&1 &
  pid=$!
  sleep 5
  if [ "$2" = 1 ] && ! pactl list short source-outputs | grep -q .; then
    echo "warning: the program records nothing in Sound Input mode" >&2
  fi
  t0=$(ticks "$pid")
  s0=$(date +%s.%N)
  sleep "$secs"
  t1=$(ticks "$pid")
  s1=$(date +%s.%N)
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo "$t0 $t1 $s0 $s1 $tck" | awk '{printf "%.2f\n", 100 * ($2 - $1) / $5 / ($4 - $3)}'
}

results="$build/idle-results"
: >"$results"
r=1
while [ "$r" -le "$rounds" ]; do
  for which in base now; do
    if [ "$which" = base ]; then bin=$base_bin; else bin=$now_bin; fi
    k=$(measure "$bin" 0)
    s=$(measure "$bin" 1)
    echo "round $r, $which: Keybd/Mouse idle $k %, Sound Input silent $s % of one core"
    echo "$which $k $s" >>"$results"
  done
  r=$((r + 1))
done
echo
echo "whole process, % of one core (min..max of the $rounds rounds):"
for which in base now; do
  awk -v w="$which" '$1 == w { n++; k[n] = $2; s[n] = $3 }
    function lo(a) { v = a[1]; for (i = 2; i <= n; i++) if (a[i] < v) v = a[i]; return v }
    function hi(a) { v = a[1]; for (i = 2; i <= n; i++) if (a[i] > v) v = a[i]; return v }
    END { printf "  %-5s Keybd/Mouse idle %5.2f..%-5.2f  Sound Input, silent input %5.2f..%-5.2f\n",
                 (w == "base" ? "older" : "this"), lo(k), hi(k), lo(s), hi(s) }' "$results"
done
rm -f "$results"
