#!/bin/bash
# valdora-probe.exe under Wine against valdora-sim.exe: a snapshot decoded (the decoding itself
# is the same as on Linux and checked there), and waiting while the simulator is away then
# recovering when it returns.
. "$VALDORA_SOURCE_DIR/tests/e2e/lib.sh"
. "$VALDORA_SOURCE_DIR/windows/e2e/wine.sh"
vd_setup
vd_start_sim
PROBE="$VALDORA_RUN_DIR/valdora-probe"
shows() { # shows PATTERN: the next snapshot has a line matching PATTERN
    (cd "$VD_RUN" && timeout 60 "$PROBE" --once) | grep -E "$1" >/dev/null
}

vd_check "COM1 active decoded" shows "^  0x034E 2 COM1 active +0x1800  118\.000$"

(cd "$VD_RUN" && exec "$PROBE" >"$VD_TMP/probe.out" 2>&1) &
vd_wait_for 30 grep -q "^valdora-probe: link FS98MAIN" "$VD_TMP/probe.out" || vd_fail "no snapshot"
vd_stop_sim
vd_wait_for 30 grep -q "^waiting for the simulator" "$VD_TMP/probe.out" || vd_fail "no waiting line"
vd_start_sim
recovered() { sed -n '/^waiting/,$p' "$VD_TMP/probe.out" | grep -q "^valdora-probe: link"; }
vd_wait_for 30 recovered || vd_fail "the probe did not recover"
vd_log "ok: waited for the simulator and recovered"
