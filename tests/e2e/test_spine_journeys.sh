#!/bin/bash
# Two journeys through the program's life on a 1280 x 1024 desktop. First start with no
# settings, layout keys, a dragged window turned about its middle, close and restart with the
# saved layout. Then the ways it ends early: an artwork file missing (a key or the window's
# close ends the error screen) and no display at all.
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim

vd_start
vd_check "with no settings the window is 641 x 425 at 0, 0" vd_wait_for 10 vd_outer_is 0 0 641 425
vd_press i vd_outer_is 0 0 643 425
vd_press shift+r vd_outer_is 0 0 643 424
vd_press alt+a vd_outer_is 119 0 405 662 # the quarter turn clamped at the top
# A window the user dragged turns about its new middle.
xdotool windowmove "$VD_WIN" 250 220
vd_wait_for 5 vd_outer_is 250 220 405 662 || vd_fail "the window was not dragged"
vd_press alt+a vd_outer_is 131 339 643 424
vd_stop
vd_expect "the settings hold the dragged place and the layout" \
    "$(head -n 5 "$VD_RUN/vd60_rmu.ini" | tr '\n' ' ')$(sed -n '38,40p' "$VD_RUN/vd60_rmu.ini" | tr '\n' ' ')" \
    "131 339 75 281 399 128 0 0 "
vd_start
vd_check "the window reopens as it was closed" vd_wait_for 10 vd_outer_is 131 339 643 424
vd_stop

# A missing artwork file: the error screen, ended by a key or by closing the window, with -1
# and no settings written.
for missing in vd60_picker.bmp vd60_rmu.bmp; do
    mv "$VD_RUN/$missing" "$VD_TMP/"
    rm -f "$VD_RUN/vd60_rmu.ini"
    vd_start
    if [ "$missing" = vd60_picker.bmp ]; then vd_key space; else vd_close; fi
    vd_wait_exit
    vd_expect "without $missing the program ends with -1" "$VD_STATUS" 255
    vd_check "without $missing no settings are written" test ! -e "$VD_RUN/vd60_rmu.ini"
    mv "$VD_TMP/$missing" "$VD_RUN/"
done

# Without an X server Allegro cannot start: the program ends at once with 1 and saves nothing.
(cd "$VD_RUN" && DISPLAY=:65000 exec "$VALDORA_RUN_DIR/valdora") >"$VD_TMP/valdora.log" 2>&1 &
VD_PID=$!
vd_wait_exit
vd_expect "without a display the program ends with 1" "$VD_STATUS" 1
vd_check "without a display no settings are written" test ! -e "$VD_RUN/vd60_rmu.ini"
