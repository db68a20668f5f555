#!/bin/bash
# The Windows program under Wine with the stand-in driver libraries. With both beside it, it
# loads K8055D_C.dll (C calling convention) alone, links to the Windows stand-in simulator
# through the window-message IPC and announces itself, boards 0 and 2 are found, reported and
# driven, a tuning key and a board button write the right words, and closing the window saves
# the settings file with CR LF line ends. With K8055D.dll alone (standard calling convention)
# the boards are found the same way, and the program survives the simulator going away and
# coming back: the title falls to not connected, it waits, links again and announces itself
# anew, and its keys, buttons and lamps work with the new simulator, while valdora-probe.exe,
# beside it, decodes a snapshot, waits and recovers too. With an artwork file missing, the
# error screen ends at a key with -1 (255 as a process status) and no settings file.
. "$VALDORA_SOURCE_DIR/tests/e2e/lib.sh"
. "$VALDORA_SOURCE_DIR/windows/e2e/wine.sh"
vd_setup
"$VD_BOARDS" plug 0 2 >/dev/null || vd_fail "cannot plug the virtual boards"

linked_and_announced() { # linked_and_announced WHICH
    vd_wait_for 30 vd_title_is "$VD_CONNECTED" || vd_fail "never connected ($1): '$(vd_title)'"
    vd_check "connected to the $1 simulator and announced" \
        vd_wait_for 10 vd_sim_said 'message: "Valdora V2.08 Connected" (5 s)'
}
boards_reported() { vd_check "boards 0 and 2 reported (driver libraries: $VALDORA_WIN_DLL)" \
    vd_wait_for 30 vd_sim_said "message: \"Velleman K8055 Interfaces detected are on addresses [Zero] [Two]"; }
# Full stop steps COM1 standby from 118.025 up by 25 kHz (packed BCD 0x1805 at 0x311A), board 0's
# step-up steps it again; the parked aircraft's gear down lamps light on board 0.
key_button_and_lamps() {
    vd_press period vd_standby_is 0x1805
    vd_check "full stop wrote 0x1805 to 0x311A" grep -qE $' 0x311A 2 0518\r?$' "$VD_TMP/sim.log"
    "$VD_BOARDS" tap step-up 1000 >/dev/null || vd_fail "cannot tap step-up"
    vd_check "board 0's step-up stepped COM1 standby on" vd_wait_for 10 vd_standby_above 0x1805
    vd_check "the gear down lamps lit on board 0" \
        vd_wait_for 20 vd_outputs_are 1 gear-left-down gear-nose-down gear-right-down
}

fresh_sim() { # a new simulator with a new log, COM1 standby at 118.025
    vd_stop_sim
    rm -f "$VD_TMP/sim.log"
    vd_start_sim
    vd_sim_set 0x311A 2 0x1802 || vd_fail "cannot set COM1 standby"
}

rm "$VD_RUN/vd60_picker.bmp"
vd_start
sleep 2 # the error screen waits for its key
vd_key space
vd_wait_exit 30
vd_expect "exit status with an artwork file missing" "$VD_STATUS" 255
vd_check "no settings file written" test ! -e "$VD_RUN/vd60_rmu.ini"
cp "$VALDORA_RUN_DIR/vd60_picker.bmp" "$VD_RUN/"

# Both libraries beside the program: Wine writes each library it loads to the program's error
# output under WINEDEBUG=+loaddll, and K8055D_C.dll, tried first, must be the only driver there.
export VALDORA_WIN_DLL=both
fresh_sim
WINEDEBUG=+loaddll vd_start
linked_and_announced first
boards_reported
vd_expect "the driver library loaded" "$(grep -o '[A-Za-z0-9_]*\.dll" at' "$VD_TMP/valdora.log" |
    grep -i k8055 | sort -u)" 'K8055D_C.dll" at'
vd_expect "boards 0 to 2" "$("$VD_BOARDS" show | grep "^board" | head -n 3)" \
    $'board 0: plugged in, open\nboard 1: not plugged in\nboard 2: plugged in, open'
key_button_and_lamps
vd_stop
vd_expect "41 settings lines ending in CR LF, the panel width 280 on line 4, the last with =" \
    "$(wc -l <"$VD_RUN/vd60_rmu.ini") $(grep -c $'\r$' "$VD_RUN/vd60_rmu.ini") $(vd_settings_line 4) $(vd_settings_line 41 | cut -c1)" "41 41 280 ="

export VALDORA_WIN_DLL=std
fresh_sim
vd_start
boards_reported
vd_check "the probe decodes COM1 active" vd_probe_shows '^  0x034E 2 COM1 active +0x1800  118\.000$'
# In a process group of its own: under Wine the probe is a launcher, the loader and a filter.
(cd "$VD_RUN" && exec setsid "$VALDORA_RUN_DIR/valdora-probe" >"$VD_TMP/probe.out" 2>&1) &
probe=$!
vd_wait_for 30 grep -q "^valdora-probe: link FS98MAIN" "$VD_TMP/probe.out" || vd_fail "no snapshot"
vd_stop_sim
vd_wait_for 30 vd_title_is "$VD_NOT_CONNECTED" || vd_fail "the title never showed the lost link"
vd_wait_for 30 grep -q "^waiting for the simulator" "$VD_TMP/probe.out" || vd_fail "the probe never waited"
fresh_sim
linked_and_announced new
vd_check "the probe recovered" vd_wait_for 30 vd_probe_recovered "$VD_TMP/probe.out"
kill -- -"$probe"
key_button_and_lamps
vd_stop
