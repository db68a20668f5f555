#!/bin/bash
# The calibration wizard from F1 with board 0 plugged: the keyboard answers its screens while
# the virtual left throttle is moved to each position; the right throttle is skipped. The new
# points drive the throttle at once, and closing the program saves them in "vd60_rmu.ini".
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim

BOARDS="$VALDORA_RUN_DIR/valdora-boards"
"$BOARDS" plug 0 >/dev/null || vd_fail "cannot plug board 0"

lamp_is() { # lamp_is NAME VALUE
    [ "$("$BOARDS" get "$1")" = "$2" ]
}

connected() {
    vd_title | grep -q '>>>   Connected   <<<'
}

# A point in the middle of the left panel: RMU face normally, the wizard's plain fill while it
# shows a screen.
probe() {
    vd_pixel 140 360
}

probe_is_not() {
    [ "$(probe)" != "$1" ]
}

probe_is() {
    [ "$(probe)" = "$1" ]
}

vd_start
vd_wait_window
vd_wait_for 20 connected || vd_fail "never connected"
# The gear lamps show that the main loop runs (and so reads keys).
vd_wait_for 20 lamp_is gear-left-down 1 || vd_fail "the lamps were never driven"
face="$(probe)"

"$BOARDS" set throttle-left 20
vd_key F1
vd_wait_for 10 probe_is_not "$face" || vd_fail "F1 showed no wizard screen"
fill="$(probe)"
vd_log "ok: the wizard shows its first screen"

vd_key x # reads reverse thrust at 20
"$BOARDS" set throttle-left 60
vd_key x # reads idle at 60
"$BOARDS" set throttle-left 230
vd_key x # reads max thrust at 230
vd_check "the result screen is up" probe_is "$fill"
vd_key x # leaves the results
vd_key s # skips the right throttle
vd_wait_for 10 probe_is "$face" || vd_fail "the RMU did not come back after the wizard"
vd_log "ok: the RMU is back"

# The left throttle is calibrated and in use: at 230 it sends 16230.
throttle_sent() {
    [ "$(vd_sim_get 0x089A 2)" = 0x3F66 ]
}
vd_wait_for 10 throttle_sent || vd_fail "the throttle does not follow the new points (0x089A $(vd_sim_get 0x089A 2))"
vd_log "ok: the left throttle sends 16230 at its max point"

vd_stop
vd_expect "left throttle enabled (line 6)" "$(vd_settings_line 6)" 1
vd_expect "reverse point (line 7)" "$(vd_settings_line 7)" 20
vd_expect "idle point (line 8)" "$(vd_settings_line 8)" 60
vd_expect "max point (line 9)" "$(vd_settings_line 9)" 230
vd_expect "right throttle left disabled (line 10)" "$(vd_settings_line 10)" 0
vd_expect "right throttle points untouched (line 11)" "$(vd_settings_line 11)" -1
