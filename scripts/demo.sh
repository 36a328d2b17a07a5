#!/usr/bin/env bash
# The main job against the simulated box: a KX210 on a pseudo-terminal paced
# like a 115200-baud line, switched on when the tool opens the port; the
# command line connects, uploads the flash-loader, attaches and pings it.
set -euo pipefail
BUILD=${1:-build}
SIM=$BUILD/sim/morvabox-sim
CLI=$BUILD/cli/morvaup-cli
for exe in "$SIM" "$CLI"; do
    [ -x "$exe" ] || { echo "demo: $exe is missing; run make build first" >&2; exit 1; }
done

work=$(mktemp -d)
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

echo "== starting the simulated box (KX210, 115200 baud) on a pseudo-terminal"
# Its own loopback address, so a test run on this machine meanwhile does not collide on port 19288.
"$SIM" --model KX210 --baud 115200 --box-ip 127.0.0.42 --pty-link "$work/box-tty" --trace "$work/trace.log" \
    >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do           # the link appears as soon as the terminal is made
    [ -e "$work/box-tty" ] && break
    sleep 0.1
done
[ -e "$work/box-tty" ] || { echo "demo: the simulator made no pseudo-terminal" >&2; cat "$work/sim.out" >&2; exit 1; }

echo "== morvaup-cli --port $work/box-tty --debug-level 1 ping"
set +e
"$CLI" --port "$work/box-tty" --wait-box 20 --debug-level 1 --lang ENG ping
rc=$?
set -e
echo "== morvaup-cli exit status: $rc"
if [ "$rc" -eq 0 ]; then
    echo "== the frames the box saw (simulator trace, first lines):"
    head -n 12 "$work/trace.log" || true
fi
exit "$rc"
