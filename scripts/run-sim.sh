#!/usr/bin/env bash
# The window against a simulated box, for trying the tool without hardware:
# starts morvabox-sim on a pseudo-terminal, opens the window with that port
# chosen, and stops the simulator when the window closes.
#   scripts/run-sim.sh BUILD_DIR [MODEL]      (MODEL: KX210 KX23xx SOLAN318 KX4000 KX4020)
set -euo pipefail
BUILD=${1:-build}
MODEL=${2:-KX210}
WINDOW=$BUILD/ui/morvaup
. "$(dirname "$0")/sim.sh"
[ -x "$WINDOW" ] || { echo "run-sim: $WINDOW is missing; run make build first" >&2; exit 1; }

work=$(mktemp -d)
trap 'stop_sim; rm -rf "$work"' EXIT

# Paced like the real 115200-baud line; its own loopback address for network mode.
start_sim "$BUILD/sim/morvabox-sim" "$work" --model "$MODEL" --baud 115200 --box-ip 127.0.0.44
echo "A simulated $MODEL is on $SIM_TTY (box address 127.0.0.44 for network mode)."
echo "Click Connect: the box switches on when the port is opened."
"$WINDOW" --port "$SIM_TTY"
