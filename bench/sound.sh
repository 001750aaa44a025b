#!/bin/sh
# Sound output benchmarks through a private sound server:
#   bench/sound.sh [KEYS] [SOAK_SECONDS] [ROUNDS]
# key-down to side tone latency over KEYS key-downs (default 50), ROUNDS
# times (default 3) alternating this tree with an older commit (BASE, see
# bench/sound/pair.sh) on the same server; the spread over the rounds is the
# machine's noise. Then this tree's idle key tone plus sending for
# SOAK_SECONDS (default 20; 600 for the ten-minute run) with the underruns
# counted. SOUND_SERVER=pipewire runs it all against the private PipeWire of
# scripts/pipewire.sh instead of PulseAudio.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench-sound}
TARGETS=orvo-sound-bench
. "$root/bench/sound/pair.sh"
keys=${1:-50}
rounds=${3:-3}
server=$root/scripts/pulse.sh
pulse_dir="$build/pulse"
if [ "${SOUND_SERVER:-pulse}" = pipewire ]; then
  server=$root/scripts/pipewire.sh
  pulse_dir="$build/pipewire"
fi
results="$build/results"
trap '"$server" stop "$pulse_dir"; rm -f "$results" "$results.run"' EXIT
eval "$("$server" start "$pulse_dir")"
: >"$results"
r=1
while [ "$r" -le "$rounds" ]; do
  for which in base now; do
    if [ "$which" = base ]; then bin=$base_bin; else bin=$now_bin; fi
    echo "round $r, $which:"
    "$bin/orvo-sound-bench" latency "$keys" >"$results.run"
    grep -v '^RESULT ' "$results.run"
    sed -n "s/^RESULT /$which /p" "$results.run" >>"$results"
  done
  r=$((r + 1))
done
echo
echo "key-down to first tone sample at the sink (ms; min..max of the $rounds rounds' figures):"
for which in base now; do
  awk -v w="$which" '$1 == w {
      n++; m[n] = $2; p[n] = $3; x[n] = $4 }
    function lo(a) { v = a[1]; for (i = 2; i <= n; i++) if (a[i] < v) v = a[i]; return v }
    function hi(a) { v = a[1]; for (i = 2; i <= n; i++) if (a[i] > v) v = a[i]; return v }
    END { printf "  %-5s median %5.1f..%-5.1f  95th percentile %5.1f..%-5.1f  worst %5.1f..%-5.1f\n",
                 (w == "base" ? "older" : "this"), lo(m), hi(m), lo(p), hi(p), lo(x), hi(x) }' "$results"
done
echo
"$now_bin/orvo-sound-bench" soak "${2:-20}"
