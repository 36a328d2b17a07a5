# Sourced by the demo, run-sim and screenshot scripts: starts morvabox-sim on
# a pseudo-terminal and stops it again.
#   start_sim SIM_BINARY WORKDIR ARGS...   sets SIM_PID and SIM_TTY (a symlink in WORKDIR)
#   stop_sim

start_sim() {
    local sim=$1 work=$2
    shift 2
    [ -x "$sim" ] || { echo "$sim is missing; run make build first" >&2; return 1; }
    SIM_TTY="$work/box-tty"
    "$sim" "$@" --pty-link "$SIM_TTY" >"$work/sim.out" 2>&1 &
    SIM_PID=$!
    local _
    for _ in $(seq 50); do          # the link appears as soon as the terminal is made
        [ -e "$SIM_TTY" ] && return 0
        sleep 0.1
    done
    echo "the simulator made no pseudo-terminal:" >&2
    cat "$work/sim.out" >&2
    return 1
}

stop_sim() {
    if [ -n "${SIM_PID:-}" ]; then
        kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
        SIM_PID=
    fi
    return 0
}
