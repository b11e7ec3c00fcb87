#!/usr/bin/env bash
# Relay benchmark: the same load against zestrel-server, ngircd (IRC) and mosquitto
# (MQTT 3.1.1), each started here on 127.0.0.1 as a child process with its limits
# raised, a fresh server per scenario. Prints one table and the ratios ours / peer.
#
#   bench/relay.sh                      everything (about 7 minutes once built)
#
# Scenario f is our relay as two nodes joined over one nats-server (all on this
# machine): a, b and c again with the members split over the nodes (a: sender on
# one node, receiver on the other; b: every pair split; c: half the members on
# each), shown beside the single-node figures of the same run.
#   RELAY_SCENARIOS="a c" RELAY_SERVERS="zestrel ngircd" bench/relay.sh
#   RELAY_SECONDS=2 (measured seconds per phase)  RELAY_REPEAT=3 (runs of a, b, c, e)
#   BUILD_DIR=... (default build-bench)
#   RELAY_SKIP_BUILD=1 (use the binaries already in BUILD_DIR)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build-bench}
SECS=${RELAY_SECONDS:-3}
SERVERS=${RELAY_SERVERS:-"zestrel ngircd mosquitto"}
SCENARIOS=${RELAY_SCENARIOS:-"a b c d e f g"}
IDLE=${RELAY_IDLE:-10000}
GMEMBERS=${RELAY_G_MEMBERS:-5000}
REPEAT=${RELAY_REPEAT:-3}

if [ -z "${RELAY_SKIP_BUILD:-}" ]; then
    # The compiler and cmake too, for a machine that has never built the project.
    bash "$ROOT/scripts/deps.sh" ngircd mosquitto nats-server cmake g++
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DZESTREL_BUILD_TESTS=OFF >/dev/null
    cmake --build "$BUILD" --target zestrel-server zestrel-loadgen -j"$(nproc)" >/dev/null
fi
SERVER_BIN=$BUILD/src/server/zestrel-server
LOADGEN=$BUILD/bench/loadgen/zestrel-loadgen
for tool in "$SERVER_BIN" "$LOADGEN"; do
    [ -x "$tool" ] || { echo "missing $tool" >&2; exit 1; }
done
NGIRCD=$(command -v ngircd || echo /usr/sbin/ngircd)
MOSQUITTO=$(command -v mosquitto || echo /usr/sbin/mosquitto)
NATS=$(command -v nats-server || echo /usr/sbin/nats-server)

# 10,000 members need 10,000 descriptors in the server and in the load generator.
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true
if [ "$(ulimit -n)" != unlimited ] && [ "$(ulimit -n)" -lt $((IDLE + 200)) ]; then
    IDLE=$(($(ulimit -n) - 200))
    echo "descriptor limit $(ulimit -n): scenario d uses $IDLE members" >&2
fi

TMP=$(mktemp -d /tmp/zestrel-relay.XXXXXX)
RESULTS=$TMP/results
: >"$RESULTS"
: >"$TMP/loadgen.err"
SPID=""
CLUSTER_PIDS=""

stop_cluster() {
    local p
    for p in $CLUSTER_PIDS; do kill -TERM "$p" 2>/dev/null || true; done
    for p in $CLUSTER_PIDS; do
        for _ in $(seq 50); do
            kill -0 "$p" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$p" 2>/dev/null || true
        wait "$p" 2>/dev/null || true
    done
    CLUSTER_PIDS=""
}

stop_server() {
    if [ -n "$SPID" ] && kill -0 "$SPID" 2>/dev/null; then
        kill -TERM "$SPID" 2>/dev/null || true
        for _ in $(seq 50); do
            kill -0 "$SPID" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$SPID" 2>/dev/null || true
        wait "$SPID" 2>/dev/null || true
    fi
    SPID=""
}
cleanup() {
    stop_server
    stop_cluster
    rm -rf "$TMP"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A port nobody listens on, below the ephemeral range the members' sockets use.
free_port() {
    local p
    for _ in $(seq 100); do
        p=$((20000 + RANDOM % 10000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
            echo "$p"
            return
        fi
    done
    echo "no free port" >&2
    exit 1
}

wait_listening() { # port
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
        kill -0 "$SPID" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}

start_server() { # name -> SPID, PORT, PROTO
    PORT=$(free_port)
    case $1 in
    zestrel)
        PROTO=zestrel
        # The fan-out rate limit is raised the way ngircd's flood penalties are
        # switched off below: c and e measure throughput, not flood control.
        "$SERVER_BIN" --listen "127.0.0.1:$PORT" --max-members 20000 --fanout-rate 1G \
            >"$TMP/zestrel.out" 2>"$TMP/zestrel.log" </dev/null &
        SPID=$!
        ;;
    ngircd)
        PROTO=irc
        cat >"$TMP/ngircd.conf" <<EOF
[Global]
Name = relay.bench
Info = relay benchmark
Listen = 127.0.0.1
Ports = $PORT
MotdPhrase = bench
PidFile = $TMP/ngircd.pid
[Limits]
MaxConnections = 0
MaxConnectionsIP = 0
MaxJoins = 0
MaxPenaltyTime = 0
PingTimeout = 600
PongTimeout = 600
[Options]
DNS = no
Ident = no
PAM = no
EOF
        "$NGIRCD" -n -f "$TMP/ngircd.conf" >"$TMP/ngircd.log" 2>&1 </dev/null &
        SPID=$!
        ;;
    mosquitto)
        PROTO=mqtt
        cat >"$TMP/mosquitto.conf" <<EOF
listener $PORT 127.0.0.1
allow_anonymous true
persistence false
max_connections -1
set_tcp_nodelay true
log_dest stderr
log_type error
log_type warning
EOF
        [ "$(id -u)" -eq 0 ] && echo "user root" >>"$TMP/mosquitto.conf"
        "$MOSQUITTO" -c "$TMP/mosquitto.conf" >"$TMP/mosquitto.log" 2>&1 </dev/null &
        SPID=$!
        ;;
    esac
    wait_listening "$PORT" || { echo "$1 did not start" >&2; return 1; }
}

# Scenario f: one nats-server and two relay nodes; sets PORT and PORT2.
start_cluster() {
    local bus p1 p2 n port
    bus=$(free_port)
    printf 'listen: 127.0.0.1:%s\nmax_payload: 2MB\n' "$bus" >"$TMP/nats.conf"
    "$NATS" -c "$TMP/nats.conf" >"$TMP/nats.log" 2>&1 </dev/null &
    CLUSTER_PIDS="$!"
    SPID=$!
    wait_listening "$bus" || { echo "nats-server did not start" >&2; return 1; }
    p1=$(free_port)
    p2=$(free_port)
    for n in 1 2; do
        port=$p1
        [ "$n" = 2 ] && port=$p2
        "$SERVER_BIN" --listen "127.0.0.1:$port" --max-members 20000 --fanout-rate 1G \
            --cluster "nats://127.0.0.1:$bus" --node "relay$n" \
            >"$TMP/node$n.out" 2>"$TMP/node$n.log" </dev/null &
        CLUSTER_PIDS="$CLUSTER_PIDS $!"
        SPID=$!
        wait_listening "$port" || { echo "relay node $n did not start" >&2; return 1; }
    done
    # Joined once each has seen the other on the bus.
    for _ in $(seq 100); do
        grep -q "node relay2 seen" "$TMP/node1.log" && grep -q "node relay1 seen" "$TMP/node2.log" &&
            break
        sleep 0.05
    done
    PORT=$p1
    PORT2=$p2
    SPID=""
}

# One sub-run of f: the figures of a, b or c go into the table as f rows.
run_f() { # sub-scenario
    # shellcheck disable=SC2046
    timeout 200 "$LOADGEN" --proto zestrel --label zestrel --port "$PORT" --port2 "$PORT2" \
        --scenario "$1" --concurrency 256 $(scenario_args "$1") \
        2> >(sed "s/^/[zestrel f$1] /" >>"$TMP/loadgen.err") |
        sed "s/^\[zestrel\] $1:/[zestrel] f (two nodes), $1:/" |
        awk -v sub_="$1" '/^RESULT/ {
            out = "RESULT"
            for (i = 2; i <= NF; i++) {
                if ($i ~ /^label=/) out = out " " $i
                else if ($i ~ /^scenario=/) out = out " scenario=f"
                else out = out " " sub_ "_" $i
            }
            print out; fflush(); next } { print; fflush() }' |
        tee -a "$RESULTS" | grep -v '^RESULT' || true
}

scenario_args() { # scenario
    case $1 in
    a) echo "--seconds $SECS --window 128" ;;
    b) echo "--seconds $SECS --pairs 200 --rate 100" ;;
    c) echo "--seconds $SECS --members 500 --fan-window 8" ;;
    d) echo "--idle $IDLE --sign-in-timeout 90" ;;
    # Few members and 400-byte lines (IRC caps a line at 512 bytes), so the stalled
    # member's backlog grows by MB/s.
    e) echo "--seconds $SECS --members 20 --payload 400 --fan-window 8" ;;
    # 200 pairs as in b while GMEMBERS more sign in, a fifth of them never reading.
    g) echo "--seconds $SECS --pairs 200 --rate 100 --idle $GMEMBERS --sign-in-timeout 120" ;;
    esac
}

# Sign-ins in flight at once. ngircd listens with a short backlog and loses connects
# beyond a few in flight (they come back only after SYN retries), so it gets 8; the
# others take 256, which lets our relay announce a burst of sign-ins in one write.
concurrency_for() {
    case $1 in
    ngircd) echo 8 ;;
    *) echo 256 ;;
    esac
}

# Each short scenario runs REPEAT times, the servers taking turns, and the table shows
# the median: on a shared machine one run can land on a busy moment. d runs once.
for rep in $(seq "$REPEAT"); do
    for server in $SERVERS; do
        for s in $SCENARIOS; do
            { [ "$s" = d ] || [ "$s" = g ]; } && [ "$rep" -gt 1 ] && continue
            if [ "$s" = f ]; then
                # Only our relay has nodes; its single-node peers stand in a, b and c.
                [ "$server" = zestrel ] || continue
                if ! start_cluster; then
                    echo "RESULT label=zestrel scenario=f error=start" >>"$RESULTS"
                    stop_cluster
                    continue
                fi
                for sub in a b c; do
                    run_f "$sub"
                done
                stop_cluster
                sleep 0.5
                continue
            fi
            if ! start_server "$server"; then
                echo "RESULT label=$server scenario=$s error=start" >>"$RESULTS"
                stop_server
                continue
            fi
            # shellcheck disable=SC2046
            timeout 200 "$LOADGEN" --proto "$PROTO" --label "$server" --port "$PORT" \
                --server-pid "$SPID" --scenario "$s" --concurrency "$(concurrency_for "$server")" \
                $(scenario_args "$s") \
                2> >(sed "s/^/[$server $s] /" >>"$TMP/loadgen.err") |
                tee -a "$RESULTS" | grep -v '^RESULT' || true
            stop_server
            sleep 0.5 # let the closed connections settle
        done
    done
done

echo
awk -v servers="$SERVERS" -v repeat="$REPEAT" '
/^RESULT/ {
    label = ""; sc = ""
    for (i = 2; i <= NF; i++) {
        split($i, kv, "=")
        if (kv[1] == "label") label = kv[2]
        else if (kv[1] == "scenario") sc = kv[2]
    }
    for (i = 2; i <= NF; i++) {
        split($i, kv, "=")
        c = ++cnt[label, sc, kv[1]]
        val[label, sc, kv[1], c] = kv[2]
    }
}
# The median of the runs (the lower middle one for an even count).
function cell(l, s, k,    n, i, j, t, a) {
    n = cnt[l, s, k]
    if (!n) return "-"
    for (i = 1; i <= n; i++) a[i] = val[l, s, k, i] + 0
    for (i = 2; i <= n; i++)
        for (j = i; j > 1 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    return a[int((n + 1) / 2)]
}
function ratio(s, k,    o, p) {
    o = cell("zestrel", s, k); p = cell(peer, s, k)
    if (o == "-" || p == "-" || p + 0 == 0) return "-"
    return sprintf("%.2f", o / p)
}
BEGIN {
    rows = "a msgs_per_s a:delivered_msgs/s_(higher_better);" \
           "b p50_us b:latency_p50_us_(lower);" \
           "b p99_us b:latency_p99_us_(lower);" \
           "b max_us b:latency_max_us_(lower);" \
           "c deliveries_per_s c:fan-out_deliveries/s_(higher);" \
           "d bytes_per_member d:server_bytes_per_idle_member_(lower);" \
           "d members d:idle_members_signed_in;" \
           "e rate_all e:others_rate_all_reading/s;" \
           "e rate_stalled e:others_rate_one_stalled/s;" \
           "e keep_pct e:others_rate_kept_%;" \
           "e keep_late_pct e:others_rate_kept_%,_2nd_half;" \
           "e growth_pct e:server_RSS_growth_2nd_half_%;" \
           "e rss_end_kib e:server_RSS_at_end_KiB;" \
           "e stalled_cut e:stalled_member_cut_(1=yes);" \
           "f a_msgs_per_s f:two_nodes,_a_across_nodes_msgs/s;" \
           "f a_p99_us f:two_nodes,_a_across_nodes_p99_us;" \
           "f b_p50_us f:two_nodes,_b_pairs_across_p50_us;" \
           "f b_p99_us f:two_nodes,_b_pairs_across_p99_us;" \
           "f b_max_us f:two_nodes,_b_pairs_across_max_us;" \
           "f b_arrived f:two_nodes,_b_arrived_of_sent;" \
           "f c_deliveries_per_s f:two_nodes,_c_fan-out_deliveries/s;" \
           "g p50_us g:pairs_p50_us_while_members_sign_in;" \
           "g p99_us g:pairs_p99_us_while_members_sign_in;" \
           "g max_us g:pairs_max_us_while_members_sign_in;" \
           "g joined g:members_signed_in_besides_pairs;" \
           "g peak_rss_kib g:server_peak_RSS_KiB_(VmHWM);" \
           "g pairs_lost g:pair_members_lost"
}
END {
    n = split(servers, sv, " ")
    printf "median of %d runs (d, g: one run)\n", repeat
    printf "%-42s", "metric"
    for (i = 1; i <= n; i++) printf " %12s", sv[i]
    for (i = 1; i <= n; i++) if (sv[i] != "zestrel") printf " %14s", "ours/" sv[i]
    printf "\n"
    m = split(rows, r, ";")
    for (j = 1; j <= m; j++) {
        split(r[j], f, " ")
        s = f[1]; k = f[2]; name = f[3]; gsub(/_/, " ", name)
        any = 0
        for (i = 1; i <= n; i++) if (cell(sv[i], s, k) != "-") any = 1
        if (!any) continue
        printf "%-42s", name
        for (i = 1; i <= n; i++) printf " %12s", cell(sv[i], s, k)
        for (i = 1; i <= n; i++) if (sv[i] != "zestrel") { peer = sv[i]; printf " %14s", ratio(s, k) }
        printf "\n"
    }
}' "$RESULTS"
grep -h 'error=' "$RESULTS" | sed 's/^RESULT /failed run: /' || true
if [ -s "$TMP/loadgen.err" ]; then
    echo "load generator messages (first 20):"
    head -20 "$TMP/loadgen.err"
fi
