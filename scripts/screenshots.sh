#!/usr/bin/env bash
# Pictures of the window for docs/: English and German, each on a fresh
# virtual X server with settings of its own, so the language comes from the
# system and no operator settings are read or written. The window as started,
# and the window attached to the simulated box (morvabox-sim on a
# pseudo-terminal, connected automatically, the boot and the Ping in the log).
#   scripts/screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
PROGRAM="$BUILD/ui/morvaup"
SIM="$BUILD/sim/morvabox-sim"
for f in "$PROGRAM" "$SIM"; do
  [ -x "$f" ] || { echo "build first: $f is missing" >&2; exit 1; }
done
mkdir -p docs

shot() {   # LANG value, then the program's options
  local lang=$1 config
  shift
  config=$(mktemp -d)
  LANG="$lang" LC_ALL= XDG_CONFIG_HOME="$config" \
    xvfb-run -a -s "-screen 0 1024x768x24" "$PROGRAM" "$@"
  rm -rf "$config"
  echo "wrote ${*: -1}"
}

# The simulated box for the attached pictures; it switches the box on whenever
# the port is opened.
. scripts/sim.sh
work=$(mktemp -d)
trap 'stop_sim; rm -rf "$work"' EXIT
start_sim "$SIM" "$work" --model KX210 --box-ip 127.0.0.62
PTY=$SIM_TTY

shot C.UTF-8 --screenshot docs/window-en.png
shot de_DE.UTF-8 --screenshot docs/window-de.png
shot C.UTF-8 --port "$PTY" --screenshot-attached docs/window-attached-en.png
shot de_DE.UTF-8 --port "$PTY" --screenshot-attached docs/window-attached-de.png
