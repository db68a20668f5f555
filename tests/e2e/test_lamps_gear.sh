#!/bin/bash
# The gear lamps follow the stand-in aircraft's gear: moving the lever runs the three legs
# through transit, and board 0 shows the transit lamps and then the down lamps (or none when
# up); raising the lever on the ground also lights the gear warning of board 2.
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim

BOARDS="$VALDORA_RUN_DIR/valdora-boards"
"$BOARDS" plug all >/dev/null || vd_fail "cannot plug the virtual boards"

lamps_are() { # lamps_are VALUE NAME...
    local value=$1 name
    shift
    for name in "$@"; do
        [ "$("$BOARDS" get "$name")" = "$value" ] || return 1
    done
}

DOWN="gear-left-down gear-nose-down gear-right-down"
TRANSIT="gear-left-transit gear-nose-transit gear-right-transit"

connected() {
    vd_title | grep -q '>>>   Connected   <<<'
}

vd_start
vd_wait_window
vd_wait_for 20 connected || vd_fail "never connected"
# shellcheck disable=SC2086
vd_wait_for 20 lamps_are 1 $DOWN || vd_fail "the down lamps never lit for the parked aircraft"
# shellcheck disable=SC2086
vd_check "no transit lamp while down and locked" lamps_are 0 $TRANSIT
vd_check "no gear warning while parked" lamps_are 0 gear-warning

vd_sim_set 0x0BE8 4 0 || vd_fail "cannot move the gear lever"
vd_log "gear lever up"
# shellcheck disable=SC2086
vd_wait_for 5 lamps_are 1 $TRANSIT || vd_fail "the transit lamps never lit"
# shellcheck disable=SC2086
vd_check "down lamps out in transit" lamps_are 0 $DOWN
vd_wait_for 5 lamps_are 255 gear-warning || vd_fail "no gear warning for the lever up on the ground"
vd_log "ok: gear warning lit"
# shellcheck disable=SC2086
vd_wait_for 10 lamps_are 0 $TRANSIT $DOWN || vd_fail "the gear lamps did not go out with the gear up"
vd_expect "nose leg up" "$(vd_sim_get 0x0BEC 4)" 0x00000000

vd_sim_set 0x0BE8 4 16383 || vd_fail "cannot move the gear lever"
vd_log "gear lever down"
# shellcheck disable=SC2086
vd_wait_for 5 lamps_are 1 $TRANSIT || vd_fail "the transit lamps never lit on the way down"
# shellcheck disable=SC2086
vd_wait_for 10 lamps_are 1 $DOWN || vd_fail "the down lamps never lit"
# shellcheck disable=SC2086
vd_check "transit lamps out when down" lamps_are 0 $TRANSIT
vd_expect "left leg down" "$(vd_sim_get 0x0BF4 4)" 0x00003FFF
vd_stop
