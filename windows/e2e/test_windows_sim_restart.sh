#!/bin/bash
# The Windows program under Wine with the stand-in K8055D.dll (standard calling convention)
# alone: board 0 is found and reported through it; the program survives the simulator going
# away and coming back (the title falls to not connected, the program waits, then links again
# and announces itself anew), and its keys, board 0's buttons and lamps work with the new one.
. "$VALDORA_SOURCE_DIR/tests/e2e/lib.sh"
. "$VALDORA_SOURCE_DIR/windows/e2e/wine.sh"
export VALDORA_WIN_DLL=std
vd_setup

"$VD_BOARDS" plug 0 >/dev/null || vd_fail "cannot plug board 0"
vd_start_sim
vd_start
vd_wait_window
vd_wait_for 30 vd_title_is "$VD_CONNECTED" || vd_fail "never connected: '$(vd_title)'"
vd_wait_for 30 vd_sim_said 'message: "Velleman K8055 Interface detected is on address [Zero] ' ||
    vd_fail "no report of board 0 in the first simulator"
vd_log "ok: connected to the first simulator, board 0 reported"

vd_stop_sim
vd_wait_for 30 vd_title_is "$VD_NOT_CONNECTED" || vd_fail "the title never showed the lost link"
sleep 1
vd_check "still running without the simulator" kill -0 "$VD_PID"
vd_log "ok: link lost, still running"

vd_start_sim
vd_sim_set 0x311A 2 0x1802 || vd_fail "cannot set COM1 standby"
vd_wait_for 30 vd_title_is "$VD_CONNECTED" || vd_fail "never connected again: '$(vd_title)'"
vd_wait_for 10 vd_sim_said 'message: "Valdora V2.08 Connected" (5 s)' ||
    vd_fail "no announcement in the new simulator"
vd_log "ok: linked again and announced in the new simulator"

vd_press period vd_standby_is 0x1805
"$VD_BOARDS" tap step-up 1000 >/dev/null || vd_fail "cannot tap step-up"
vd_wait_for 10 vd_standby_above 0x1805 || vd_fail "step-up on board 0 did not step COM1 standby"
vd_wait_for 20 vd_outputs_on gear-left-down gear-nose-down gear-right-down ||
    vd_fail "the gear down lamps never lit on board 0"
vd_log "ok: a key, board 0's step-up and its lamps work with the new simulator"
vd_stop
