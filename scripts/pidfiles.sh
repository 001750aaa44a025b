# Sourced by scripts/pulse.sh and scripts/pipewire.sh: the processes a
# private sound server runs as, ended by the PID files written at start.

# True while the process exists and is not a zombie.
alive() {
    local pid="$1" state
    [ -r "/proc/$pid/stat" ] || return 1
    state="$(sed -e 's/^.*) //' "/proc/$pid/stat" 2>/dev/null | cut -d' ' -f1)" || return 1
    [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

# Ends the process named in a PID file: TERM, up to 5 s, then KILL.
stop_pidfile() {
    local file="$1" pid i
    [ -f "$file" ] || return 0
    pid="$(cat "$file")"
    rm -f "$file"
    [[ "$pid" =~ ^[0-9]+$ ]] || return 0
    alive "$pid" || return 0
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < 50; i++)); do
        alive "$pid" || break
        sleep 0.1
    done
    if alive "$pid"; then
        kill -KILL "$pid" 2>/dev/null || true
        for ((i = 0; i < 50; i++)); do
            alive "$pid" || break
            sleep 0.1
        done
    fi
    # Our own child (start failed half-way): reap it.
    wait "$pid" 2>/dev/null || true
}
