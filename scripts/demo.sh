#!/usr/bin/env bash
# The main job against the simulated box. Grows with the tool; it never pretends.
set -euo pipefail
echo "make demo: the simulated box and the command line are not built yet; nothing to show."
