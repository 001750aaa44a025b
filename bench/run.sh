#!/usr/bin/env bash
# Builds Release and prints the analyser and generator throughput (times real
# time, one core), the whole `analyze` process with either detector beside
# multimon-ng's Morse decoder on the same recording (when installed), and the
# peak memory of the command-line tool analysing a 10-minute recording, and
# `report` over 100 practice sessions of 10 minutes each.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
log="$build.log"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVO_BUILD_GUI=OFF -DORVO_BUILD_TESTS=OFF &&
       cmake --build "$build" -j2 --target orvo-bench orvo-report-bench orvo-tapmeter-cli; } >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi

wav=$(mktemp --suffix=.wav)
raw=$(mktemp --suffix=.raw)
trap 'rm -f "$wav" "$raw"' EXIT
pin=""
command -v taskset >/dev/null && pin="taskset -c 0"
$pin "$build/bin/orvo-bench" "$wav" "$raw"

# The whole process, each command once per round in turn, so that all see
# the same machine; min and max over the rounds show the machine's noise.
rounds=${ROUNDS:-7}
names=("analyze, standard detector" "analyze, robust detector" "multimon-ng -a MORSE_CW (22050 Hz raw)")
cmds=("$build/bin/orvo-tapmeter-cli analyze $wav" "$build/bin/orvo-tapmeter-cli analyze $wav --detector robust"
      "multimon-ng -q -t raw -a MORSE_CW $raw")
have_peer=1
command -v multimon-ng >/dev/null || have_peer=0
times=$(mktemp)
trap 'rm -f "$wav" "$raw" "$times"' EXIT
for _ in $(seq "$rounds"); do
  for i in 0 1 2; do
    [ "$i" -eq 2 ] && [ "$have_peer" -eq 0 ] && continue
    t0=$(date +%s.%N)
    $pin ${cmds[$i]} >/dev/null 2>&1
    t1=$(date +%s.%N)
    echo "$i $t0 $t1" >>"$times"
  done
done
echo "whole process, one core, 600 s recording ($rounds rounds, min..max):"
for i in 0 1 2; do
  if [ "$i" -eq 2 ] && [ "$have_peer" -eq 0 ]; then
    echo "  ${names[$i]}: not installed"
    continue
  fi
  awk -v i="$i" -v name="${names[$i]}" '$1 == i { d = $3 - $2; if (n++ == 0 || d < lo) lo = d; if (d > hi) hi = d }
    END { printf "  %-40s %6.3f..%6.3f s\n", name, lo, hi }' "$times"
done
if [ "$have_peer" -eq 1 ]; then
  # Per round: how many times faster than the peer in the same round.
  awk '$1 == 0 { own0 = $3 - $2 } $1 == 1 { own1 = $3 - $2 }
       $1 == 2 { peer = $3 - $2; s = peer / own0; t = peer / own1;
                 if (n++ == 0) { slo = shi = s; tlo = thi = t }
                 if (s < slo) slo = s; if (s > shi) shi = s; if (t < tlo) tlo = t; if (t > thi) thi = t }
       END { printf "  times faster than multimon-ng, per round: standard %.2f..%.2fx, robust %.2f..%.2fx\n",
                    slo, shi, tlo, thi }' "$times"
fi

if [ -x /usr/bin/time ]; then
  rss=$( { /usr/bin/time -v $pin "$build/bin/orvo-tapmeter-cli" analyze "$wav" >/dev/null; } 2>&1 |
        sed -n 's/.*Maximum resident set size (kbytes): //p')
  echo "peak memory (orvo-tapmeter-cli analyze, 10-minute file): ${rss} KiB"
else
  echo "peak memory: /usr/bin/time not installed"
fi

# `report` over 100 practice sessions of 10 minutes each, in seconds.
$pin "$build/bin/orvo-report-bench"
