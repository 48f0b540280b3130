#!/usr/bin/env bash
# Starts the real Lumora Studio under Xvfb with the given photos and writes pictures of the
# window: grid-auswahl.png (the grid with three photos selected), info.png (the window with
# the info sheet open), info-blatt.png (the sheet alone) and schmal.png (the smallest window,
# where the toolbar band scrolls and shows its edge fade). The app quits by itself.
# Usage: scripts/screenshots.sh <output folder> <photo>...
# The build folder is $LUMORA_BUILD (default: build); it must hold tools/screenshots/lumora-screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ]; then
  echo "Aufruf: scripts/screenshots.sh <Zielordner> <Foto>..." >&2
  exit 2
fi
ziel="$(realpath -m "$1")"; shift
build="${LUMORA_BUILD:-build}"
mkdir -p "$ziel"
QT_QPA_PLATFORM=xcb timeout 300 \
  xvfb-run -a -s "-screen 0 1600x1000x24" "$build/tools/screenshots/lumora-screenshots" "$ziel" "$@"
ls "$ziel"/*.png
