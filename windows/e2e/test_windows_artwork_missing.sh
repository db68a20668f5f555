#!/bin/bash
# The Windows program under Wine with an artwork file missing: it shows the error screen, ends
# with -1 (255 as a process status) at a key, and writes no settings file.
. "$VALDORA_SOURCE_DIR/tests/e2e/lib.sh"
. "$VALDORA_SOURCE_DIR/windows/e2e/wine.sh"
vd_setup

rm -f "$VD_RUN/vd60_picker.bmp"
vd_start
vd_wait_window
sleep 2 # the error screen waits for its key
vd_key space
vd_wait_exit 30
vd_expect "exit status with an artwork file missing" "$VD_STATUS" 255
vd_check "no settings file written" test ! -e "$VD_RUN/vd60_rmu.ini"
