#!/bin/bash
# The simulator link from the outside: waiting without a simulator (title, live layout keys),
# connecting and announcing, losing and regaining the simulator mid-run, and closing the window
# during the wait.
. "$(dirname "$0")/lib.sh"
vd_setup

waiting="Valdora V2.08 <<< Not Connected >>>"
linked="Valdora V2.08 >>>   Connected   <<<"
# The announcement as the simulator's log shows it: the text with its zero, then 5 as 2 bytes.
text_hex="$(printf 'Valdora V2.08 Connected' | od -An -tx1 | tr -d ' \n' | tr a-f A-F)00"
announce_text=" 0x3380 24 $text_hex\$"
announce_time=" 0x32FA 2 0500\$"

title_is() {
    [ "$(vd_title)" = "$1" ]
}

announcements() { # how many display times the simulator received
    grep -c -- "$announce_time" "$VD_TMP/sim.log" 2>/dev/null || true
}

announcements_are() {
    [ "$(announcements)" = "$1" ]
}

# Started without a simulator: the waiting title, and the layout keys still work.
vd_start
vd_wait_window
vd_check "without a simulator the title says so" vd_wait_for 10 title_is "$waiting"
set -- $(vd_outer)
vd_press i vd_outer_is "$1" "$2" $(($3 + 2)) "$4"
vd_log "ok: a layout key resizes the window during the wait"
vd_check "the wait goes on after the key" title_is "$waiting"

# The simulator appears: connected title and one announcement shown for 5 seconds.
vd_start_sim
vd_check "the program connects once the simulator is there" vd_wait_for 10 title_is "$linked"
vd_check "the announcement's display time 5 arrives" vd_wait_for 5 announcements_are 1
vd_check "the announcement's text arrives with its zero" grep -q -- "$announce_text" "$VD_TMP/sim.log"
text_before_time() {
    grep -B1 -- "$announce_time" "$VD_TMP/sim.log" | head -n 1 | grep -q -- "$announce_text"
}
vd_check "the text comes just before the time" text_before_time

# Lost mid-run and back: the wait, then a second announcement.
vd_stop_sim
vd_check "losing the simulator brings back the wait" vd_wait_for 10 title_is "$waiting"
vd_start_sim
vd_check "the program reconnects" vd_wait_for 10 title_is "$linked"
vd_check "and announces itself again" vd_wait_for 5 announcements_are 2

# A simulator killed outright leaves its socket behind; the next one still serves.
kill -9 "$VD_SIM_PID"
wait "$VD_SIM_PID" 2>/dev/null
VD_SIM_PID=""
vd_check "a killed simulator brings back the wait" vd_wait_for 10 title_is "$waiting"
vd_start_sim
vd_check "the program reconnects to its successor" vd_wait_for 10 title_is "$linked"
vd_check "with a third announcement" vd_wait_for 5 announcements_are 3

# Closing the window during the wait ends the program with 0, saves the settings, and
# announces nothing.
vd_stop_sim
vd_check "the wait again" vd_wait_for 10 title_is "$waiting"
rm -f "$VD_RUN/vd60_rmu.ini"
pid_hex="$(printf '%X' "$VD_PID")"
vd_stop
vd_check "the settings were saved" test -f "$VD_RUN/vd60_rmu.ini"
vd_expect "no announcement after the window was closed" "$(announcements)" 3
vd_check "no shared block of the program is left behind" \
    test -z "$(find /dev/shm -maxdepth 1 -name "FsasmLib:IPC:$pid_hex:*" 2>/dev/null)"

# A program killed outright cannot remove its shared block: the simulator does, once it sees
# the program's process gone.
vd_start_sim
vd_start
vd_wait_window
vd_check "connected again" vd_wait_for 10 title_is "$linked"
pid_hex="$(printf '%X' "$VD_PID")"
block_of_program() {
    [ -n "$(find /dev/shm -maxdepth 1 -name "FsasmLib:IPC:$pid_hex:*" 2>/dev/null)" ]
}
blocks_of_killed() {
    ! block_of_program
}
vd_check "the program's block exists while it runs" block_of_program
kill -9 "$VD_PID"
vd_check "a killed program's block is removed by the simulator" vd_wait_for 10 blocks_of_killed
wait "$VD_PID" 2>/dev/null
VD_PID=""
