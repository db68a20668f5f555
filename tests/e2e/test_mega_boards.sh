#!/bin/bash
# The cockpit on one simulated Arduino Mega (the firmware in simavr, its serial port on a
# pseudo-terminal), with lever values standing that once forged presses (40, 165, 2, 12 and
# 165, 130, 14, 90), the program started into the middle of the board's stream: found as four
# boards, a press seen and none forged; the lamps kept lit through a 10 s wait for the simulator;
# unplugged for 3 s: no axis written, lamps back on replug; the probe beside the program: the
# board BUSY and no simulator write. Unit tests prove the rest: the wizard's points taken at each
# key (test_calibration), a read giving the snapshot of the moment and a board found again after
# the program closed it (test_serial_boards), the firmware's dark state after silence
# (test_mega_firmware).
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

mega_start() { # its levers where they once forged presses, the left throttle at 61
    "$MEGA_SIM" "$MEGA_ELF" "$VD_TMP/mega" "$VD_TMP/mega-control" >"$VD_TMP/mega.out" 2>&1 &
    MEGA_PID=$!
    vd_wait_for 10 grep -qx ready "$VD_TMP/mega.out" || vd_fail "the simulated Mega never started"
    local c v=(61 165 2 12 165 130 14 90) # the values that forged presses with the old link
    for c in 0 1 2 3 4 5 6 7; do mega analog $((c / 2)) $((c % 2 + 1)) "${v[$c]}"; done
}
mega_stop() { kill "$MEGA_PID" 2>/dev/null; wait "$MEGA_PID" 2>/dev/null; }
trap 'mega_stop; vd_cleanup' EXIT
mega() { echo "$*" >"$VD_TMP/mega-control"; }
mega_is() { vd_mega_is "$VD_TMP/mega.out" "$@"; } # mega_is out|pwm BOARD VALUE CHANNEL...
writes() { grep -c " $1 " "$VD_TMP/sim.log" 2>/dev/null || true; }

# A calibrated left throttle: reverse 20, idle 60, full 230.
vd_write_settings 0 0 75 280 400 1 20 60 230 0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 -1 0 -1 -1 -1 \
    0 -1 -1 0 -1 -1 -1 0 -1 -1 -1 0 0 0 =0
mega_start
sleep 0.$((RANDOM % 9 + 1)) # the program starts at a random point of the board's stream
vd_start
vd_wait_window
vd_check "the simulator reports all four boards" vd_wait_for 30 grep -qF \
    "detected are on addresses [Zero] [One] [Two] [Three]" "$VD_TMP/sim.out"
vd_check "the gear down lamps light on the Mega" vd_wait_for 20 mega_is out 0 1 4 5 6
vd_check "idle plus one sends 175" vd_wait_for 20 eval '[ "$(vd_sim_get 0x089A 2)" = 0x00AF ]'
grep -q "boards: serial board on .*firmware 2, identity [0-9a-f]\{8\}" "$VD_RUN/valdora.log" ||
    vd_fail "valdora.log does not name the board's firmware and identity"

# No switch is closed: no heading written; a press of heading-right is. (The time from the pin
# to the write is measured by bench/mega_latency.sh.)
vd_expect "no forged heading press" "$(writes 0x07CC)" 0
mega press 1 2
vd_check "a press is seen" vd_wait_for 5 eval '[ "$(writes 0x07CC)" -gt 0 ]'
mega release 1 2

# The probe beside the program: the port is the program's; the probe writes nothing.
libs=$(writes 0x330A)
vd_check "the probe shows the Mega BUSY" vd_probe_shows "serial board BUSY" --boards
vd_expect "the probe's connect wrote no version" "$(writes 0x330A)" "$libs"

# A 10 s wait for the simulator: the lamps stay lit all along.
lines=$(wc -l <"$VD_TMP/mega.out")
vd_stop_sim
sleep 10
vd_check "the gear down lamps stayed lit through a 10 s wait for the simulator" \
    eval '! grep -q "^out 0 [456] 0" < <(tail -n +"$lines" "$VD_TMP/mega.out")'
vd_start_sim
vd_wait_for 20 vd_title_is "$VD_CONNECTED" || vd_fail "never reconnected"

# Unplugged for 3 s: the program runs on and writes no axis; plugged back in, the lamps come
# back (inputs read again after a replug: test_serial_boards).
mega_stop
sleep 0.3
before=$(writes 0x089A)
sleep 2.7
kill -0 "$VD_PID" 2>/dev/null || vd_fail "the program ended with the board unplugged"
vd_expect "no throttle written while unplugged" "$(writes 0x089A)" "$before"
mega_start
vd_check "the lamps sent again after the replug" vd_wait_for 20 mega_is out 0 1 4 5 6
vd_stop
grep -q "boards: closing the serial board .*frames dropped [0-9]*, sequence gaps [0-9]*" \
    "$VD_RUN/valdora.log" || vd_fail "valdora.log does not count the frames at shutdown"

