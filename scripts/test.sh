#!/usr/bin/env bash
# Sets up everything and runs every test. Usage: scripts/test.sh [BUILD_DIR] [cmake args...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"; shift || true
# The packaging check needs the Debian tools that validate what is installed.
bash "$here/scripts/deps.sh" desktop-file-utils appstream dpkg-dev file systemd
bash "$here/scripts/build.sh" "$build" "$@"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 600
