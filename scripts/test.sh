#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test: the full
# build, then the core again under AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
jobs="$(nproc)"

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-test -j"$jobs"

# Sound tests play and record through a private sound server, stopped
# however this script ends; here they must run, not skip.
pulse_dir="$PWD/build-test/pulse"
trap 'scripts/pulse.sh stop "$pulse_dir"' EXIT
pulse_env="$(scripts/pulse.sh start "$pulse_dir")"
eval "$pulse_env"
export ORVO_REQUIRE_SOUND=1

# GUI tests run offscreen; the X server tests start Xvfb themselves.
export QT_QPA_PLATFORM=offscreen
(cd build-test && ctest --output-on-failure -j"$jobs" --timeout 600)

# The tests that need the sound server once more, against PipeWire's pulse
# server. Where PipeWire cannot start, one line says why and the run goes on.
pipewire_dir="$PWD/build-test/pipewire"
trap 'scripts/pulse.sh stop "$pulse_dir"; scripts/pipewire.sh stop "$pipewire_dir"' EXIT
mkdir -p "$pipewire_dir"
if pipewire_env="$(scripts/pipewire.sh start "$pipewire_dir" 2>"$pipewire_dir/start.err")"; then
  (eval "$pipewire_env" && cd build-test && ctest -L sound --output-on-failure -j"$jobs" --timeout 600)
  scripts/pipewire.sh stop "$pipewire_dir"
else
  echo "test.sh: sound tests not run against PipeWire: $(tail -n 1 "$pipewire_dir/start.err")"
fi

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DORVO_BUILD_GUI=OFF -DORVO_BUILD_BENCH=OFF >/dev/null
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j"$jobs" --timeout 900)

# The Debian package from the tested build: linted, and in CI installed,
# run and removed again.
unset QT_QPA_PLATFORM
scripts/package-test.sh build-test
