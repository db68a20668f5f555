#!/bin/bash
# The generated artwork in the running program: the gap between the panels, the border and the
# unpowered panels all show the one background colour, digits appear on the display glass while
# powered, and nothing of them stays on the screen once the power goes off (their return with the
# power is unit-tested).
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim

# Panels 280 x 400, gap 75, border 20: the pair starts at 10, 10 of the content.
vd_write_settings 0 0 75 280 400 0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 -1 0 -1 -1 -1 \
    0 -1 -1 0 -1 -1 -1 0 -1 -1 -1 0 20 0
# "COUNT RRGGBB": the number of colours and the main colour of a region X Y W H of the window.
region() {
    vd_screenshot "$VD_TMP/shot.png"
    convert "$VD_TMP/shot.png" -crop "$3x$4+$1+$2" +repage -format '%k ' info: &&
        convert "$VD_TMP/shot.png" -crop "$3x$4+$1+$2" +repage -scale 1x1\! -format '%[hex:u.p{0,0}]\n' info:
}
# The COM1 active row: design (53, 72), 189 x 32 cells, scaled by 280/504 and 400/700.
com1="$((10 + 53 * 280 / 504)) $((10 + 72 * 400 / 700)) $((189 * 280 / 504)) $((32 * 400 / 700))"
digits_shown() { [ "$(region $com1 | cut -d' ' -f1)" -gt 2 ]; }
row_blank() { [ "$(region $com1 | cut -d' ' -f1)" = 1 ]; }

vd_start
vd_check "the powered unit shows digits in the COM1 row" vd_wait_for 20 digits_shown
gap="$(region 295 40 60 300)"
vd_expect "the gap between the panels is one flat colour" "${gap%% *}" 1
vd_expect "the border shows the same one colour" "$(region 0 0 635 8)" "$gap"
vd_sim_set 0x0B6A 1 1
vd_check "with the power off the COM1 row is blank" vd_wait_for 10 row_blank
vd_expect "the unpowered panel shows the background colour" "$(region $com1 | cut -d' ' -f2)" "${gap#* }"
vd_stop
