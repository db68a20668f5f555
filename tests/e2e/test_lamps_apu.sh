#!/bin/bash
# The APU: the APU button spins the program's own spool value up (the gauge on board 0 shows
# twice the percentage) and from 50 % the radios are powered through 0x0B52; pressed again it
# winds down. An APU running in the simulator (its own speed at 0x0B54) takes over the gauge.
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim

BOARDS="$VALDORA_RUN_DIR/valdora-boards"
"$BOARDS" plug all >/dev/null || vd_fail "cannot plug the virtual boards"

lamp_is() { # lamp_is NAME VALUE
    [ "$("$BOARDS" get "$1")" = "$2" ]
}

gauge_at_least() {
    [ "$("$BOARDS" get apu-gauge)" -ge "$1" ]
}

power_byte_is() {
    [ "$(vd_sim_get 0x0B52 1)" = "$1" ]
}

connected() {
    vd_title | grep -q '>>>   Connected   <<<'
}

vd_start
vd_wait_window
vd_wait_for 20 connected || vd_fail "never connected"
vd_wait_for 20 lamp_is power 1 || vd_fail "the lamps were never driven"
vd_check "gauge at 0 with the APU off" lamp_is apu-gauge 0
vd_check "APU power byte 0" power_byte_is 0x00

"$BOARDS" hold apu 1000 || vd_fail "cannot press the APU button"
vd_wait_for 60 gauge_at_least 100 || vd_fail "the APU gauge never reached 50 %"
vd_wait_for 5 power_byte_is 0x01 || vd_fail "no APU power for the radios at 50 %"
vd_log "ok: APU at 50 % powers the radios"
vd_wait_for 60 lamp_is apu-gauge 200 || vd_fail "the APU never reached 100 %"
vd_log "ok: gauge at 200 for 100 %"

"$BOARDS" hold apu 1000 || vd_fail "cannot press the APU button"
vd_wait_for 60 power_byte_is 0x00 || vd_fail "the APU power stayed on while winding down"
vd_wait_for 60 lamp_is apu-gauge 0 || vd_fail "the gauge never came back to 0"
vd_log "ok: wound down"

"$VALDORA_RUN_DIR/valdora-sim" apu on || vd_fail "cannot start the simulator's APU"
vd_wait_for 20 lamp_is apu-gauge 200 || vd_fail "the gauge did not follow the simulator's APU"
vd_check "the simulator's APU powers the radios" power_byte_is 0x01
vd_stop
