#!/bin/bash
# The keyboard's layout operations on the real window: each layout key's code reaches its
# operation, and the limits, the quarter turn and the move behave at their edges.
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim

# Settings with the place, gap, width, height and the rest at their defaults.
layout() { # layout X Y GAP WIDTH HEIGHT [ANGLE BORDER BLUR]
    vd_write_settings "$1" "$2" "$3" "$4" "$5" 0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 -1 \
        0 -1 -1 -1 0 -1 -1 0 -1 -1 -1 0 -1 -1 -1 "${6:-0}" "${7:-0}" "${8:-0}"
}

# Every resize key from the default layout (635 x 400 content at 300, 300).
layout 300 300 75 280 400
vd_start
vd_wait_window
vd_press i vd_outer_is 300 300 643 425
vd_log "ok: i widens each panel by one"
vd_press r vd_outer_is 300 300 641 425
vd_log "ok: r narrows each panel by one"
vd_press shift+i vd_outer_is 300 300 641 426
vd_log "ok: Shift+I makes the panels taller"
vd_press shift+r vd_outer_is 300 300 641 425
vd_log "ok: Shift+R makes them shorter"
vd_press ctrl+i vd_outer_is 300 300 642 425
vd_log "ok: Ctrl+I widens the gap"
vd_press ctrl+r vd_outer_is 300 300 641 425
vd_log "ok: Ctrl+R narrows it"
vd_press alt+i vd_outer_is 300 300 642 426
vd_log "ok: Alt+I adds a border"
vd_press alt+r vd_outer_is 300 300 641 425
vd_log "ok: Alt+R takes it away"
# Alt+R with no border does nothing; the i after it shows the key after it still acts.
vd_key alt+r
vd_press i vd_outer_is 300 300 643 425
vd_log "ok: Alt+R at border 0 changes nothing"

# The quarter turn about the window's middle: 635 x 400 turns by 117 each way.
vd_press r vd_outer_is 300 300 641 425
vd_press alt+a vd_outer_is 417 183 406 660
vd_log "ok: Alt+A turns to portrait, 117 right and 117 up"
vd_press alt+a vd_outer_is 300 300 641 425
vd_press alt+a vd_outer_is 417 183 406 660
vd_press alt+a vd_outer_is 300 300 641 425
vd_log "ok: four Alt+A presses bring the window back"

# A place the user dragged the window to is taken before the next key.
xdotool windowmove "$VD_WIN" 250 220
vd_wait_for 5 vd_outer_is 250 220 641 425 || vd_fail "the window was not dragged"
vd_press i vd_outer_is 250 220 643 425
vd_log "ok: a dragged window keeps its place through a layout key"

vd_press alt+f vd_outer_is 0 0 643 425
vd_log "ok: Alt+F moves the window to 0, 0"

# At the top edge the turn's upward move stops at 0, so four turns end lower.
vd_press alt+a vd_outer_is 118 0 406 662
vd_press alt+a vd_outer_is 0 118 643 425
vd_log "ok: the turn clamps the top at 0"
vd_stop
vd_expect "the turned layout is saved" "$(vd_settings_line 1) $(vd_settings_line 2) $(vd_settings_line 38)" \
    "0 118 128"

# The long limit: the desktop here is 1280 wide, so 1272 is the widest content. A pair one
# pixel below it takes one more i (ending one pixel above) and refuses the next.
layout 0 0 75 598 400
vd_start
vd_wait_window
vd_wait_for 10 vd_outer_is 0 0 1277 425 || vd_fail "the wide layout did not open"
vd_press i vd_outer_is 0 0 1279 425
vd_key i
vd_press shift+i vd_outer_is 0 0 1279 426
vd_log "ok: i is refused once the pair reaches the long limit"
vd_stop

layout 0 0 75 150 210
vd_start
vd_wait_window
vd_wait_for 10 vd_outer_is 0 0 381 235 || vd_fail "the small layout did not open"
vd_press ctrl+r vd_outer_is 0 0 380 235
vd_key r shift+r
vd_press ctrl+i vd_outer_is 0 0 381 235
vd_log "ok: r at width 150 and Shift+R at height 210 change nothing"
vd_stop

# The artwork switch: the border keeps the old colour until the next rebuild shows the other
# set's; a set with a missing file is not taken.
vd_plain_art
layout 0 0 75 280 400 0 8 0
vd_start
vd_wait_window
vd_wait_for 10 vd_outer_is 0 0 649 433 || vd_fail "the bordered layout did not open"
vd_press ctrl+i vd_outer_is 0 0 650 433
first="$(vd_pixel 1 1)"
vd_key alt+s
sleep 0.5
vd_expect "Alt+S leaves the border as it was until the next rebuild" "$(vd_pixel 1 1)" "$first"
vd_press ctrl+r vd_outer_is 0 0 649 433
second="$(vd_pixel 1 1)"
[ "$first" != "$second" ] || vd_fail "Alt+S did not change the background colour ($first)"
vd_log "ok: Alt+S switches the artwork set ($first to $second)"
mv "$VD_RUN/vd60_pickerb.bmp" "$VD_TMP/"
vd_key alt+s
vd_press ctrl+i vd_outer_is 0 0 650 433
vd_expect "back on the first set" "$(vd_pixel 1 1)" "$first"
vd_key alt+s
vd_press ctrl+r vd_outer_is 0 0 649 433
vd_expect "a set with a missing file is not taken" "$(vd_pixel 1 1)" "$first"
vd_screenshot "$VD_TMP/after-switch.png"
vd_stop
vd_expect "the set in use is saved" "$(vd_settings_line 40)" 0
