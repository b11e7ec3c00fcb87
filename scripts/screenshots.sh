#!/usr/bin/env bash
# Screenshots of every tab and of every menu of the main window, for the README.
# Runs a relay, a demo member to browse and the program on a virtual X screen (Xvfb),
# drives it with xdotool and captures the screen with ImageMagick's `import`.
# Usage: scripts/screenshots.sh [build folder]   (writes docs/window-*.png)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
out="$here/docs"
bash "$here/scripts/deps.sh" imagemagick xdotool
for t in zestrel zestrel-server zestrel-cookbook; do
  cmake --build "$build" --target "$t" -j2 >/dev/null
done

work="$(mktemp -d)"
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1100x760x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

port=$((20000 + RANDOM % 20000))
folder="$work/anna"
mkdir -p "$folder"
"$build/tools/cookbook/zestrel-cookbook" create "$folder" >/dev/null
"$build/tools/cookbook/zestrel-cookbook" sample "$folder" --recipes 120 --seed 3 >/dev/null
printf 'SETTING_VERSION=1\r\nREMOTE_SERVER_IP=127.0.0.1\r\nSERVER_LISTEN_PORT=%s\r\nWINSOCK_CONNECT_TIME_OUT=5\r\n' "$port" > "$folder/zestrel.set"
printf '[PROFILE]\r\nUSERNAME=Anna\r\nGETALLPROFILEDATA=1\r\nDESCRIPTION=Home baker\r\n\r\n[MISC]\r\nAUTOEXPANDNODES=1\r\nALLRECIPES=1\r\n' > "$folder/zestrel.ini"

"$build/src/server/zestrel-server" --listen "127.0.0.1:$port" 2>/dev/null &
pids+=($!)
sleep 0.5
# The demo member is the real program without a screen of its own.
demo="$work/demo"
mkdir -p "$demo"
"$build/tools/cookbook/zestrel-cookbook" create "$demo" >/dev/null
"$build/tools/cookbook/zestrel-cookbook" sample "$demo" --recipes 200 --seed 1 >/dev/null
cp "$folder/zestrel.set" "$demo/zestrel.set"
printf '[PROFILE]\r\nUSERNAME=DemoCook\r\nDESCRIPTION=A demo member\r\n[MISC]\r\nALLOWSEARCHES=1\r\nDEV=TRUE\r\n' > "$demo/zestrel.ini"
XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen "$build/src/zestrel" --folder "$demo" >/dev/null 2>&1 &
pids+=($!)
sleep 1
XDG_CONFIG_HOME="$work/config" "$build/src/zestrel" --folder "$folder" >/dev/null 2>&1 &
pids+=($!)

window=""
for _ in $(seq 100); do
  window="$(xdotool search --name '^ZESTREL Recipe tool for use with the Cookfolio$' 2>/dev/null | head -1 || true)"
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 2
# Any message boxes of the start (no cookbook notice etc.) go first.
for w in $(xdotool search --name '^Zestrel Message Center$' 2>/dev/null || true); do
  xdotool windowunmap "$w" || true
done
xdotool windowsize "$window" 1000 700 windowmove "$window" 20 20 windowactivate --sync "$window" || true
sleep 1

shot() { # name
  sleep 1.2
  import -window root -crop 1040x740+0+0 +repage "$out/$1.png"
  echo "docs/$1.png"
}
key() { xdotool key --window "$window" "$@"; }
# The window opens on the News tab; the others are picked by a click on their headers
# (positions in the 1000x700 window).
tab() { xdotool mousemove --window "$window" "$1" 41 click 1; }
shot window-news
tab 78; shot window-browse
tab 215; shot window-search
tab 310; shot window-chat
tab 365
for m in f b s n h; do
  key alt+$m
  name=$(case $m in f) echo file;; b) echo browse;; s) echo search;; n) echo news;; h) echo help;; esac)
  shot "menu-$name"
  key Escape
done
