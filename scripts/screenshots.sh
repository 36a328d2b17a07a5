#!/usr/bin/env bash
# Pictures of the window for docs/: English and German, each on a fresh
# virtual X server with settings of its own, so the language comes from the
# system and no operator settings are read or written.
#   scripts/screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
PROGRAM="$BUILD/ui/morvaup"
[ -x "$PROGRAM" ] || { echo "build first: $PROGRAM is missing" >&2; exit 1; }
mkdir -p docs

shot() {   # LANG value, output file
  local config
  config=$(mktemp -d)
  LANG="$1" LC_ALL= XDG_CONFIG_HOME="$config" \
    xvfb-run -a -s "-screen 0 1024x768x24" "$PROGRAM" --screenshot "$2"
  rm -rf "$config"
  echo "wrote $2"
}

shot C.UTF-8 docs/window-en.png
shot de_DE.UTF-8 docs/window-de.png
