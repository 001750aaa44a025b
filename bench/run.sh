#!/bin/sh
# Builds Release and prints the analyser and generator throughput (times real
# time, one core), the whole `analyze` process with either detector beside
# multimon-ng's Morse decoder on the same recording (when installed), and the
# peak memory of the command-line tool analysing a 10-minute recording, and
# `report` over 100 practice sessions of 10 minutes each.
set -eu
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

# Best of five runs of a whole process, in seconds.
best() {
  b=""
  for _ in 1 2 3 4 5; do
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s.%N)
    b=$(echo "$t0 $t1 ${b:-999}" | awk '{d = $2 - $1; print (d < $3 ? d : $3)}')
  done
  echo "$b"
}
echo "whole process, one core, 600 s recording (best of 5):"
for what in "analyze, standard detector|$build/bin/orvo-tapmeter-cli analyze $wav" \
            "analyze, robust detector|$build/bin/orvo-tapmeter-cli analyze $wav --detector robust" \
            "multimon-ng -a MORSE_CW (22050 Hz raw)|multimon-ng -q -t raw -a MORSE_CW $raw"; do
  name=${what%%|*}
  cmd=${what#*|}
  if [ "${cmd%% *}" = multimon-ng ] && ! command -v multimon-ng >/dev/null; then
    echo "  $name: not installed"
    continue
  fi
  s=$(best $pin $cmd)
  echo "$s $name" | awk '{n = $1; $1 = ""; printf "  %-40s %7.3f s = %6.0fx real time\n", substr($0, 2), n, 600 / n}'
done

if [ -x /usr/bin/time ]; then
  rss=$( { /usr/bin/time -v $pin "$build/bin/orvo-tapmeter-cli" analyze "$wav" >/dev/null; } 2>&1 |
        sed -n 's/.*Maximum resident set size (kbytes): //p')
  echo "peak memory (orvo-tapmeter-cli analyze, 10-minute file): ${rss} KiB"
else
  echo "peak memory: /usr/bin/time not installed"
fi

# `report` over 100 practice sessions of 10 minutes each, in seconds.
$pin "$build/bin/orvo-report-bench"
