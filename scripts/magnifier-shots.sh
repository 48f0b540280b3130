#!/usr/bin/env bash
# Writes PNGs of a real magnifier window (X11 under Xvfb) showing a photo fitted, at 100 % and
# at 195 %: lupe-einpassen.png, lupe-100.png, lupe-195.png.
# Usage: scripts/magnifier-shots.sh [photo] [output folder] [build folder]
# Without a photo a generated test card is shown. The build folder must hold tests/ui_tests.
set -euo pipefail
cd "$(dirname "$0")/.."
foto="${1:-}"
ziel="${2:-/tmp/lumora-lupe}"
build="${3:-build}"
mkdir -p "$ziel"
LUMORA_LUPE_BILDER="$ziel" LUMORA_LUPE_FOTO="$foto" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1920x1080x24" \
  "$build/tests/ui_tests" --gtest_filter='LupenBilder.*'
echo "Bilder in $ziel"
