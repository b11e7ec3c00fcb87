#!/usr/bin/env bash
# Sets up everything and runs the program against a relay started on this machine.
# The program folder (settings, sample cookbook) is ~/.local/share/zestrel-demo.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$here/build"
bash "$here/scripts/build.sh" "$build"
folder="${ZESTREL_FOLDER:-$HOME/.local/share/zestrel-demo}"
mkdir -p "$folder"
port="${ZESTREL_PORT:-7520}"
if [ ! -f "$folder/cookbook.db" ]; then
  "$build/tools/cookbook/zestrel-cookbook" create "$folder"
  "$build/tools/cookbook/zestrel-cookbook" sample "$folder" --recipes 300 --seed 1
fi
if [ ! -f "$folder/zestrel.set" ]; then
  printf 'SETTING_VERSION=1\r\nREMOTE_SERVER_IP=127.0.0.1\r\nSERVER_LISTEN_PORT=%s\r\nWINSOCK_CONNECT_TIME_OUT=5\r\n' "$port" > "$folder/zestrel.set"
fi
"$build/src/server/zestrel-server" --listen "127.0.0.1:$port" &
server=$!
sleep 0.5
# A demo member to browse, answering from its own sample cookbook.
"$build/tools/member/zestrel-member" --folder "$folder/demo-member" --port "$port" --name DemoCook &
member=$!
trap 'kill $member $server 2>/dev/null || true' EXIT
"$build/src/zestrel" --folder "$folder"
