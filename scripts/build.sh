#!/usr/bin/env bash
# Installs what is missing, configures and builds. Usage: scripts/build.sh [BUILD_DIR] [cmake args...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"; shift || true
bash "$here/scripts/deps.sh"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
