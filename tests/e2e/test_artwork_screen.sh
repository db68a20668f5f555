#!/bin/bash
# The generated artwork in the running program: the gap between the panels, the border and the
# unpowered panels all show the one background colour, digits appear on the display glass while
# powered, and nothing of them stays on the screen once the power goes off.
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim
for file in vd60_rmu.bmp vd60_picker.bmp; do
    cmp -s "$VALDORA_RUN_DIR/$file" "$VD_RUN/$file" || vd_fail "the generated $file is not in place"
done

# Panels 280 x 400, gap 75, border 20: the pair starts at 10, 10 of the content.
vd_write_settings 0 0 75 280 400 0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 -1 0 -1 -1 -1 \
    0 -1 -1 0 -1 -1 -1 0 -1 -1 -1 0 20 0
shot="$VD_TMP/shot.png"

# Number of colours and the main colour of a region of the window: "COUNT RRGGBB".
region() { # region X Y W H
    vd_screenshot "$shot"
    convert "$shot" -crop "$3x$4+$1+$2" +repage -format '%k ' info: &&
        convert "$shot" -crop "$3x$4+$1+$2" +repage -scale 1x1\! -format '%[hex:u.p{0,0}]\n' info:
}
colours_of() { # colours_of X Y W H: the number of colours only
    region "$@" | cut -d' ' -f1
}
# The COM1 active row: design (53, 72), 189 x 32 cells, scaled by 280/504 and 400/700.
row_x=$((10 + 53 * 280 / 504)) row_y=$((10 + 72 * 400 / 700))
row_w=$((189 * 280 / 504)) row_h=$((32 * 400 / 700))
digits_shown() {
    [ "$(colours_of $row_x $row_y $row_w $row_h)" -gt 2 ]
}
row_blank() {
    [ "$(colours_of $row_x $row_y $row_w $row_h)" = 1 ]
}

vd_start
vd_wait_window
vd_check "the powered unit shows digits in the COM1 row" vd_wait_for 20 digits_shown
gap="$(region $((10 + 280 + 5)) 40 60 300)"
border="$(region 0 0 635 8)"
vd_expect "the gap between the panels is one flat colour" "${gap%% *}" 1
vd_expect "the border is one flat colour" "${border%% *}" 1
vd_expect "gap and border show the same colour" "${gap#* }" "${border#* }"

vd_sim_set 0x0B6A 1 1
vd_check "with the power off the COM1 row is blank" vd_wait_for 10 row_blank
blank="$(region $row_x $row_y $row_w $row_h)"
vd_expect "the unpowered panel shows the background colour" "${blank#* }" "${gap#* }"
vd_sim_set 0x0B6A 1 0
vd_check "the digits come back with the power" vd_wait_for 10 digits_shown
vd_stop
