#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, only those still missing.
set -euo pipefail
pkgs=(ccache qt6-base-dev libqt6sql6-sqlite libqt6svg6 libgl-dev libasio-dev libnats-dev nats-server libssl-dev openssl libsystemd-dev xvfb xauth poppler-utils libgumbo-dev "$@")
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
