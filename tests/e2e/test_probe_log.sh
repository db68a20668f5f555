#!/bin/bash
# valdora-probe and the program against the stand-in simulator in one journey. The probe decodes
# the parked aircraft with the lamps it drives and a fire at its next snapshot, and reads a free
# board; the program then holds the board (the probe reports it busy); the simulator goes away
# and comes back: both wait and recover. valdora.log holds exactly those events, in order and
# time-stamped.
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim
in_log() { grep -Eq "$1" "$VD_RUN/valdora.log"; }

vd_check "parked gear down, its lamps" \
    vd_probe_shows "0x0BEC 4 gear nose +16383  down .*gear-nose-transit off, b0\.d5 gear-nose-down ON"
vd_sim_set 0x3366 1 2 || vd_fail "cannot raise a fire"
vd_check "engine 2 fire decoded with its lamps" \
    vd_probe_shows "0x3366 1 engine fires +2  engine 1 no fire, engine 2 FIRE -> .*engine-fire-2 ON, b0\.d7 master-warning FLASHING"
"$VALDORA_RUN_DIR/valdora-boards" plug 0 >/dev/null || vd_fail "cannot plug a board"
"$VALDORA_RUN_DIR/valdora-boards" set throttle-left 77 >/dev/null
vd_check "a free board's raw input" vd_probe_shows "board 0 analog in 1 throttle-left +raw  77" --boards

(cd "$VD_RUN" && exec "$VALDORA_RUN_DIR/valdora-probe" >"$VD_TMP/probe.out" 2>&1) &
LIVE=$!
trap 'kill $LIVE 2>/dev/null; vd_cleanup' EXIT
vd_start
vd_wait_for 20 vd_title_is "$VD_CONNECTED" || vd_fail "never connected"
vd_wait_for 20 in_log "^[0-9-]* [0-9:]* boards: 0" || vd_fail "no boards"
vd_check "a board the program holds is busy" vd_probe_shows "board 0 BUSY" --boards
vd_stop_sim
vd_wait_for 20 vd_title_is "$VD_NOT_CONNECTED" || vd_fail "the loss was not noticed"
vd_wait_for 10 grep -q "^waiting for the simulator" "$VD_TMP/probe.out" || vd_fail "no waiting line"
vd_check "the probe names the failed exchange" \
    grep -q "^lost the simulator: exchange of .* failed, result 1[12]" "$VD_TMP/probe.out"
vd_start_sim
vd_wait_for 20 vd_title_is "$VD_CONNECTED" || vd_fail "never reconnected"
vd_check "the probe recovered" vd_wait_for 10 vd_probe_recovered "$VD_TMP/probe.out"
kill $LIVE
vd_stop

stamp='^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} '
vd_check "every line time-stamped" [ "$(grep -Evc "$stamp" "$VD_RUN/valdora.log")" = 0 ]
events="$(sed -E "s/$stamp//; s/[ :].*//" "$VD_RUN/valdora.log" | tr '\n' ' ')"
vd_expect "the events in order" "$events" "start connect aircraft boards lost connect exit "
vd_check "start line" in_log "start Valdora V2.08; settings defaults \(vd60_rmu.ini: .*\); desktop 1280x1024; artwork vd60_rmu.bmp"
vd_check "connect line" in_log "connect FS98MAIN, server version 0x[0-9A-F]{8}, simulator type [0-9]+, after [0-9]+ ms$"
vd_check "loss line" in_log "lost the simulator: (exchange of [0-9]+ requests from|read of|write of) 0x[0-9A-F]{4}.* failed, result 1[12]$"
vd_check "exit line" in_log "exit 0$"
