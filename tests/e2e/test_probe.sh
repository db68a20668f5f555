#!/bin/bash
# valdora-probe against the stand-in simulator: the parked aircraft decoded with the lamps it
# drives, a fire bit and a leg in transit seen at the next snapshot, offsets nobody feeds shown
# as 0 and decoded, waiting while the simulator is away and recovering when it returns, and the
# boards reported busy while the program holds them.
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim
PROBE="$VALDORA_RUN_DIR/valdora-probe"
shows() { # shows PATTERN [OPTION...]: the next snapshot has a line matching PATTERN
    local pattern=$1
    shift
    (cd "$VD_RUN" && timeout 20 "$PROBE" --once "$@") | grep -E "$pattern" >/dev/null
}

vd_check "COM1 active decoded" shows "^  0x034E 2 COM1 active +0x1800  118\.000$"
vd_check "parked gear down, its lamps" \
    shows "0x0BEC 4 gear nose +16383  down .*gear-nose-transit off, b0\.d5 gear-nose-down ON"
vd_check "APU speed shown" shows "^  0x0B54 4 APU speed +0\.0  0\.0 %, radios not powered"
vd_check "an unfed offset reads 0, decoded" \
    shows "0x3B7C 4 generator 1 +0  OFF LINE +-> b0\.d8 master-caution ON$"

vd_sim_set 0x3366 1 2 || vd_fail "cannot raise a fire"
vd_sim_set 0x0BF4 4 8000 || vd_fail "cannot move a leg"
vd_check "engine 2 fire decoded with its lamps" \
    shows "0x3366 1 engine fires +2  engine 1 no fire, engine 2 FIRE -> .*engine-fire-2 ON, b0\.d7 master-warning FLASHING"
vd_check "left leg in transit" shows "0x0BF4 4 gear left +8000  transit +-> b0\.d1 gear-left-transit ON, b0\.d4 gear-left-down off"

(cd "$VD_RUN" && exec "$PROBE" >"$VD_TMP/probe.out" 2>&1) &
LIVE=$!
trap 'kill $LIVE 2>/dev/null; vd_cleanup' EXIT
vd_wait_for 5 grep -q "^valdora-probe: link FS98MAIN" "$VD_TMP/probe.out" || vd_fail "no live snapshot"
vd_stop_sim
vd_wait_for 10 grep -q "^waiting for the simulator" "$VD_TMP/probe.out" || vd_fail "no waiting line"
grep -q "^lost the simulator: exchange of .* failed, result 1[12]" "$VD_TMP/probe.out" ||
    vd_fail "the loss did not name the failed exchange"
vd_start_sim
recovered() { sed -n '/^waiting/,$p' "$VD_TMP/probe.out" | grep -q "^valdora-probe: link"; }
vd_wait_for 10 recovered || vd_fail "the probe did not recover"
kill $LIVE

"$VALDORA_RUN_DIR/valdora-boards" plug 0 >/dev/null || vd_fail "cannot plug a board"
"$VALDORA_RUN_DIR/valdora-boards" set throttle-left 77 >/dev/null
vd_check "a free board's raw input" shows "board 0 analog in 1 throttle-left +raw  77" --boards
vd_start
vd_wait_window
vd_wait_for 20 grep -q "^[0-9-]* [0-9:]* boards: 0" "$VD_RUN/valdora.log" || vd_fail "no boards"
vd_check "a board the program holds is busy" shows "board 0 BUSY" --boards
vd_stop
