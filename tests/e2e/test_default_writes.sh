#!/bin/bash
# Without any aircraft profile the program writes to the simulator exactly what the recorded
# session of tests/e2e/golden/default-writes.txt says. VD_RECORD=1 records that file afresh.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/writes_session.sh"
vd_setup
golden="$VALDORA_SOURCE_DIR/tests/e2e/golden/default-writes.txt"
writes_session "$VD_TMP/writes.txt"
if [ "${VD_RECORD:-0}" = 1 ]; then
    cp "$VD_TMP/writes.txt" "$golden"
    vd_log "recorded $golden"
    exit 0
fi
diff -u "$golden" "$VD_TMP/writes.txt" || vd_fail "the writes differ from the recorded session"
vd_log "ok: the writes are those of the recorded session"
