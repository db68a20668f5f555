#!/bin/bash
# The Windows program under Wine survives the simulator going away and coming back: the title
# falls to not connected, the program waits, and when a new simulator window appears it links
# again, announces itself anew and its keys reach the new simulator.
. "$VALDORA_SOURCE_DIR/tests/e2e/lib.sh"
. "$VALDORA_SOURCE_DIR/windows/e2e/wine.sh"
vd_setup

vd_start_sim
vd_start
vd_wait_window
vd_wait_for 30 vd_title_is "$VD_CONNECTED" || vd_fail "never connected: '$(vd_title)'"
vd_wait_for 10 vd_sim_said 'message: "Valdora V2.08 Connected" (5 s)' ||
    vd_fail "no announcement in the first simulator"
vd_log "ok: connected to the first simulator"

vd_stop_sim
vd_wait_for 30 vd_title_is "$VD_NOT_CONNECTED" || vd_fail "the title never showed the lost link"
vd_log "ok: link lost"
sleep 1
vd_check "still running without the simulator" kill -0 "$VD_PID"

vd_start_sim
vd_sim_set 0x311A 2 0x1802 || vd_fail "cannot set COM1 standby"
vd_wait_for 30 vd_title_is "$VD_CONNECTED" || vd_fail "never connected again: '$(vd_title)'"
vd_wait_for 10 vd_sim_said 'message: "Valdora V2.08 Connected" (5 s)' ||
    vd_fail "no announcement in the new simulator"
vd_log "ok: linked again and announced in the new simulator"

standby_is() { [ "$(vd_sim_get 0x311A 2)" = "$1" ]; }
vd_press period standby_is 0x1805
vd_log "ok: a key reaches the new simulator"
vd_stop
