#!/bin/bash
# The RMU on the real window with the stand-in simulator: a key tunes COM1's standby and the
# window shows it; at rest no picture is pushed, and a window covered, unmapped or moved shows
# the same picture again at once.
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim
export VALDORA_PUSH_TRACE=1 # the program tells each picture it pushes

rmu_shows() { # rmu_shows LINE: the left face shows it, e.g. "EDIT 2" (e2e-tools/rmuread)
    import -window "$VD_WIN" "BMP3:$VD_TMP/shot.bmp" 2>/dev/null &&
        "$VD_TOOLS/rmuread" "$VD_TMP/shot.bmp" "$VD_RUN/vd60_picker.bmp" $LAYOUT | grep -qx "$1"
}
rmu_wait_shows() {
    vd_wait_for 10 rmu_shows "$1" || vd_fail "the window never showed '$1'"
}
sim_is() { [ "$(vd_sim_get "$1" "$2")" = "$3" ]; }
log_lines() { wc -l <"$VD_TMP/sim.log"; }
writes_to() { tail -n "+$2" "$VD_TMP/sim.log" | awk -v o="$1" '$2 == o { print $4 }'; }
title_has() { vd_title | grep -q "$1"; }
pushes() { grep -c '^push' "$VD_TMP/valdora.log"; }
pushed_since() { [ "$(pushes)" -gt "$1" ]; }
shot() { import -window "$VD_WIN" "BMP3:$VD_TMP/$1.bmp" 2>/dev/null; }
same_as_before() { shot after && cmp -s "$VD_TMP/before.bmp" "$VD_TMP/after.bmp"; }
covered() { ! same_as_before; }

LAYOUT="280 400 75 0"
vd_start
vd_wait_window
vd_wait_for 20 title_has '>>>   Connected   <<<' || vd_fail "never connected"
rmu_wait_shows "EDIT 1"

# ---- a full stop tunes COM1 standby, and the window shows it ----
vd_sim_set 0x311A 2 0x1800
mark=$(($(log_lines) + 1))
vd_press period sim_is 0x311A 2 0x1802
vd_expect "one full stop writes 0x1802 to 0x311A once" "$(writes_to 0x311A "$mark")" "0218"
rmu_wait_shows "COM1 118.000 118.025"

# ---- at rest nothing is pushed; one key pushes: t moves the highlight ----
sleep 1
n=$(pushes)
sleep 5
vd_expect "no picture pushed over 5 s at rest" "$(pushes)" "$n"
vd_press t rmu_shows "EDIT 2"
vd_check "the key pushed a picture" pushed_since "$n"

# ---- covered and uncovered, unmapped and mapped, moved: the same picture at once ----
shot before
n=$(pushes)
display -title cover -geometry +40+40 -size 500x300 xc:red & # ImageMagick, as import
cover=$!
vd_wait_for 10 xdotool search --onlyvisible --name '^cover$' || vd_fail "no covering window"
sleep 0.5
vd_check "the other window covers ours" covered
kill "$cover"
wait "$cover" 2>/dev/null
vd_wait_for 2 same_as_before || vd_fail "uncovered, the window does not show its picture"
vd_log "ok: uncovered, the window shows the same picture"
vd_check "the exposure pushed the picture afresh" vd_wait_for 2 pushed_since "$n"
xdotool windowunmap --sync "$VD_WIN"
xdotool windowmap --sync "$VD_WIN"
vd_check "unmapped and mapped again, the window shows the same picture" vd_wait_for 2 same_as_before
xdotool windowmove --sync "$VD_WIN" 60 50
vd_check "moved, the window shows the same picture" vd_wait_for 2 same_as_before

vd_stop
