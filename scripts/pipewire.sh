#!/usr/bin/env bash
# A private PipeWire for running the sound tests a second time, against the
# pulse server PipeWire ships instead of PulseAudio itself.
#
#   scripts/pipewire.sh start [DIR]   starts it and prints the line to eval:
#                                     export PULSE_SERVER=unix:DIR/runtime/pulse/native
#   scripts/pipewire.sh stop [DIR]    stops it (by the PIDs written at start)
#
# DIR (default build-pipewire below the repository) holds the runtime,
# config and state folders, the logs and the PID files. Started are
# pipewire, its session manager (wireplumber) and pipewire-pulse, with the
# same devices as scripts/pulse.sh: a null sink "orvo_sink" and the source
# "orvo_rec" recording what was played into it. When PipeWire cannot start
# here, start says why in one line on stderr and exits 1.
set -euo pipefail

cmd="${1:-}"
dir="${2:-$(cd "$(dirname "$0")/.." && pwd)/build-pipewire}"

log() { echo "pipewire.sh: $*" >&2; }

. "$(dirname "$0")/pidfiles.sh"

# Clients first, the daemon last.
do_stop() {
    stop_pidfile "$dir/pacat.pid"
    stop_pidfile "$dir/pipewire-pulse.pid"
    stop_pidfile "$dir/wireplumber.pid"
    stop_pidfile "$dir/pipewire.pid"
    stop_pidfile "$dir/dbus.pid"
}

# Fails the start with one line naming the reason.
fail() {
    log "$*"
    do_stop
    exit 1
}

# Waits up to 10 s for a check to succeed while the process in PID_FILE runs.
wait_for() {
    local pidfile="$1" i
    shift
    for ((i = 0; i < 100; i++)); do
        "$@" >/dev/null 2>&1 && return 0
        alive "$(cat "$pidfile")" || return 1
        sleep 0.1
    done
    return 1
}

# Starts a program in its own session, its output in DIR/NAME.log.
spawn() {
    local name="$1"
    shift
    setsid "$@" </dev/null >"$dir/$name.log" 2>&1 &
    echo $! >"$dir/$name.pid"
}

do_start() {
    local p
    for p in pipewire wireplumber pipewire-pulse pw-cli pactl pacat dbus-daemon; do
        command -v "$p" >/dev/null || { log "$p is not installed (pipewire, pipewire-pulse, wireplumber, pipewire-bin, pulseaudio-utils, dbus-daemon)"; exit 1; }
    done
    do_stop
    mkdir -p "$dir"
    rm -rf "$dir/runtime" "$dir/config" "$dir/state"
    mkdir -m 700 "$dir/runtime" "$dir/config" "$dir/state"
    # Everything PipeWire reads or writes stays inside DIR; a user's session
    # PipeWire or PulseAudio, if any, is neither used nor disturbed.
    export XDG_RUNTIME_DIR="$dir/runtime" PIPEWIRE_RUNTIME_DIR="$dir/runtime" \
        XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state" XDG_DATA_HOME="$dir/state" \
        HOME="$dir/state" PULSE_RUNTIME_PATH="$dir/runtime/pulse"
    unset PULSE_SERVER PULSE_SINK PULSE_SOURCE PULSE_LATENCY_MSEC PIPEWIRE_REMOTE \
        PIPEWIRE_CONFIG_DIR DBUS_SESSION_BUS_ADDRESS
    # The session manager does not start without a session bus: a private
    # one (CI has no user session).
    spawn dbus dbus-daemon --session --nofork --nopidfile --address="unix:path=$dir/runtime/bus"
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/runtime/bus"
    wait_for "$dir/dbus.pid" test -S "$dir/runtime/bus" || fail "the private D-Bus did not start; see $dir/dbus.log"
    spawn pipewire pipewire
    wait_for "$dir/pipewire.pid" pw-cli info 0 || fail "pipewire did not start; see $dir/pipewire.log"
    spawn wireplumber wireplumber
    spawn pipewire-pulse pipewire-pulse
    local socket="$dir/runtime/pulse/native"
    export PULSE_SERVER="unix:$socket"
    wait_for "$dir/pipewire-pulse.pid" pactl info || fail "pipewire-pulse did not start; see $dir/pipewire-pulse.log"
    wait_for "$dir/wireplumber.pid" sh -c 'pw-cli ls Client | grep -qi wireplumber' ||
        fail "wireplumber did not start; see $dir/wireplumber.log"
    pactl load-module module-null-sink sink_name=orvo_sink rate=8000 channels=2 \
        sink_properties=device.description=Orvo-Null-Output >/dev/null ||
        fail "cannot create the null sink orvo_sink"
    pactl load-module module-remap-source master=orvo_sink.monitor source_name=orvo_rec \
        source_properties=device.description=Orvo-Null-Recorder >/dev/null ||
        fail "cannot create the recorder orvo_rec"
    wait_for "$dir/pipewire.pid" sh -c 'pactl list short sources | grep -q "	orvo_rec	"' ||
        fail "the recorder orvo_rec did not appear"
    pactl set-default-sink orvo_sink
    pactl set-default-source orvo_rec
    # The same silent stream as on PulseAudio, so an idle sink is never
    # suspended and both servers run the tests in the same state.
    setsid pacat --playback --raw --format=s16le --rate=8000 --channels=1 \
        --latency-msec=20 --device=orvo_sink --client-name=orvo-keepalive \
        </dev/zero >"$dir/pacat.log" 2>&1 &
    echo $! >"$dir/pacat.pid"
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
