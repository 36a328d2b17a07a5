#!/usr/bin/env bash
# The main job against the simulated box: a KX210 on a pseudo-terminal paced
# like a 115200-baud line, switched on when the tool opens the port; the
# command line connects, uploads the flash-loader, attaches and pings it.
set -euo pipefail
BUILD=${1:-build}
CLI=$BUILD/cli/morvaup-cli
. "$(dirname "$0")/sim.sh"
[ -x "$CLI" ] || { echo "demo: $CLI is missing; run make build first" >&2; exit 1; }

work=$(mktemp -d)
trap 'stop_sim; rm -rf "$work"' EXIT

echo "== starting the simulated box (KX210, 115200 baud) on a pseudo-terminal"
# Its own loopback address, so a test run on this machine meanwhile does not collide on port 19288.
start_sim "$BUILD/sim/morvabox-sim" "$work" --model KX210 --baud 115200 --box-ip 127.0.0.42 --trace "$work/trace.log"

echo "== morvaup-cli --port $SIM_TTY --debug-level 1 ping"
set +e
"$CLI" --port "$SIM_TTY" --wait-box 20 --debug-level 1 --lang ENG ping
rc=$?
set -e
echo "== morvaup-cli exit status: $rc"
if [ "$rc" -eq 0 ]; then
    echo "== the frames the box saw (simulator trace, first lines):"
    head -n 12 "$work/trace.log" || true
fi
exit "$rc"
