#!/bin/bash
# What the program does with damaged settings, missing artwork and a settings file that
# cannot be replaced.
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim

# Values the layout cannot draw are brought into range: width 0, height -5 and angle 7 give
# the smallest panels, landscape.
vd_write_settings 10 20 75 0 -5 0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 -1 0 -1 -1 -1 \
    0 -1 -1 0 -1 -1 -1 0 -1 -1 -1 7 0 0
vd_start
vd_wait_window
vd_check "width 0, height -5, angle 7 open a 150 x 210 landscape pair" \
    vd_wait_for 10 vd_outer_is 10 20 $((2 * 150 + 75 + 6)) $((210 + 25))
vd_stop
vd_expect "the drawable values are saved" \
    "$(vd_settings_line 4) $(vd_settings_line 5) $(vd_settings_line 38)" "150 210 0"

# A pair of panels wider than the desktop (1272 x 992 here) is fitted to it.
vd_write_settings 0 0 75 5000 400
vd_start
vd_wait_window
vd_check "a pair wider than the desktop is fitted to it" \
    vd_wait_for 10 vd_outer_is 0 0 $((2 * ((1272 - 75) / 2) + 75 + 6)) 425
vd_stop

# A settings file that cannot be replaced stays whole: here the temporary file cannot be
# created because a folder holds its name (as a read-only folder would refuse it, even to root).
vd_write_settings 37 45 60 300 420
mkdir "$VD_RUN/vd60_rmu.ini.tmp"
vd_start
vd_wait_window
vd_wait_for 10 vd_outer_is 37 45 666 445 || vd_fail "the window did not open at its place"
xdotool windowmove "$VD_WIN" 300 200
vd_wait_for 5 vd_outer_is 300 200 666 445 || vd_fail "the window was not dragged"
vd_stop
vd_expect "a failed save leaves the old file as it was" \
    "$(tr '\n' ' ' <"$VD_RUN/vd60_rmu.ini")" "37 45 60 300 420 "
rmdir "$VD_RUN/vd60_rmu.ini.tmp"

# Where the user cannot write, the folder itself is made read-only.
if [ "$(id -u)" != 0 ]; then
    chmod a-w "$VD_RUN"
    vd_start
    vd_wait_window
    vd_stop
    chmod u+w "$VD_RUN"
    vd_expect "saving into a read-only folder leaves the old file" \
        "$(tr '\n' ' ' <"$VD_RUN/vd60_rmu.ini")" "37 45 60 300 420 "
fi

# A missing artwork file: the error screen, one key, the end with -1 and no settings saved.
for missing in vd60_picker.bmp vd60_rmu.bmp; do
    mv "$VD_RUN/$missing" "$VD_TMP/"
    rm -f "$VD_RUN/vd60_rmu.ini"
    vd_start
    vd_wait_window
    vd_screenshot "$VD_TMP/error.png"
    vd_key space
    vd_wait_exit
    vd_expect "without $missing the program ends with -1" "$VD_STATUS" 255
    vd_check "without $missing no settings file is written" test ! -e "$VD_RUN/vd60_rmu.ini"
    mv "$VD_TMP/$missing" "$VD_RUN/"
done

# The error screen also ends when its window is closed.
mv "$VD_RUN/vd60_rmub.bmp" "$VD_TMP/"
vd_write_settings 0 0 75 280 400 0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 -1 0 -1 -1 -1 \
    0 -1 -1 0 -1 -1 -1 0 -1 -1 -1 0 0 1
vd_start
vd_wait_window
vd_close
vd_wait_exit
vd_expect "closing the error screen ends with -1" "$VD_STATUS" 255

# Without an X server Allegro cannot start: the program ends at once with 1 and saves nothing.
rm -f "$VD_RUN/vd60_rmu.ini"
(cd "$VD_RUN" && DISPLAY=:65000 exec "$VALDORA_RUN_DIR/valdora") >"$VD_TMP/valdora.log" 2>&1 &
VD_PID=$!
vd_wait_exit
vd_expect "without a display the program ends with 1" "$VD_STATUS" 1
vd_check "without a display no settings file is written" test ! -e "$VD_RUN/vd60_rmu.ini"
