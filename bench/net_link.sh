#!/bin/bash
# The network link against the local interface, side by side in one run, the program under its
# own X server with four virtual boards, the stand-in simulator serving both (--net):
#  1. key to simulator write: a full stop pressed, to the standby's write in the simulator's
#     write log (median of RUNS presses);
#  2. simulator change to lamp: the nose gear set up in the simulator, to the nose-down lamp
#     going out on the virtual board (median of RUNS changes);
#  3. share of one core at rest, connected, over SECONDS (goal: the network link within 0.5 %
#     of a core of the local one), from the threads' CPU times in nanoseconds: the whole program,
#     and the link's own threads (the main thread, which makes the exchanges, and the network
#     link's reader), which the graphics library's polling thread does not blur;
#  4. the pass's round trip as the probe sees it, each way.
#
#   VALDORA_BUILD_DIR=$PWD/build bench/net_link.sh [RUNS] [SECONDS]
. "$(dirname "$0")/../tests/e2e/lib.sh"
VD_NAME=net_link
runs=${1:-15} seconds=${2:-10}
vd_setup
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
BOARDS="$VALDORA_RUN_DIR/valdora-boards"
port=$((20000 + RANDOM % 20000))
node="$VD_TMP/node"
mkdir -p "$node"
now_ms() { date +%s%3N; }
# Milliseconds since midnight, local time, as the write log stamps its lines.
log_ms() { awk -F'[:. ]' '{ printf "%d\n", ($1 * 3600 + $2 * 60 + $3) * 1000 + $4 }'; }
midnight_ms() { date +%H:%M:%S.%N | awk -F'[:.]' '{ printf "%d\n", ($1 * 3600 + $2 * 60 + $3) * 1000 + substr($4, 1, 3) }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# CPU nanoseconds so far of the whole process and of its main thread and link reader.
cpu_ns() {
    local t ns all=0 own=0
    for t in /proc/"$1"/task/*; do
        read -r ns _ <"$t/schedstat" || continue
        all=$((all + ns))
        [ "$t" = "/proc/$1/task/$1" ] || [ "$(cat "$t/comm")" = valdora-net-rea ] && own=$((own + ns))
    done
    echo "$all $own"
}
linked() { vd_title | grep -q '>>>   Connected   <<<'; }

run() { # run local|network: prints "key_ms lamp_ms cpu_percent own_percent" on descriptor 3
    local dir="$VD_TMP/ipc" ini="" keys=() lamps=() i t0 n a b
    [ "$1" = network ] && dir="$node" ini="sim=ws://127.0.0.1:$port"
    VALDORA_IPC_DIR="$dir" "$BOARDS" plug all >/dev/null || vd_fail "cannot plug the boards"
    printf '%s\n' "$ini" >"$VD_RUN/valdora.ini"
    VD_WIN=""
    (cd "$VD_RUN" && VALDORA_IPC_DIR="$dir" exec "$VALDORA_RUN_DIR/valdora") >"$VD_TMP/valdora.log" 2>&1 &
    VD_PID=$!
    vd_wait_window
    vd_wait_for 30 linked || vd_fail "$1: not connected"
    sleep 6 # past the boards banner and the board search
    for i in $(seq "$runs"); do
        vd_sim_set 0x311A 2 0x1800
        sleep 0.3
        n=$(wc -l <"$VD_TMP/sim.log")
        t0=$(midnight_ms)
        vd_key period
        vd_wait_for 5 eval '[ "$(tail -n "+$((n + 1))" "$VD_TMP/sim.log" | grep -c " 0x311A 2 0218")" -ge 1 ]' ||
            vd_fail "$1: the key wrote nothing"
        keys+=($(($(tail -n "+$((n + 1))" "$VD_TMP/sim.log" | grep -m1 " 0x311A 2 0218" | log_ms) - t0)))
        vd_sim_set 0x0BEC 4 16383
        vd_wait_for 5 eval '[ "$(VALDORA_IPC_DIR="$dir" "$BOARDS" get gear-nose-down)" = 1 ]'
        sleep 0.2
        t0=$(now_ms)
        vd_sim_set 0x0BEC 4 0
        until [ "$(VALDORA_IPC_DIR="$dir" "$BOARDS" get gear-nose-down)" = 0 ]; do
            [ $(($(now_ms) - t0)) -lt 5000 ] || vd_fail "$1: the lamp never went out"
        done
        lamps+=($(($(now_ms) - t0)))
    done
    vd_sim_set 0x0BEC 4 16383
    sleep 1
    a=$(cpu_ns "$VD_PID")
    sleep "$seconds"
    b=$(cpu_ns "$VD_PID")
    vd_stop
    VALDORA_IPC_DIR="$dir" "$BOARDS" remove >/dev/null
    echo "$(printf '%s\n' "${keys[@]}" | median) $(printf '%s\n' "${lamps[@]}" | median)" \
        "$(awk -v a="$a" -v b="$b" -v s="$seconds" 'BEGIN { split(a, x, " "); split(b, y, " ")
            printf "%.2f %.3f", (y[1] - x[1]) / s / 1e7, (y[2] - x[2]) / s / 1e7 }')" >&3
}
rtt() { # the probe's round-trip line (network only)
    (cd "$VD_RUN" && "$VALDORA_RUN_DIR/valdora-probe" --once "$@") | grep -Eo '[0-9.]+ ms each|round trip [0-9.]+ ms' | paste -sd ' '
}

vd_start_sim --net="$port"
set -- $(run local 3>&1 >&2)
local_key=$1 local_lamp=$2 local_cpu=$3 local_own=$4
set -- $(run network 3>&1 >&2)
net_key=$1 net_lamp=$2 net_cpu=$3 net_own=$4
echo "local interface: key to write ${local_key} ms, change to lamp ${local_lamp} ms (medians of $runs), at rest ${local_cpu} % of a core (main thread ${local_own} %); probe: $(rtt)"
echo "network link:    key to write ${net_key} ms, change to lamp ${net_lamp} ms (medians of $runs), at rest ${net_cpu} % of a core (main thread and reader ${net_own} %); probe: $(rtt --sim "ws://127.0.0.1:$port")"
awk -v l="$local_cpu" -v n="$net_cpu" -v lo="$local_own" -v no="$net_own" 'BEGIN { d = n - l
    printf "goal: at rest within 0.5 %% of a core of the local one (%+.2f %%, the link'"'"'s own threads %+.3f %%): %s\n", d, no - lo, (d <= 0.5 ? "met" : "MISSED") }'
