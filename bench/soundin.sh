#!/bin/sh
# Sound-input benchmarks through a private sound server:
#   bench/soundin.sh [SECONDS] [COUNT]
# CPU share of the program decoding live sound input for SECONDS (default
# 60), then the tone-end to character delay over COUNT tones (default 10).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench-soundin}
log="$build.log"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVO_BUILD_TESTS=OFF &&
       cmake --build "$build" -j2 --target orvo-soundin-bench; } >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
command -v paplay >/dev/null || { echo "paplay is not installed (pulseaudio-utils)" >&2; exit 1; }
pulse_dir="$build/pulse"
trap '"$root/scripts/pulse.sh" stop "$pulse_dir"' EXIT
eval "$("$root/scripts/pulse.sh" start "$pulse_dir")"
"$build/bin/orvo-soundin-bench" cpu "${1:-60}"
"$build/bin/orvo-soundin-bench" latency "${2:-10}"
