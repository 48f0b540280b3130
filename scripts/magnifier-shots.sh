#!/usr/bin/env bash
# Writes PNGs of a real magnifier window (X11 under Xvfb) showing a photo fitted, at 100 % and
# at 195 %: lupe-einpassen.png, lupe-100.png, lupe-195.png.
# Usage: scripts/magnifier-shots.sh [photo] [output folder] [build folder]
# Without a photo a generated test card is shown. The build folder must hold
# tools/screenshots/lumora-screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."
foto="${1:-}"
ziel="${2:-/tmp/lumora-lupe}"
LUMORA_BUILD="${3:-build}" scripts/screenshots.sh --magnifier "$ziel" ${foto:+"$foto"}
