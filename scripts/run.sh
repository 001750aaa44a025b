#!/usr/bin/env bash
# Installs what is needed, builds Orvo Tapmeter (Release) and starts the
# desktop program. Without a display (a session over SSH), or when the
# desktop program could not be built, it demonstrates the command-line tool
# instead: it sends a sample text as Morse to a WAV file and analyses that file.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DORVO_BUILD_TESTS=OFF -DORVO_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)"

# A platform chosen explicitly (QT_QPA_PLATFORM, -platform) is the user's call.
has_display() {
  [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ] && return 0
  local a
  for a in "$@"; do
    case $a in -platform|--platform) return 0 ;; esac
  done
  return 1
}

if [ -x build/bin/orvo-tapmeter ]; then
  if has_display "$@"; then
    exec build/bin/orvo-tapmeter "$@"
  fi
  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): the desktop program needs a desktop session."
  echo "Demonstrating the command-line tool orvo-tapmeter-cli instead."
fi
sample="build/sample-paris.wav"
build/bin/orvo-tapmeter-cli send "paris paris <ar>" -o "$sample" --speed 100
echo "Wrote $sample; analysing it:"
build/bin/orvo-tapmeter-cli analyze "$sample" --speed 100
