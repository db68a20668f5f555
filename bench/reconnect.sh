#!/bin/bash
# Reconnection time: the program waits for the simulator (its supervisor tries every 100 ms);
# the stand-in simulator is started, and the time from its start to the program's announcement
# in the simulator's write log is taken, 20 times (goal: median under 150 ms). Before each start
# the program has entered the supervisor's wait (its title says so) and is left waiting a random
# 0.1 to 0.6 s more, so the simulator comes at any point of the supervisor's 100 ms cycle.
#
#   VALDORA_BUILD_DIR=$PWD/build bench/reconnect.sh [RUNS]
. "$(dirname "$0")/../tests/e2e/lib.sh"
VD_NAME=reconnect
runs=${1:-20}
vd_setup
SIM="$VALDORA_RUN_DIR/valdora-sim"

announcements() {
    grep -c -- " 0x32FA 2 0500\$" "$VD_TMP/sim.log" 2>/dev/null || true
}
more_than() { [ "$(announcements)" -gt "$1" ]; }
waiting() { vd_title | grep -q '<<< Not Connected >>>'; }
# Milliseconds since midnight, local time, as the write log stamps its lines.
now_ms() {
    date +%H:%M:%S.%N | awk -F'[:.]' '{ printf "%d\n", ($1 * 3600 + $2 * 60 + $3) * 1000 + substr($4, 1, 3) }'
}

vd_start_sim
vd_start
vd_wait_window
vd_check "connected at first" vd_wait_for 30 more_than 0
sleep 6 # past the boards banner: the main loop runs

times=()
for i in $(seq 1 "$runs"); do
    vd_stop_sim
    vd_wait_for 10 waiting || vd_fail "the program did not notice the simulator leave"
    sleep "0.$((RANDOM % 5 + 1))$((RANDOM % 10))"
    count=$(announcements)
    t0=$(now_ms)
    "$SIM" --log "$VD_TMP/sim.log" --quiet >"$VD_TMP/sim.out" 2>&1 &
    VD_SIM_PID=$!
    vd_wait_for 10 more_than "$count" || vd_fail "no announcement in run $i"
    t1=$(grep -- " 0x32FA 2 0500\$" "$VD_TMP/sim.log" | tail -n 1 |
        awk -F'[:. ]' '{ printf "%d\n", ($1 * 3600 + $2 * 60 + $3) * 1000 + $4 }')
    times+=($((t1 - t0)))
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
median=$(echo "$sorted" | awk '{ a[NR] = $1 } END { if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2 }')
echo "reconnection, simulator start to announcement, $runs runs (ms): $(echo "$sorted" | tr '\n' ' ')"
echo "median ${median} ms, min $(echo "$sorted" | head -n 1) ms, max $(echo "$sorted" | tail -n 1) ms (goal: median under 150 ms)"
vd_stop
