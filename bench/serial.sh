#!/bin/sh
# Serial key benchmark through a private sound server:
#   bench/serial.sh [KEYS]
# key-down to side tone latency of a CTS edge beside the Right-arrow key's
# (KEYS key-downs of each, default 100).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench-sound}
log="$build.log"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVO_BUILD_TESTS=OFF &&
       cmake --build "$build" -j2 --target orvo-serial-bench; } >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
pulse_dir="$build/pulse"
trap '"$root/scripts/pulse.sh" stop "$pulse_dir"' EXIT
eval "$("$root/scripts/pulse.sh" start "$pulse_dir")"
"$build/bin/orvo-serial-bench" "${1:-100}"
