#!/usr/bin/env bash
# Builds the Debian package from a clean build folder. Usage: scripts/package.sh [OUT_DIR]
# The package lands in OUT_DIR (default: dist/ in the source tree).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
out="$(mkdir -p "${1:-$here/dist}" && cd "${1:-$here/dist}" && pwd)"
bash "$here/scripts/deps.sh" dpkg-dev file
build="$(mktemp -d "${TMPDIR:-/tmp}/zestrel-package.XXXXXX")"
trap 'rm -rf "$build"' EXIT
echo "building the package in $build (programs only, no tests or benchmarks)"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DZESTREL_BUILD_TESTS=OFF -DZESTREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target zestrel zestrel-server zestrel-cookbook
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
ls "$out"/*.deb
