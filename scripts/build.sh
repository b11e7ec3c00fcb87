#!/usr/bin/env bash
# Installs what is missing, configures and builds. Usage: scripts/build.sh [BUILD_DIR] [cmake args...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"; shift || true
bash "$here/scripts/deps.sh"
# A compiler cache, where one is installed, makes rebuilds of other trees cheap.
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
