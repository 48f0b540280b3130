#!/usr/bin/env bash
# Installs everything Lumora Studio needs to build, test and run on Debian 12.
# Idempotent: packages already present are left alone. Run as root (or with sudo available).
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config git clang-format
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-image-formats-plugins
  qt6-translations-l10n  # Qt's own dialogs and menus in German
  libvips-dev libvips-tools libjpeg62-turbo-dev
  libraw-dev   # camera RAW files
  libopencv-dev
  libonnx-dev libprotobuf-dev protobuf-compiler
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-inter fonts-dejavu-core
  xvfb xauth x11-utils desktop-file-utils
  dbus udisks2

  libimage-exiftool-perl libheif-examples python3
  tuxpaint-stamps-default  # photographed subjects cut out with alpha, for the segmentation test
  libssl-dev  # SHA-256 of the segmentation model, checked when it is loaded
  scdoc  # the manual pages
  # the Debian packages and their checks (scripts/package.sh)
  debhelper lintian appstream mmdebstrap
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
else
  echo "setup: all packages present"
fi

# npm comes with this machine's Node.js; the model download needs it.
if ! command -v npm >/dev/null 2>&1; then
  echo "setup: npm fehlt - bitte Node.js mit npm installieren" >&2
  exit 1
fi

# The background-removal model, and the runtime that runs it fast.
bash "$(dirname "$0")/fetch-model.sh"
bash "$(dirname "$0")/fetch-onnxruntime.sh"
