#!/usr/bin/env bash
# Sets up everything and runs every test. Usage: scripts/test.sh [BUILD_DIR] [cmake args...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"; shift || true
bash "$here/scripts/build.sh" "$build" "$@"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 600
