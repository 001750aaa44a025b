#!/usr/bin/env bash
# A private PulseAudio server for the sound tests and benchmarks.
#
#   scripts/pulse.sh start [DIR]   starts it and prints the line to eval:
#                                  export PULSE_SERVER=unix:DIR/native
#   scripts/pulse.sh stop [DIR]    stops it (by the PIDs written at start)
#
# DIR (default build-pulse below the repository) holds the socket, the
# server's runtime and state folders, its script and the PID files. The
# server plays into a null sink "orvo_sink" and offers what was played as
# the source "orvo_rec" (Qt hides monitor sources, a remap source is not).
set -euo pipefail

cmd="${1:-}"
dir="${2:-$(cd "$(dirname "$0")/.." && pwd)/build-pulse}"

log() { echo "pulse.sh: $*" >&2; }

. "$(dirname "$0")/pidfiles.sh"

do_stop() {
    stop_pidfile "$dir/pacat.pid"
    stop_pidfile "$dir/pulseaudio.pid"
}

do_start() {
    command -v pulseaudio >/dev/null || { log "pulseaudio is not installed"; exit 1; }
    command -v pactl >/dev/null || { log "pactl is not installed (pulseaudio-utils)"; exit 1; }
    do_stop
    mkdir -p "$dir"
    rm -rf "$dir/runtime" "$dir/state" "$dir/native"
    mkdir -m 700 -p "$dir/runtime" "$dir/state"
    local socket="$dir/native"
    cat >"$dir/server.pa" <<EOF
load-module module-native-protocol-unix socket=$socket auth-anonymous=1
load-module module-null-sink sink_name=orvo_sink rate=8000 channels=2 sink_properties=device.description=Orvo-Null-Output
load-module module-remap-source master=orvo_sink.monitor source_name=orvo_rec source_properties=device.description=Orvo-Null-Recorder
set-default-sink orvo_sink
set-default-source orvo_rec
EOF
    # The server's own folders stay inside DIR; a user's session server, if
    # any, is neither used nor disturbed.
    export XDG_RUNTIME_DIR="$dir/runtime" PULSE_RUNTIME_PATH="$dir/runtime" \
        PULSE_STATE_PATH="$dir/state" PULSE_CONFIG_PATH="$dir/state" HOME="$dir/state"
    unset PULSE_SERVER PULSE_SINK PULSE_SOURCE PULSE_LATENCY_MSEC
    setsid pulseaudio -n -F "$dir/server.pa" --daemonize=no --exit-idle-time=-1 \
        --use-pid-file=no --disallow-exit --log-target=file:"$dir/server.log" \
        </dev/null >/dev/null 2>&1 &
    echo $! >"$dir/pulseaudio.pid"
    export PULSE_SERVER="unix:$socket"
    local i ok=0
    for ((i = 0; i < 100; i++)); do
        if pactl info >/dev/null 2>&1; then ok=1; break; fi
        alive "$(cat "$dir/pulseaudio.pid")" || break
        sleep 0.1
    done
    if [ "$ok" != 1 ]; then
        log "the server did not start; see $dir/server.log"
        do_stop
        exit 1
    fi
    # An idle null sink stalls the first stream for up to two seconds: keep
    # a silent low-latency stream playing, and wake the sink once.
    setsid pacat --playback --raw --format=s16le --rate=8000 --channels=1 \
        --latency-msec=20 --device=orvo_sink --client-name=orvo-keepalive \
        </dev/zero >/dev/null 2>&1 &
    echo $! >"$dir/pacat.pid"
    pactl suspend-sink orvo_sink 1
    pactl suspend-sink orvo_sink 0
    echo "export PULSE_SERVER=unix:$socket"
}

case "$cmd" in
start) do_start ;;
stop) do_stop ;;
*)
    echo "usage: $0 start|stop [DIR]" >&2
    exit 2
    ;;
esac
