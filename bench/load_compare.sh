#!/usr/bin/env bash
# Runs the forwarding data server (load_server + load_client) and the libmodbus anchor
# (server + client of a copy of the modbus-anchor folder) one after the other, with the same
# CPU pinning, and prints one table: requests/s, latency, the clients' CPU share and each
# server's CPU microseconds per request.
#
#   bench/load_compare.sh BUILD_BIN_DIR ANCHOR_DIR
# env: CONNS="8" ITEMS="125" DUR=5 WARM=1 REPS=1 PORT=15890 ANCHOR_PORT=15020
#      PIN=1 (server on cpu 0, client on cpu 1) | PIN=2 (both on cpu 0) | PIN=0 (unpinned)
#      FLOOR=1 adds a row for floor_server: replies from a table, no item lookup, no event
#      loop, the most any server could answer under the same client.
#      ALLOW="127.0.0.0/8" runs the forwarding server with that allow-list (and writes only
#      from it); BASE=DIR adds a row "base" for DIR/load_server, an earlier build to compare
#      with, run in the same round.
set -euo pipefail
bin=${1:?directory holding load_server and load_client}
anchor=${2:?a writable copy of the modbus-anchor folder}
CONNS=${CONNS:-8}; ITEMS=${ITEMS:-125}; DUR=${DUR:-5}; WARM=${WARM:-1}; REPS=${REPS:-1}
PORT=${PORT:-15890}; ANCHOR_PORT=${ANCHOR_PORT:-15020}; PIN=${PIN:-1}; FLOOR=${FLOOR:-0}
ALLOW=${ALLOW:-}; BASE=${BASE:-}
allow=(); if [ -n "$ALLOW" ]; then allow=(0 "$ALLOW"); fi
srv_pin=(); cli_pin=()
case "$PIN" in
    1) srv_pin=(taskset -c 0); cli_pin=(taskset -c 1) ;;
    2) srv_pin=(taskset -c 0); cli_pin=(taskset -c 0) ;;
esac
make -s -C "$anchor"

hz=$(getconf CLK_TCK)
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<" $2"; }
spid=

# start_server NAME COMMAND...: starts it pinned, waits for its "listening" line.
start_server() {
    local log=/tmp/load_compare_$1.log
    shift
    "${srv_pin[@]}" "$@" >"$log" 2>&1 &
    spid=$!
    for _ in $(seq 100); do
        grep -q '^listening' "$log" && return 0
        kill -0 "$spid" 2>/dev/null || break
        sleep 0.05
    done
    echo "server did not start:"; cat "$log"; exit 1
}
stop_server() {
    if [ -n "$spid" ] && kill -0 "$spid" 2>/dev/null; then kill -TERM "$spid"; wait "$spid" || true; fi
    spid=
}
trap stop_server EXIT

# measure NAME CONNS ITEMS CLIENT...: one client run against the running server.
measure() {
    local name=$1 c=$2 n=$3
    shift 3
    local k0 k1 t0 t1 out
    k0=$(ticks "$spid"); t0=$(date +%s.%N)
    out=$("${cli_pin[@]}" "$@") || true
    k1=$(ticks "$spid"); t1=$(date +%s.%N)
    local rps; rps=$(field requests_per_s "$out")
    local scpu; scpu=$(awk -v a="$k0" -v b="$k1" -v hz="$hz" -v t0="$t0" -v t1="$t1" \
        'BEGIN { printf "%.0f", 100 * (b - a) / hz / (t1 - t0) }')
    printf "%-10s %5s %5s %10s %8s %8s %8s %7s %7s %7s %7s\n" "$name" "$c" "$n" "$rps" \
        "$(field mean_us "$out")" "$(field p50_us "$out")" "$(field p99_us "$out")" \
        "$(field errors "$out")" "$(field client_cpu_pct "$out")%" "$scpu%" \
        "$(awk -v p="$scpu" -v r="$rps" 'BEGIN { printf "%.1f", (r > 0 ? p * 1e4 / r : 0) }')"
}

life=$(( REPS * $(wc -w <<<"$CONNS") * $(wc -w <<<"$ITEMS") * (DUR + WARM + 3) + 10 ))
echo "# $(date -Is) pin=$PIN dur=${DUR}s warm=${WARM}s load=$(cut -d' ' -f1-3 /proc/loadavg)"
printf "%-10s %5s %5s %10s %8s %8s %8s %7s %7s %7s %7s\n" server conns items req_per_s mean_us p50_us p99_us \
    errors cli_cpu srv_cpu srv_us
for _ in $(seq "$REPS"); do
    for c in $CONNS; do
        for n in $ITEMS; do
            if [ -n "$BASE" ]; then
                start_server base "$BASE/load_server" "$PORT" 10000 "$life"
                measure base "$c" "$n" "$bin/load_client" -p "$PORT" -c "$c" -n "$n" -d "$DUR" -w "$WARM"
                stop_server
            fi
            start_server forwarding "$bin/load_server" "$PORT" 10000 "$life" "${allow[@]}"
            measure forwarding "$c" "$n" "$bin/load_client" -p "$PORT" -c "$c" -n "$n" -d "$DUR" -w "$WARM"
            stop_server
            start_server anchor "$anchor/server" "$ANCHOR_PORT" "$life"
            measure anchor "$c" "$n" "$anchor/client" -p "$ANCHOR_PORT" -c "$c" -n "$n" -d "$DUR" -w "$WARM"
            stop_server
            if [ "$FLOOR" = 1 ]; then
                start_server floor "$bin/floor_server" "$PORT" "$life"
                measure floor "$c" "$n" "$bin/load_client" -p "$PORT" -c "$c" -n "$n" -d "$DUR" -w "$WARM"
                stop_server
            fi
        done
    done
done
