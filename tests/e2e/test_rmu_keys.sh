#!/bin/bash
# The RMU on the real window with the stand-in simulator: a key tunes COM1's standby and the
# window shows the change; a window covered, unmapped or moved shows the same picture again at
# once, the exposure pushing it afresh. The words a key writes are those of the recorded session
# (test_default_writes.sh); the banner, and a push for each change, are unit-tested.
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim
export VALDORA_PUSH_TRACE=1 # the program tells each picture it pushes

pushes() { grep -c '^push' "$VD_TMP/valdora.log"; }
shot() { import -window "$VD_WIN" "BMP3:$VD_TMP/$1.bmp" 2>/dev/null; }
same_as_before() { shot after && cmp -s "$VD_TMP/before.bmp" "$VD_TMP/after.bmp"; }
settled() { sleep 1; shot before; n=$(pushes); } # the picture now, and the pushes so far

vd_sim_set 0x311A 2 0x1800
vd_start
# The first picture is pushed before the link is up, the second with the boards banner, held 4 s.
vd_wait_for 20 eval '[ "$(pushes)" -ge 2 ]' || vd_fail "the unit was never pushed to the window"
sleep 5 # past the banner's hold, the window showing 118.000
shot before
vd_press period eval '[ "$(vd_sim_get 0x311A 2)" = 0x1802 ]'
vd_check "the window shows the new standby" vd_wait_for 10 eval '! same_as_before'

settled
display -title cover -geometry +40+40 -size 500x300 xc:red & # ImageMagick, as import
cover=$!
vd_wait_for 10 xdotool search --onlyvisible --name '^cover$' || vd_fail "no covering window"
sleep 0.5
vd_check "the other window covers ours" eval '! same_as_before'
kill "$cover" && wait "$cover" 2>/dev/null
vd_check "uncovered, the window shows the same picture" vd_wait_for 2 same_as_before
vd_check "the exposure pushed the picture afresh" vd_wait_for 2 eval '[ "$(pushes)" -gt "$n" ]'
xdotool windowunmap --sync "$VD_WIN" && xdotool windowmap --sync "$VD_WIN"
vd_check "unmapped and mapped again, the window shows the same picture" vd_wait_for 2 same_as_before
xdotool windowmove --sync "$VD_WIN" 60 50
vd_check "moved, the window shows the same picture" vd_wait_for 2 same_as_before
vd_stop
