#!/bin/bash
# The master warning on the stand-in aircraft: it flashes with the simulator's clock, goes dark
# with the silence button, comes back when a new warning (a stall) comes up, stands still with
# the clock while the simulator is paused, and the silence button puts it out again.
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim

BOARDS="$VALDORA_RUN_DIR/valdora-boards"
"$BOARDS" plug all >/dev/null || vd_fail "cannot plug the virtual boards"

lamp_is() { # lamp_is NAME VALUE
    [ "$("$BOARDS" get "$1")" = "$2" ]
}

# Watches the master warning for SECONDS and prints which states it showed: "0", "1" or "0 1".
warning_states() {
    local seconds=$1 seen0="" seen1="" tries=$(($1 * 10))
    while [ "$tries" -gt 0 ]; do
        case "$("$BOARDS" get master-warning)" in
        0) seen0=0 ;;
        1) seen1=1 ;;
        esac
        sleep 0.1
        tries=$((tries - 1))
    done
    echo $seen0 $seen1
}

connected() {
    vd_title | grep -q '>>>   Connected   <<<'
}

vd_start
vd_wait_window
vd_wait_for 20 connected || vd_fail "never connected"
vd_wait_for 20 lamp_is power 1 || vd_fail "the lamps were never driven"

# Parked with the engines off: low oil pressure is a warning already at start-up.
vd_expect "the master warning flashes at start-up" "$(warning_states 4)" "0 1"

"$BOARDS" hold silence 1000 || vd_fail "cannot press silence"
vd_wait_for 5 lamp_is master-warning 0 || vd_fail "silence did not put the warning out"
vd_expect "silenced: the master warning stays dark" "$(warning_states 3)" "0"

vd_sim_set 0x036C 1 1 || vd_fail "cannot set a stall"
vd_wait_for 5 lamp_is stall 1 || vd_fail "the stall lamp never lit"
vd_expect "a stall un-silences: the master warning flashes" "$(warning_states 4)" "0 1"

# Paused, the clock stands still and so does the warning.
vd_sim_set 0x0264 2 1 || vd_fail "cannot pause"
sleep 0.5
state="$(warning_states 3)"
case "$state" in
0 | 1) vd_log "ok: paused, the master warning stands at $state" ;;
*) vd_fail "the master warning changed while paused ($state)" ;;
esac
vd_sim_set 0x0264 2 0 || vd_fail "cannot resume"

"$BOARDS" hold silence 1000 || vd_fail "cannot press silence"
vd_wait_for 5 lamp_is master-warning 0 || vd_fail "silence did not put the warning out"
vd_expect "silenced again: dark" "$(warning_states 3)" "0"
vd_check "the stall lamp stays lit" lamp_is stall 1
vd_stop
