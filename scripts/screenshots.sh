#!/usr/bin/env bash
# Starts the real Lumora Studio under Xvfb and writes pictures of it with lumora-screenshots.
# Without a mode: the window with the given photos, grid-auswahl.png (three photos selected),
# info.png (the info sheet open), info-blatt.png (the sheet alone) and schmal.png (the smallest
# window, where the toolbar band scrolls and shows its edge fade). With --magnifier, --overlay
# or --watermark: that part alone, over the first photo or a generated test card.
# Usage: scripts/screenshots.sh [--magnifier|--overlay|--watermark] <output folder> [<photo>...]
# The build folder is $LUMORA_BUILD (default: build); it must hold tools/screenshots/lumora-screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."
modus=()
case "${1:-}" in
  --magnifier|--overlay|--watermark|--panels|--editor) modus=("$1"); shift ;;
esac
if [ $# -lt 1 ] || { [ ${#modus[@]} -eq 0 ] && [ $# -lt 2 ]; }; then
  echo "Aufruf: scripts/screenshots.sh [--magnifier|--overlay|--watermark] <Zielordner> [<Foto>...]" >&2
  exit 2
fi
ziel="$(realpath -m "$1")"; shift
build="${LUMORA_BUILD:-build}"
mkdir -p "$ziel"
QT_QPA_PLATFORM=xcb timeout 300 \
  xvfb-run -a -s "-screen 0 1600x1000x24" "$build/tools/screenshots/lumora-screenshots" "${modus[@]}" "$ziel" "$@"
ls "$ziel"/*.png
