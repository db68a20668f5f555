#!/bin/bash
# The Windows program under Wine with the stand-in K8055D_C.dll (C calling convention) alone:
# it links to the Windows stand-in simulator through the window-message IPC and announces
# itself, a tuning key writes the right word, the virtual boards are found, reported and
# driven through the library, and closing the window saves the settings file with CR LF line
# ends and ends the program with 0.
. "$VALDORA_SOURCE_DIR/tests/e2e/lib.sh"
. "$VALDORA_SOURCE_DIR/windows/e2e/wine.sh"
export VALDORA_WIN_DLL=c
vd_setup

"$VD_BOARDS" plug 0 2 >/dev/null || vd_fail "cannot plug the virtual boards"
vd_start_sim
vd_sim_set 0x311A 2 0x1802 || vd_fail "cannot set COM1 standby" # 118.025

vd_start
vd_wait_window
vd_wait_for 30 vd_title_is "$VD_CONNECTED" || vd_fail "never connected: '$(vd_title)'"
vd_wait_for 10 vd_sim_said 'message: "Valdora V2.08 Connected" (5 s)' ||
    vd_fail "no announcement in the simulator"
vd_log "ok: connected and announced"

# Board discovery: boards 0 and 2 opened through the library and reported in the simulator.
vd_wait_for 30 vd_sim_said "message: \"Velleman K8055 Interfaces detected are on addresses [Zero] [Two]" ||
    vd_fail "no board report in the simulator"
vd_expect "boards 0 to 2" "$("$VD_BOARDS" show | grep "^board" | head -n 3)" \
    $'board 0: plugged in, open\nboard 1: not plugged in\nboard 2: plugged in, open'
vd_log "ok: boards 0 and 2 opened and reported"

# A key: full stop steps COM1 standby up by 25 kHz, written as packed BCD to 0x311A.
vd_press period vd_standby_is 0x1805
tr -d '\r' <"$VD_TMP/sim.log" | grep -q ' 0x311A 2 0518$' ||
    vd_fail "no write of 0x1805 to 0x311A in the simulator's log"
vd_log "ok: full stop wrote 118.050 (0x1805) to 0x311A"

# A board input steps the same radio (held a second: a pass may be slow on a busy machine);
# a board output: the parked aircraft's gear is down.
"$VD_BOARDS" tap step-up 1000 >/dev/null || vd_fail "cannot tap step-up"
vd_wait_for 10 vd_standby_above 0x1805 || vd_fail "step-up on board 0 did not step COM1 standby"
vd_wait_for 20 vd_outputs_on gear-left-down gear-nose-down gear-right-down ||
    vd_fail "the gear down lamps never lit on board 0"
vd_log "ok: board 0's step-up stepped COM1 standby, its gear down lamps lit"

vd_stop
ini="$VD_RUN/vd60_rmu.ini"
[ -f "$ini" ] || vd_fail "no settings file after closing"
vd_expect "settings lines" "$(wc -l <"$ini")" 41
vd_expect "lines ending in CR LF" "$(grep -c $'\r$' "$ini")" 41
vd_expect "panel width (line 4)" "$(vd_settings_line 4 | tr -d '\r')" 280
vd_check "line 41 starts with =" grep -q '^=' <(sed -n 41p "$ini")
