#!/bin/bash
# The engine 1 start button hands the engine to the autostart: the stand-in aircraft's engine
# spins up to its settled speed, the starter and ignition lamps of board 3 go on and off in
# turn, and the generator goes on line.
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim

BOARDS="$VALDORA_RUN_DIR/valdora-boards"
"$BOARDS" plug all >/dev/null || vd_fail "cannot plug the virtual boards"

lamp_is() { # lamp_is NAME VALUE
    [ "$("$BOARDS" get "$1")" = "$2" ]
}

speed_at_least() { # speed_at_least OFFSET VALUE
    [ $(( $(vd_sim_get "$1" 2) )) -ge "$2" ]
}

connected() {
    vd_title | grep -q '>>>   Connected   <<<'
}

vd_start
vd_wait_window
vd_wait_for 20 connected || vd_fail "never connected"
# The always-lit lamp of board 3 shows that the lamps are driven.
vd_wait_for 20 lamp_is power 1 || vd_fail "the lamps were never driven"
vd_check "engine 1 starter lamp dark at rest" lamp_is starter-1 0
vd_check "engine 1 ignition lamp dark at rest" lamp_is ignition-1 0
vd_expect "engine 1 at rest" "$(vd_sim_get 0x0896 2)" 0x0000

"$BOARDS" hold engine-1-start 1000 || vd_fail "cannot press the start button"
vd_wait_for 10 lamp_is starter-1 1 || vd_fail "the starter lamp never lit"
vd_log "ok: starter lamp lit"
vd_expect "fuel pump 1 on" "$(vd_sim_get 0x3125 1)" 0x01
vd_wait_for 10 lamp_is ignition-1 1 || vd_fail "the ignition lamp never lit"
vd_log "ok: ignition lamp lit at light-off"
vd_check "the engine turns past light-off" speed_at_least 0x0896 1115
vd_wait_for 20 lamp_is ignition-1 0 || vd_fail "the ignition lamp never went out"
vd_check "starter lamp out at cut-out" lamp_is starter-1 0
vd_check "past cut-out" speed_at_least 0x0896 8192
vd_expect "starter switch at 2" "$(vd_sim_get 0x0892 2)" 0x0002
vd_expect "fuel pump bit cleared" "$(vd_sim_get 0x3125 1)" 0x00
gen_on_line() {
    [ "$(vd_sim_get 0x3B7C 4)" = 0x00000001 ]
}
vd_wait_for 20 gen_on_line || vd_fail "generator 1 never went on line"
vd_check "settled speed reached" speed_at_least 0x0896 10335
vd_log "ok: generator 1 on line at $(( $(vd_sim_get 0x0896 2) * 100 / 16384 )) %"
vd_expect "engine 2 untouched" "$(vd_sim_get 0x092E 2)" 0x0000

# The engine keeps running at its idle.
sleep 2
vd_check "engine 1 still running" speed_at_least 0x0896 10335
vd_stop
