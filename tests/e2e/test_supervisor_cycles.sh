#!/bin/bash
# 200 times the simulator is stopped or killed and started again, at random moments of the
# program's work: the program keeps running, reconnects, opens no more files than before and
# leaves no shared block behind.
. "$(dirname "$0")/lib.sh"
vd_setup

linked="Valdora V2.08 >>>   Connected   <<<"
cycles=${VD_CYCLES:-200}

title_is() {
    [ "$(vd_title)" = "$1" ]
}
announcements() {
    grep -c -- " 0x32FA 2 0500\$" "$VD_TMP/sim.log" 2>/dev/null || true
}
more_announcements_than() {
    [ "$(announcements)" -gt "$1" ] && title_is "$linked"
}
open_files() {
    ls "/proc/$VD_PID/fd" | wc -l
}
blocks_of_program() {
    find /dev/shm -maxdepth 1 -name "FsasmLib:IPC:$pid_hex:*" 2>/dev/null | wc -l
}

vd_start_sim
vd_start
vd_wait_window
pid_hex="$(printf '%X' "$VD_PID")"
vd_check "connected at first" vd_wait_for 10 more_announcements_than 0
files_linked="$(open_files)"
vd_log "open files while connected: $files_linked"

for i in $(seq 1 "$cycles"); do
    if [ $((i % 2)) = 0 ]; then
        kill -9 "$VD_SIM_PID" 2>/dev/null
    else
        kill "$VD_SIM_PID" 2>/dev/null
    fi
    wait "$VD_SIM_PID" 2>/dev/null
    VD_SIM_PID=""
    count="$(announcements)"
    vd_start_sim
    if [ $((i % 20)) = 0 ]; then
        # Let the program find its way back in full, then count its open files.
        vd_wait_for 15 more_announcements_than "$count" ||
            vd_fail "no reconnection in cycle $i"
        vd_expect "open files after $i cycles" "$(open_files)" "$files_linked"
        vd_expect "one shared block in use after $i cycles" "$(blocks_of_program)" 1
    else
        sleep "0.$((RANDOM % 3))$((RANDOM % 10))"
    fi
    kill -0 "$VD_PID" 2>/dev/null || vd_fail "the program ended in cycle $i"
done

vd_check "the program reconnects after the last cycle" vd_wait_for 15 more_announcements_than 0
vd_expect "open files at the end" "$(open_files)" "$files_linked"
vd_expect "only the simulator's socket is in the endpoint folder" \
    "$(cd "$VALDORA_IPC_DIR" && ls -- *.sock)" "FS98MAIN.sock"
vd_stop
vd_expect "no shared block of the program is left" "$(blocks_of_program)" 0
