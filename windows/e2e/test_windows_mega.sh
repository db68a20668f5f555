#!/bin/bash
# The Windows program under Wine reaches the simulated Mega (the firmware in simavr, built and
# run on Linux) through a COM port: $WINEPREFIX/dosdevices/com5 is a link to the Mega's
# pseudo-terminal and VALDORA_BOARDS is serial:COM5. The four boards are reported, the parked
# aircraft's gear down lamps light on the Mega, and its step-up button tunes COM1.
. "$VALDORA_SOURCE_DIR/tests/e2e/lib.sh"
. "$VALDORA_SOURCE_DIR/windows/e2e/wine.sh"

MEGA_RUN=${VALDORA_MEGA_RUN_DIR:-$VALDORA_SOURCE_DIR/build/run}
[ -x "$MEGA_RUN/valdora-mega-sim" ] && [ -f "$MEGA_RUN/valdora-mega.elf" ] || {
    echo "skipped: no simulated Mega in $MEGA_RUN (the Linux build needs avr-gcc and simavr)"; exit 77; }
[ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX/dosdevices" ] ||
    { echo "skipped: no Wine prefix with a dosdevices folder"; exit 77; }
vd_setup

COM_LINK="$WINEPREFIX/dosdevices/com5"
MEGA_CONTROL="$VD_TMP/mega-control"
"$MEGA_RUN/valdora-mega-sim" "$MEGA_RUN/valdora-mega.elf" "$VD_TMP/mega" "$MEGA_CONTROL" \
    >"$VD_TMP/mega.out" 2>&1 &
MEGA_PID=$!
trap 'kill $MEGA_PID 2>/dev/null; rm -f "$COM_LINK"; vd_cleanup' EXIT
vd_wait_for 10 grep -qx ready "$VD_TMP/mega.out" || vd_fail "the simulated Mega never started"
ln -sfn "$VD_TMP/mega" "$COM_LINK"
export VALDORA_BOARDS=serial:COM5

down_lamps_lit() { # board 0 outputs 4, 5 and 6 lit on the Mega
    [ "$(awk '$1 == "out" && $2 == 0 && $3 >= 4 && $3 <= 6 { v[$3] = $4 }
        END { print v[4] v[5] v[6] }' "$VD_TMP/mega.out")" = 111 ]
}

vd_start_sim
vd_sim_set 0x311A 2 0x1800 || vd_fail "cannot set COM1 standby"
vd_start
vd_wait_for 30 vd_title_is "$VD_CONNECTED" || vd_fail "never connected: '$(vd_title)'"
vd_wait_for 30 vd_sim_said \
    "message: \"Velleman K8055 Interfaces detected are on addresses [Zero] [One] [Two] [Three]" ||
    vd_fail "the four boards of the Mega were not reported"
vd_log "ok: the Mega on COM5 reported as four boards"
vd_wait_for 20 down_lamps_lit || vd_fail "the gear down lamps never lit on the Mega"
vd_log "ok: gear down lamps lit on the Mega"

echo "press 0 3" >"$MEGA_CONTROL"
standby_moved() { [ "$(vd_sim_get 0x311A 2)" != 0x1800 ]; }
vd_wait_for 15 standby_moved
moved=$?
echo "release 0 3" >"$MEGA_CONTROL"
[ "$moved" = 0 ] || vd_fail "the Mega's step-up button did not tune COM1"
vd_log "ok: the Mega's step-up button tuned COM1 standby to $(vd_sim_get 0x311A 2)"
vd_stop
