#!/bin/bash
# A cockpit journey with all four virtual boards plugged: the calibration wizard (F1) recording
# the left throttle, which then drives the simulator and is saved at exit; the master warning
# flashing, the APU button spinning the gauge up, the engine 1 start button running the autostart
# to the generator. What the boards' report, the APU's power byte and the autostart write is the
# recorded session's (test_default_writes.sh); the silence button and the lamps of each start
# phase are the unit tests'.
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim
"$VD_BOARDS" plug all >/dev/null || vd_fail "cannot plug the virtual boards"
warning_states() { # the states the master warning shows within 3 s: "0", "1" or "0 1"
    for n in $(seq 30); do "$VD_BOARDS" get master-warning | tr -d '\r'; sleep 0.1; done |
        grep -x '[01]' | sort -u | paste -sd ' '
}
hold() { "$VD_BOARDS" hold "$1" 1000 || vd_fail "cannot press $1"; }

vd_start
vd_wait_for 20 vd_outputs_are 1 power gear-left-down gear-nose-down gear-right-down ||
    vd_fail "the lamps were never driven"
shot() { import -window "$VD_WIN" rgb:- 2>/dev/null | md5sum; }
face="$(shot)" # the wizard's screens replace the RMU while it runs
"$VD_BOARDS" set throttle-left 20
vd_key F1
vd_wait_for 10 eval '[ "$(shot)" != "$face" ]' || vd_fail "F1 showed no wizard"
vd_key x # reverse thrust at 20
"$VD_BOARDS" set throttle-left 60
vd_key x # idle at 60
"$VD_BOARDS" set throttle-left 230
vd_key x x s s s s s s s # max thrust at 230, results; every other axis skipped
vd_wait_for 10 eval '[ "$(shot)" = "$face" ]' || vd_fail "the RMU did not come back"
vd_check "the new points drive the throttle: 16230" vd_wait_for 10 vd_sim_is 0x089A 2 0x3F66
vd_expect "the master warning flashes (low oil pressure)" "$(warning_states)" "0 1"
hold apu
vd_check "the gauge shows 100 % as 200" vd_wait_for 60 vd_outputs_are 200 apu-gauge
hold engine-1-start
vd_check "starter lamp" vd_wait_for 10 vd_outputs_are 1 starter-1
vd_check "generator 1 on line" vd_wait_for 20 vd_sim_is 0x3B7C 4 0x00000001
vd_stop
# The saved calibration of the left throttle (in use, 20, 60, 230, not reversed); Wine may
# finish writing the file a moment after the program's process is gone.
saved_left_throttle() { [ "$(for n in 6 7 8 9 10; do vd_settings_line $n; done | tr '\n' ' ')" = "1 20 60 230 0 " ]; }
vd_check "saved: left throttle in use, 20, 60, 230" vd_wait_for 10 saved_left_throttle
