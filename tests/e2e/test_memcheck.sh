#!/bin/bash
# valgrind memcheck of a short scenario: with the stand-in simulator and two virtual boards the
# program connects, discovers the boards, follows a few keys and a held board button, loses the
# simulator and finds it again, and is closed by its window; memcheck must report no error and
# no definitely lost block. Skipped where valgrind is missing or the build is sanitized.
. "$(dirname "$0")/lib.sh"
command -v valgrind >/dev/null || { vd_log "SKIP: valgrind is missing (apt-get install valgrind)"; exit 0; }
grep -q libasan < <(ldd "$VALDORA_RUN_DIR/valdora") && { vd_log "SKIP: the build has the address sanitizer"; exit 0; }
vd_setup
BOARDS="$VALDORA_RUN_DIR/valdora-boards"
"$BOARDS" plug 0 1 >/dev/null || vd_fail "cannot plug the virtual boards"
vd_start_sim
(cd "$VD_RUN" && exec valgrind --leak-check=full --show-leak-kinds=definite \
    --errors-for-leak-kinds=definite --error-exitcode=99 --track-origins=yes --num-callers=30 \
    --log-file="$VD_TMP/memcheck.log" "$VALDORA_RUN_DIR/valdora") >"$VD_TMP/valdora.log" 2>&1 &
VD_PID=$!
vd_wait_for 120 vd_find_window || vd_fail "no window under valgrind"
vd_check "connected under valgrind" vd_wait_for 120 vd_title_is "$VD_CONNECTED"
sleep 15 # the boards banner and the discovery, slowed down by valgrind
VD_KEY_GAP=1.5
vd_key i i plus minus a
"$BOARDS" hold step-up 1500 >/dev/null
"$BOARDS" tap heading-left 300 >/dev/null
vd_stop_sim
sleep 3
vd_start_sim
vd_check "reconnected under valgrind" vd_wait_for 120 vd_title_is "$VD_CONNECTED"
sleep 3
vd_close
vd_wait_exit 180
grep -E "ERROR SUMMARY|definitely lost" "$VD_TMP/memcheck.log" | sed 's/^==[0-9]*== /[memcheck] /'
[ "$VD_STATUS" = 0 ] || {
    grep -A20 -E "^==[0-9]*== (Invalid|.*uninitialised|.*definitely|Mismatched)" "$VD_TMP/memcheck.log" | head -n 120 >&2
    vd_fail "memcheck found errors or definite leaks (exit status $VD_STATUS)"
}
vd_log "ok: no memcheck error and no definite leak"
