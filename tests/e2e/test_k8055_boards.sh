#!/bin/bash
# The cockpit boards end to end with the stand-in simulator and valdora-boards: without a board
# file the program runs as with no boards; boards 0 and 2 are reported in the simulator's
# message line; board 0's held step-up button tunes COM1 with growing steps (simulator log and
# window); the held heading knob of board 1 raises 0x07CC by 151, 152, ...; a calibrated
# throttle drives 0x089A.
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim

BOARDS="$VALDORA_RUN_DIR/valdora-boards"
[ -x "$BOARDS" ] || vd_fail "no valdora-boards in the run folder"
LAYOUT="280 400 75 0"

boards() {
    "$BOARDS" "$@" || vd_fail "valdora-boards $* failed"
}

rmu_shows() {
    import -window "$VD_WIN" "BMP3:$VD_TMP/shot.bmp" 2>/dev/null || return 1
    # shellcheck disable=SC2086
    "$VD_TOOLS/rmuread" "$VD_TMP/shot.bmp" "$VD_RUN/vd60_picker.bmp" $LAYOUT
}

# Succeeds when the window shows the line, e.g. rmu_shows_line "EDIT 2".
rmu_shows_line() {
    rmu_shows | grep -qx "$1"
}

rmu_wait_shows() {
    vd_wait_for 10 rmu_shows_line "$1" ||
        vd_fail "the window never showed '$1' (it shows: $(rmu_shows | tr '\n' ' '))"
}

sim_is() { # sim_is OFFSET SIZE VALUE
    [ "$(vd_sim_get "$1" "$2")" = "$3" ]
}

# A 2-byte offset holds a (signed) decimal value.
sim_word_is() { # sim_word_is OFFSET VALUE
    sim_is "$1" 2 "$(printf '0x%04X' $(($2 & 0xFFFF)))"
}

log_lines() {
    wc -l <"$VD_TMP/sim.log"
}

# The simulator has shown a message line beginning with the text.
sim_said() {
    grep -qF "message: \"$1" "$VD_TMP/sim.out"
}

connected() {
    vd_title | grep -q '>>>   Connected   <<<'
}

# Little-endian hex bytes of the log as an unsigned number.
LE_AWK='function le(b,   v, i) { v = 0; for (i = length(b) - 1; i > 0; i -= 2) v = v * 256 + ("0x" substr(b, i, 2)) + 0; return v }'

# ---- no board file: the program runs as with no boards ----
vd_check "no board file before the start" test ! -e "$VALDORA_IPC_DIR/k8055-boards"
vd_start
vd_wait_window
vd_wait_for 20 connected || vd_fail "never connected"
vd_check "the simulator says no boards are present" \
    vd_wait_for 20 sim_said "No Velleman K8055 interfaces are present"
vd_check "the program made no board file" test ! -e "$VALDORA_IPC_DIR/k8055-boards"
vd_press t rmu_shows_line "EDIT 2"
vd_log "ok: the keyboard works without boards"
# Boards plugged in later are not looked for and break nothing.
boards plug 0
boards press step-up
sleep 1
vd_check "a board plugged in later is not opened" eval '! "$BOARDS" show 0 | grep -q open'
boards remove
sleep 0.5
vd_stop

# ---- boards 0 and 2: the report in the simulator ----
boards plug 0 2
vd_start
vd_wait_window
vd_wait_for 20 connected || vd_fail "never connected"
vd_check "the simulator reports boards 0 and 2" vd_wait_for 20 sim_said \
    "Velleman K8055 Interfaces detected are on addresses [Zero] [Two]              \""
vd_check "boards 0 and 2 are open" eval '"$BOARDS" show | grep -c "plugged in, open" | grep -qx 2'
rmu_wait_shows "EDIT 1"

# ---- board 0's held step-up button on COM1 standby 118.000 ----
vd_sim_set 0x311A 2 0x1800
rmu_wait_shows "COM1 118.000 118.000"
mark=$(($(log_lines) + 1))
boards press step-up
vd_wait_for 40 sim_is 0x311A 2 0x3697
held=$?
boards release step-up
[ "$held" = 0 ] || vd_fail "the held step-up button never reached 136.975 ($(vd_sim_get 0x311A 2))"
sleep 0.5
tail -n "+$mark" "$VD_TMP/sim.log" | awk '$2 == "0x311A" {
        split($1, t, "[:.]"); ms = ((t[1] * 60 + t[2]) * 60 + t[3]) * 1000 + t[4]
        b = $4; word = substr(b, 3, 2) substr(b, 1, 2)
        khz = 100000 + substr(word, 1, 1) * 10000 + substr(word, 2, 1) * 1000 \
              + substr(word, 3, 1) * 100 + substr(word, 4, 1) * 10
        if (substr(word, 4, 1) == "2" || substr(word, 4, 1) == "7") khz += 5
        print ms, khz }' >"$VD_TMP/held.txt"
# 20 steps of 25 kHz, 20 of 100 kHz, then 1 MHz up to the clamp; each step after the board's
# pause and the pass's 50 ms (50 + 50 ms, then 200 + 50 ms).
awk '
    { ms[NR] = $1; khz[NR] = $2 }
    END {
        prev = 118000; bad = 0
        for (i = 1; i <= NR; i++) {
            want = i <= 20 ? 25 : i <= 40 ? 100 : 1000
            next_khz = prev + want; if (next_khz > 136975) next_khz = 136975
            if (khz[i] != next_khz) { printf "step %d: %d kHz, expected %d\n", i, khz[i], next_khz; bad = 1 }
            if (i > 1 && ms[i] - ms[i - 1] < (want < 1000 ? 95 : 245)) {
                printf "step %d came %d ms after the one before\n", i, ms[i] - ms[i - 1]; bad = 1
            }
            prev = khz[i]
        }
        if (NR < 57) { printf "only %d steps\n", NR; bad = 1 }
        exit bad
    }' "$VD_TMP/held.txt" >"$VD_TMP/held.out" ||
    vd_fail "held step-up: $(head -n 5 "$VD_TMP/held.out" | tr '\n' ' ')"
vd_log "ok: the held button steps 20 x 25 kHz, 20 x 100 kHz, then 1 MHz up to 136.975"
rmu_wait_shows "COM1 118.000 136.975"
vd_log "ok: the window shows 136.975"

# The select button moves the highlight once per press.
boards tap radio-select 300
rmu_wait_shows "EDIT 2"
vd_stop

# ---- board 1's held heading knob ----
boards plug 1
vd_start
vd_wait_window
vd_wait_for 20 connected || vd_fail "never connected"
vd_check "the simulator reports boards 0, 1 and 2" vd_wait_for 20 sim_said \
    "Velleman K8055 Interfaces detected are on addresses [Zero] [One] [Two] "
vd_sim_set 0x07CC 2 1000
sleep 0.5
mark=$(($(log_lines) + 1))
heading_writes() {
    tail -n "+$mark" "$VD_TMP/sim.log" | awk "$LE_AWK"' $2 == "0x07CC" { print le($4) }'
}
boards press heading-right
vd_wait_for 30 eval '[ "$(heading_writes | wc -l)" -ge 45 ]'
held=$?
boards release heading-right
[ "$held" = 0 ] || vd_fail "the held heading knob stepped only $(heading_writes | wc -l) times"
heading_writes | awk -v start=1000 '
    { d = ($1 - prev + 65536) % 65536; prev = $1; n++
      if (n == 1) d = ($1 - start + 65536) % 65536
      step[n] = d }
    END {
        bad = 0
        for (i = 1; i <= 45; i++) {
            want = i <= 21 ? 150 + i : i <= 37 ? step[i - 1] + 5 : step[i - 1] + 20
            if (step[i] != want) { printf "pass %d: +%d, expected +%d\n", i, step[i], want; bad = 1 }
        }
        exit bad
    }' >"$VD_TMP/heading.out" || vd_fail "heading: $(head -n 5 "$VD_TMP/heading.out" | tr '\n' ' ')"
vd_log "ok: the held heading knob raises 0x07CC by 151, 152, ... 171, then 5 and 20 more a pass"
vd_stop

# ---- a calibrated left throttle (reverse 20, idle 60, full 230) ----
vd_write_settings 0 0 75 280 400 1 20 60 230 0 -1 -1 -1 0 -1 -1 -1 0 -1 -1 -1 -1 0 -1 -1 -1 \
    0 -1 -1 0 -1 -1 -1 0 -1 -1 -1 0 0 0 =0
boards set throttle-left 61
vd_start
vd_wait_window
vd_wait_for 20 connected || vd_fail "never connected"
vd_check "idle plus one sends 175" vd_wait_for 20 sim_word_is 0x089A 175
boards set throttle-left 230
vd_check "full thrust sends 16230" vd_wait_for 10 sim_word_is 0x089A 16230
boards set throttle-left 145
vd_check "half way sends 8155" vd_wait_for 10 sim_word_is 0x089A 8155
# The parked aircraft is on the ground: reverse thrust down to -4096 at the stop.
boards set throttle-left 20
vd_check "the reverse stop sends -4096" vd_wait_for 10 sim_word_is 0x089A -4096
vd_stop
