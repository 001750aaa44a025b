#!/bin/sh
# Sound output benchmarks through a private sound server:
#   bench/sound.sh [KEYS] [SOAK_SECONDS]
# key-down to side tone latency over KEYS key-downs (default 100), then
# idle key tone plus sending for SOAK_SECONDS (default 20; 600 for the
# ten-minute run) with the underruns counted.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench-sound}
log="$build.log"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVO_BUILD_TESTS=OFF &&
       cmake --build "$build" -j2 --target orvo-sound-bench; } >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
pulse_dir="$build/pulse"
trap '"$root/scripts/pulse.sh" stop "$pulse_dir"' EXIT
eval "$("$root/scripts/pulse.sh" start "$pulse_dir")"
"$build/bin/orvo-sound-bench" latency "${1:-100}"
"$build/bin/orvo-sound-bench" soak "${2:-20}"
