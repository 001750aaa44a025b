#!/bin/sh
# Usage: fuzz/run.sh NAME [SECONDS]   NAME: fuzz_wav, fuzz_keys or fuzz_audio
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs NAME for SECONDS (default 60).
# Findings are written to the current directory as crash-*/leak-*/timeout-*.
set -eu
name=${1:?usage: fuzz/run.sh fuzz_wav|fuzz_keys|fuzz_audio [SECONDS]}
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-fuzz}
cxx=${CXX:-$(command -v clang++-14 || command -v clang++)}
cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$build" -j2 --target "$name" >/dev/null
corpus="$root/fuzz/corpus-$name"
mkdir -p "$corpus"
# Leaks inside the decoding libraries themselves are not ours to fix.
LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}" \
exec "$build/bin/$name" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 "$corpus" "$root/fuzz/seeds/$name"
