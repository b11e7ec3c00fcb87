#!/usr/bin/env bash
# A small recipe network on this machine, in one command: builds the three programs it
# needs, starts a relay on 127.0.0.1, three demo members (the real client without a
# window, each with its own sample cookbook) and then your own client, whose cookbook
# starts with about 20 recipes. Closing your
# client (or Ctrl-C) stops everything this script started.
#
#   ZESTREL_HOME   the run folder; nothing is written outside it
#                  (default ~/.local/share/zestrel-demo)
#   ZESTREL_PORT   the relay's port on 127.0.0.1 (default 7520)
#   ZESTREL_BUILD  the build folder (default build-run beside the sources; tests and
#                  benchmarks are not built there, so scripts/test.sh is not affected)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
home="${ZESTREL_HOME:-$HOME/.local/share/zestrel-demo}"
port="${ZESTREL_PORT:-7520}"
build="${ZESTREL_BUILD:-$here/build-run}"

echo "run.sh: building zestrel, zestrel-server and zestrel-cookbook in $build, then starting" \
     "a relay on 127.0.0.1:$port, three demo members and your client (files in $home)"
bash "$here/scripts/build.sh" "$build" -DZESTREL_BUILD_TESTS=OFF -DZESTREL_BUILD_BENCH=OFF \
  -DZESTREL_FUZZ=OFF
client="$build/src/zestrel"
relay="$build/src/server/zestrel-server"
cookbook="$build/tools/cookbook/zestrel-cookbook"

mkdir -p "$home"
home="$(cd "$home" && pwd)"
# Qt's own caches and settings, and anything the client registers for the desktop
# (auto-start), stay inside the run folder too.
export XDG_CONFIG_HOME="$home/xdg/config" XDG_CACHE_HOME="$home/xdg/cache" \
       XDG_DATA_HOME="$home/xdg/data"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME"

pids=()
cleanup() {
  trap - EXIT INT TERM
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  exec 3>&- 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Waits up to $2 seconds until the command $1 succeeds.
wait_for() {
  local deadline=$((SECONDS + $2))
  until eval "$1"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}
sign_ins() { grep -c "sign-in '" "$home/relay.log" 2>/dev/null || true; }

network_settings() {
  printf 'SETTING_VERSION=1\r\nREMOTE_SERVER_IP=127.0.0.1\r\nSERVER_LISTEN_PORT=%s\r\nWINSOCK_CONNECT_TIME_OUT=5\r\n' \
    "$port" > "$1/zestrel.set"
}

# A page for the news tab, sent by the relay once your client is signed in.
cat > "$home/news.html" <<'EOF'
<html><body style="font-family: sans-serif">
<h2>Welcome to the Zestrel demo network</h2>
<p>Three demo members are online: <b>Olivia</b> (Mediterranean cooking), <b>Priya</b>
(Indian and Asian dishes) and <b>Sam</b> (drinks and party food).</p>
<ul>
<li><b>Browse for Recipes</b>: click a member, then a type, a category, a letter group and a
recipe. The recipe shows in the preview and goes into the storage box; Import puts it into
your own cookbook.</li>
<li><b>Search for Recipes</b>: search the cookbooks of every member at once, for example
for <i>curry</i> or <i>punch</i>.</li>
<li><b>Chat</b>: pick a room and join it.</li>
<li><b>Browse &gt; Send Message</b> sends the selected member an instant message. Sam has
instant messages switched off, so he answers automatically.</li>
</ul>
</body></html>
EOF

# The relay, its operator input held open on descriptor 3.
rm -f "$home/relay.in" "$home/relay.out" "$home/relay.log"
mkfifo "$home/relay.in"
exec 3<>"$home/relay.in"
"$relay" --listen "127.0.0.1:$port" --rooms "Lobby,Kitchen,Bakery,Cocktail Bar" --welcome \
  <&3 >"$home/relay.out" 2>"$home/relay.log" &
pids+=($!)
if ! wait_for 'grep -q "^listening on" "$home/relay.out"' 10; then
  echo "run.sh: the relay did not start (is port $port taken? try ZESTREL_PORT=...):" >&2
  cat "$home/relay.log" >&2
  exit 1
fi

# The demo members: name, recipes, seed, food/drink percent, cuisines, instant messages
# switched off, profile.
members=(
  "Olivia|400|11|85,10|Italian,Greek,French|0|Mediterranean home cook"
  "Priya|250|22|75,20|Indian,Thai,Chinese|0|Curries, stir-fries and chai"
  "Sam|150|33|35,55|American,Mexican,Cajun|1|Drinks and party food"
)
for line in "${members[@]}"; do
  IFS='|' read -r name recipes seed mix cuisines noim profile <<<"$line"
  dir="$home/members/$name"
  mkdir -p "$dir"
  if [ ! -f "$dir/cookbook.db" ]; then
    "$cookbook" sample "$dir" --recipes "$recipes" --seed "$seed" --mix "$mix" \
      --cuisines "$cuisines" >/dev/null
  fi
  printf '[PROFILE]\r\nUSERNAME=%s\r\nDESCRIPTION=%s\r\nEXTENDED=A demo member of the run script\r\n[MISC]\r\nALLOWSEARCHES=1\r\nRECONNECT=1\r\nINSTANTMESSAGE=%s\r\nDEV=TRUE\r\nCKFPATH=%s\r\n' \
    "$name" "$profile" "$noim" "$dir/cookbook.ini" > "$dir/zestrel.ini"
  network_settings "$dir"
  QT_QPA_PLATFORM=offscreen "$client" --folder "$dir" >"$dir/output.log" 2>&1 &
  pids+=($!)
done
if ! wait_for '[ "$(sign_ins)" -ge ${#members[@]} ]' 30; then
  echo "run.sh: the demo members did not all sign in; see $home/relay.log and" \
       "$home/members/*/output.log" >&2
fi

# Your own client, with a small starter cookbook to share and to add your own recipes to
# (zestrel-cookbook open "$home/you").
you="$home/you"
mkdir -p "$you"
if [ ! -f "$you/cookbook.db" ]; then
  "$cookbook" sample "$you" --recipes 20 --seed 18 --mix 70,20 >/dev/null
  # All of them count as your own recipes (none shipped with the recipe manager), so every
  # member is offered them, whatever their ALLRECIPES.
  printf '[Misc]\r\nMaxRecipeID=0\r\n' > "$you/cookbook.ini"
fi
network_settings "$you"
# The news page, once your client has signed in.
( wait_for '[ "$(sign_ins)" -gt ${#members[@]} ]' 600 &&
    echo "news file://$home/news.html" >&3 ) &
pids+=($!)
"$client" --folder "$you" || true
