#!/bin/sh
# Builds Release and prints the analyser and generator throughput (times real
# time, one core) and the peak memory of the command-line tool analysing a
# 10-minute recording.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
log="$build.log"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVO_BUILD_GUI=OFF -DORVO_BUILD_TESTS=OFF &&
       cmake --build "$build" -j2 --target orvo-bench orvo-tapmeter-cli; } >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi

wav=$(mktemp --suffix=.wav)
trap 'rm -f "$wav"' EXIT
pin=""
command -v taskset >/dev/null && pin="taskset -c 0"
$pin "$build/bin/orvo-bench" "$wav"

if [ -x /usr/bin/time ]; then
  rss=$( { /usr/bin/time -v $pin "$build/bin/orvo-tapmeter-cli" analyze "$wav" >/dev/null; } 2>&1 |
        sed -n 's/.*Maximum resident set size (kbytes): //p')
  echo "peak memory (orvo-tapmeter-cli analyze, 10-minute file): ${rss} KiB"
else
  echo "peak memory: /usr/bin/time not installed"
fi
