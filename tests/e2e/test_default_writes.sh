#!/bin/bash
# Without any aircraft profile the program writes to the simulator exactly what the recorded
# session of tests/e2e/golden/default-writes.txt says, and so it does with a profile that
# matches the aircraft but changes nothing. VD_RECORD=1 records that file afresh.
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
vd_check "without profiles, the writes of the recorded session" diff -u "$golden" "$VD_TMP/writes.txt"
mkdir -p "$VD_RUN/profiles"
printf 'name = "Twin jet as it is"\n[match]\ntitle = ["valdora twin jet"]\n' >"$VD_RUN/profiles/jet.toml"
writes_session "$VD_TMP/writes-profile.txt"
grep -qF ': Twin jet as it is (title "valdora twin jet" in jet.toml)' "$VD_RUN/valdora.log" ||
    vd_fail "the profile that changes nothing was never chosen"
vd_check "a profile that changes nothing, the same writes" diff -u "$golden" "$VD_TMP/writes-profile.txt"
