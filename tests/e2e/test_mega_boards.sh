#!/bin/bash
# The cockpit on one simulated Arduino Mega (the firmware in simavr, its serial port on a
# pseudo-terminal): found as four boards, the lamps follow the stand-in aircraft, the tuning
# panel steps COM1, a calibrated throttle sends its value, the board unplugged and plugged back
# in is survived (lamps sent again), and a killed program leaves the lamps dark within seconds.
. "$(dirname "$0")/lib.sh"

MEGA_SIM="$VALDORA_RUN_DIR/valdora-mega-sim"
MEGA_ELF="$VALDORA_RUN_DIR/valdora-mega.elf"
if [ ! -x "$MEGA_SIM" ] || [ ! -f "$MEGA_ELF" ]; then
    echo "skipped: the simulated Mega needs avr-gcc, avr-libc and simavr (not built here)"
    exit 77
fi
vd_setup
vd_start_sim

MEGA_LINK="$VD_TMP/mega"
MEGA_CONTROL="$VD_TMP/mega-control"
MEGA_PID=""
export VALDORA_BOARDS="serial:$MEGA_LINK"

mega_start() {
    "$MEGA_SIM" "$MEGA_ELF" "$MEGA_LINK" "$MEGA_CONTROL" >"$VD_TMP/mega.out" 2>"$VD_TMP/mega.err" &
    MEGA_PID=$!
    vd_wait_for 10 grep -qx ready "$VD_TMP/mega.out" || vd_fail "the simulated Mega never started"
}
mega_stop() {
    kill "$MEGA_PID" 2>/dev/null
    wait "$MEGA_PID" 2>/dev/null
}
trap 'mega_stop; vd_cleanup' EXIT
mega() {
    echo "$*" >"$MEGA_CONTROL"
}
# lamp_is BOARD CHANNEL VALUE: the Mega's latest state of that digital output.
lamp_is() {
    [ "$(awk -v b="$1" -v c="$2" '$1 == "out" && $2 == b && $3 == c { v = $4 } END { print v }' \
        "$VD_TMP/mega.out")" = "$3" ]
}
pwm_is() { # pwm_is BOARD CHANNEL LEVEL
    [ "$(awk -v b="$1" -v c="$2" '$1 == "pwm" && $2 == b && $3 == c { v = $4 } END { print v }' \
        "$VD_TMP/mega.out")" = "$3" ]
}
lamps_are() { # lamps_are VALUE BOARD CHANNEL...
    local v=$1 b=$2
    shift 2
    for c in "$@"; do lamp_is "$b" "$c" "$v" || return 1; done
}
sim_is() { # sim_is OFFSET SIZE VALUE
    [ "$(vd_sim_get "$1" "$2")" = "$3" ]
}
sim_said() {
    grep -qF "message: \"$1" "$VD_TMP/sim.out"
}
connected() {
    vd_title | grep -q '>>>   Connected   <<<'
}
rmu_shows_line() { # the window shows the line, e.g. "COM1 118.000 118.000"
    import -window "$VD_WIN" "BMP3:$VD_TMP/shot.bmp" 2>/dev/null || return 1
    "$VD_TOOLS/rmuread" "$VD_TMP/shot.bmp" "$VD_RUN/vd60_picker.bmp" 280 400 75 0 | grep -qx "$1"
}
# Sets COM1 standby to 118.000 and waits until the window shows it.
com1_standby_118() {
    vd_sim_set 0x311A 2 0x1800
    vd_wait_for 10 rmu_shows_line "COM1 118.000 118.000" || vd_fail "COM1 standby never showed 118.000"
}

# A calibrated left throttle: reverse 20, idle 60, full 230.
vd_write_settings 0 0 75 280 400 1 20 60 230 0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 -1 0 -1 -1 -1 \
    0 -1 -1 0 -1 -1 -1 0 -1 -1 -1 0 0 0 =0
mega_start
mega analog 0 1 61
vd_start
vd_wait_window
vd_wait_for 20 connected || vd_fail "never connected"
vd_check "the simulator reports all four boards" vd_wait_for 20 sim_said \
    "Velleman K8055 Interfaces detected are on addresses [Zero] [One] [Two] [Three]"
vd_wait_for 20 lamps_are 1 0 4 5 6 || vd_fail "the gear down lamps never lit on the Mega"
vd_check "no transit lamp while down" lamps_are 0 0 1 2 3
vd_log "ok: found as four boards; the parked aircraft's gear down lamps lit"

vd_check "idle plus one sends 175" vd_wait_for 20 sim_is 0x089A 2 0x00AF
mega analog 0 1 230
vd_check "full thrust sends 16230" vd_wait_for 10 sim_is 0x089A 2 0x3F66
vd_log "ok: the calibrated throttle"

vd_sim_set 0x0BE8 4 0 || vd_fail "cannot move the gear lever"
vd_wait_for 10 lamps_are 1 0 1 2 3 || vd_fail "the transit lamps never lit on the Mega"
vd_log "ok: the transit lamps follow the gear lever"

# Board 0 input 3, the step-up button, tunes COM1 standby from 118.000.
com1_standby_118
mega press 0 3
vd_wait_for 10 eval '! sim_is 0x311A 2 0x1800'
moved=$?
mega release 0 3
[ "$moved" = 0 ] || vd_fail "the step-up button never tuned COM1"
grep ' 0x311A ' "$VD_TMP/sim.log" | awk '{ print $4 }' | grep -qx 0218 ||
    vd_fail "the first step was not 118.025 ($(grep ' 0x311A ' "$VD_TMP/sim.log" | tail -n 3))"
vd_log "ok: the step-up button steps COM1 by 25 kHz"

# Unplugged: the program runs on; plugged back in, the lamps come back and the panel works.
mega_stop
sleep 2
kill -0 "$VD_PID" 2>/dev/null || vd_fail "the program ended with the board unplugged"
vd_check "still connected with the board unplugged" connected
mega_start
# The gear is up now: the power lamp (board 3 output 8) and the gear warning are lit.
vd_wait_for 20 lamps_are 1 3 8 || vd_fail "the lamps were not sent again after the replug"
vd_check "the gear warning is sent again" pwm_is 2 2 255
com1_standby_118
mega press 0 3
vd_wait_for 10 eval '! sim_is 0x311A 2 0x1800'
moved=$?
mega release 0 3
[ "$moved" = 0 ] || vd_fail "the step-up button did nothing after the replug"
vd_log "ok: unplug and replug survived"

# A killed program: the Mega turns its lamps off by itself after 2 s of silence.
kill -KILL "$VD_PID"
wait "$VD_PID" 2>/dev/null
vd_wait_for 15 lamps_are 0 3 8 || vd_fail "the lamps stayed lit after the program died"
vd_check "the gear warning went dark too" pwm_is 2 2 0
vd_log "ok: the lamps went dark once the program had died"
