#!/usr/bin/env bash
# Installs what is needed, builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO bash scripts/setup.sh
# Compiler cache hits across checkouts in different folders (CI clones into a folder of its own).
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$(pwd)")} CCACHE_NOHASHDIR=1
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure
