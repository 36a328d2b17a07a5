#!/usr/bin/env bash
# The window against a simulated box, for trying the tool without hardware:
# starts morvabox-sim on a pseudo-terminal, opens the window with that port
# chosen, and stops the simulator when the window closes.
#   scripts/run-sim.sh BUILD_DIR [MODEL]      (MODEL: KX210 KX23xx SOLAN318 KX4000 KX4020)
set -euo pipefail
BUILD=${1:-build}
MODEL=${2:-KX210}
SIM=$BUILD/sim/morvabox-sim
WINDOW=$BUILD/ui/morvaup
for exe in "$SIM" "$WINDOW"; do
    [ -x "$exe" ] || { echo "run-sim: $exe is missing; run make build first" >&2; exit 1; }
done

work=$(mktemp -d)
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Paced like the real 115200-baud line; its own loopback address for network mode.
"$SIM" --model "$MODEL" --baud 115200 --box-ip 127.0.0.44 --pty-link "$work/box-tty" >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do
    [ -e "$work/box-tty" ] && break
    sleep 0.1
done
[ -e "$work/box-tty" ] || { echo "run-sim: the simulator made no pseudo-terminal" >&2; cat "$work/sim.out" >&2; exit 1; }

echo "A simulated $MODEL is on $work/box-tty (box address 127.0.0.44 for network mode)."
echo "Click Connect: the box switches on when the port is opened."
"$WINDOW" --port "$work/box-tty"
