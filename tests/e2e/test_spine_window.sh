#!/bin/bash
# The window's default and saved place and size, and the settings file written at exit.
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim

# Lines 1 to 40 with no settings file: place, gap, panel size, every axis disabled with its
# points unrecorded (throttles, spoilers, flaps, rudder, toe brakes, yoke), angle, border, set.
defaults="0 0 75 280 400 0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 -1 0 -1 -1 -1 0 -1 -1"
defaults="$defaults 0 -1 -1 -1 0 -1 -1 -1 0 0 0"

# No settings file: the default layout at the desktop's top-left corner.
vd_start
vd_wait_window
vd_check "with no settings file the window is 641 x 425 at 0, 0" vd_wait_for 10 vd_outer_is 0 0 641 425
vd_stop
vd_check "the settings file is written at exit" test -f "$VD_RUN/vd60_rmu.ini"
vd_expect "the settings file has 41 lines" "$(wc -l <"$VD_RUN/vd60_rmu.ini")" 41
vd_expect "lines 1 to 40 hold the defaults" "$(head -n 40 "$VD_RUN/vd60_rmu.ini" | tr '\n' ' ')" \
    "$defaults "
vd_check "line 41 is = and a number" grep -Eq '^=-?[0-9]+$' <(vd_settings_line 41)
vd_check "no temporary file stays behind" test ! -e "$VD_RUN/vd60_rmu.ini.tmp"

# A written file reads back to the same values, and the window reopens where it stood.
vd_write_settings 120 80 60 300 420 1 10 20 30 0 -1 -1 -1 1 5 6 7 0 -1 -1 -1 -1 \
    1 100 512 900 0 -1 -1 0 -1 -1 -1 1 -7 0 7 0 4 0 =0
before="$(head -n 40 "$VD_RUN/vd60_rmu.ini")"
vd_start
vd_wait_window
vd_check "the saved place and layout are restored (660 x 424 content, border 4)" \
    vd_wait_for 10 vd_outer_is 120 80 $((2 * 300 + 60 + 4 + 6)) $((420 + 4 + 25))
vd_stop
vd_expect "a written file reads back to the same values" "$(head -n 40 "$VD_RUN/vd60_rmu.ini")" \
    "$before"

# A window that the user dragged is saved where it stands.
vd_start
vd_wait_window
vd_wait_for 10 vd_outer_is 120 80 670 449 || vd_fail "the window did not open at its place"
xdotool windowmove "$VD_WIN" 200 150
vd_check "the window was dragged" vd_wait_for 5 vd_outer_is 200 150 670 449
vd_stop
vd_expect "the dragged place is saved" "$(vd_settings_line 1) $(vd_settings_line 2)" "200 150"
vd_start
vd_wait_window
vd_check "the window reopens at the dragged place" vd_wait_for 10 vd_outer_is 200 150 670 449
vd_stop

# Only five lines: place and panel size restored, every axis stays disabled.
vd_write_settings 37 45 60 300 420
vd_start
vd_wait_window
vd_check "a five-line file restores place and size" vd_wait_for 10 vd_outer_is 37 45 666 445
vd_stop
vd_expect "lines 6 to 40 of a five-line file come back as the defaults" \
    "$(sed -n '6,40p' "$VD_RUN/vd60_rmu.ini" | tr '\n' ' ')" \
    "$(echo "$defaults " | cut -d' ' -f6-)"
