#!/bin/bash
# The cockpit on one simulated Arduino Mega (the firmware in simavr, its serial port on a
# pseudo-terminal): found as four boards, the lamps follow the stand-in aircraft, a calibrated
# throttle sends its value, the board unplugged and plugged back in is survived (lamps sent
# again, inputs read again). The firmware's own dark state after silence is a unit test.
. "$(dirname "$0")/lib.sh"

MEGA_SIM="$VALDORA_RUN_DIR/valdora-mega-sim"
MEGA_ELF="$VALDORA_RUN_DIR/valdora-mega.elf"
if [ ! -x "$MEGA_SIM" ] || [ ! -f "$MEGA_ELF" ]; then
    echo "skipped: the simulated Mega needs avr-gcc, avr-libc and simavr (not built here)"
    exit 77
fi
vd_setup
vd_start_sim
export VALDORA_BOARDS="serial:$VD_TMP/mega"

mega_start() {
    "$MEGA_SIM" "$MEGA_ELF" "$VD_TMP/mega" "$VD_TMP/mega-control" >"$VD_TMP/mega.out" 2>&1 &
    MEGA_PID=$!
    vd_wait_for 10 grep -qx ready "$VD_TMP/mega.out" || vd_fail "the simulated Mega never started"
}
mega_stop() { kill "$MEGA_PID" 2>/dev/null; wait "$MEGA_PID" 2>/dev/null; }
trap 'mega_stop; vd_cleanup' EXIT
mega() { echo "$*" >"$VD_TMP/mega-control"; }
# mega_is out|pwm BOARD VALUE CHANNEL...: the Mega's latest state of those outputs.
mega_is() {
    local kind=$1 b=$2 v=$3 c
    shift 3
    for c in "$@"; do
        [ "$(awk -v k="$kind" -v b="$b" -v c="$c" '$1 == k && $2 == b && $3 == c { v = $4 }
            END { print v }' "$VD_TMP/mega.out")" = "$v" ] || return 1
    done
}
sim_is() { [ "$(vd_sim_get "$1" "$2")" = "$3" ]; }

# A calibrated left throttle: reverse 20, idle 60, full 230.
vd_write_settings 0 0 75 280 400 1 20 60 230 0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 -1 0 -1 -1 -1 \
    0 -1 -1 0 -1 -1 -1 0 -1 -1 -1 0 0 0 =0
mega_start
mega analog 0 1 61
vd_start
vd_wait_window
vd_check "the simulator reports all four boards" vd_wait_for 30 grep -qF \
    "Velleman K8055 Interfaces detected are on addresses [Zero] [One] [Two] [Three]" "$VD_TMP/sim.out"
vd_wait_for 20 mega_is out 0 1 4 5 6 || vd_fail "the gear down lamps never lit on the Mega"
vd_check "idle plus one sends 175" vd_wait_for 20 sim_is 0x089A 2 0x00AF
vd_sim_set 0x0BE8 4 0 || vd_fail "cannot move the gear lever"
vd_wait_for 10 mega_is out 0 1 1 2 3 || vd_fail "the transit lamps never lit on the Mega"
vd_log "ok: four boards; the throttle; the gear lamps follow the gear lever"

# Unplugged: the program runs on; plugged back in, the lamps come back and inputs are read.
mega_stop
sleep 2
kill -0 "$VD_PID" 2>/dev/null || vd_fail "the program ended with the board unplugged"
mega_start
# The gear is up now: the power lamp (board 3 output 8) and the gear warning are lit.
vd_wait_for 20 mega_is out 3 1 8 || vd_fail "the lamps were not sent again after the replug"
vd_check "the gear warning is sent again" mega_is pwm 2 255 2
mega analog 0 1 230
vd_check "the throttle is read again" vd_wait_for 20 sim_is 0x089A 2 0x3F66
vd_log "ok: unplug and replug survived"
