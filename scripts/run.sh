#!/usr/bin/env bash
# Installs what is needed, builds Orvo Tapmeter (Release) and starts it.
# Until the desktop program exists this demonstrates the command-line tool:
# it sends a sample text as Morse to a WAV file and analyses that file.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DORVO_BUILD_TESTS=OFF -DORVO_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)"

if [ -x build/bin/orvo-tapmeter ]; then
  exec build/bin/orvo-tapmeter "$@"
fi
sample="build/sample-paris.wav"
build/bin/orvo-tapmeter-cli send "paris paris <ar>" -o "$sample" --speed 100
echo "Wrote $sample; analysing it:"
build/bin/orvo-tapmeter-cli analyze "$sample" --speed 100
