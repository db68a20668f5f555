#!/bin/bash
# The RMU's radio keys on the real window with the stand-in simulator: the cycle key moves the
# highlight, the full stop tunes COM1's standby (also held, with growing steps), s swaps, c
# switches the audio selector, and while the simulator is gone only the cycle, F1 and layout
# keys act. What the window shows is read off a picture of it (e2e-tools/rmuread).
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim

# Panel layout the window is drawn with (width height gap border), for reading pictures.
LAYOUT="280 400 75 0"

# Prints what the left face shows: COM1/COM2/NAV1/NAV2 active and standby, XPDR, ADF, EDIT.
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
    vd_wait_for 10 rmu_shows_line "$1" || vd_fail "the window never showed '$1' (it shows: $(rmu_shows | tr '\n' ' '))"
}

sim_is() { # sim_is OFFSET SIZE VALUE
    [ "$(vd_sim_get "$1" "$2")" = "$3" ]
}

# The words written to an offset since log line $2, as the log's little-endian bytes.
writes_to() { # writes_to OFFSET-AS-LOGGED FROM-LINE
    tail -n "+$2" "$VD_TMP/sim.log" | awk -v o="$1" '$2 == o { print $4 }'
}

log_lines() {
    wc -l <"$VD_TMP/sim.log"
}

connected() {
    vd_title | grep -q '>>>   Connected   <<<'
}

not_connected() {
    vd_title | grep -q '<<< Not Connected >>>'
}

vd_start
vd_wait_window
vd_wait_for 20 connected || vd_fail "never connected"
rmu_wait_shows "EDIT 1"

# ---- t cycles the radio being edited; six presses come back to COM1 ----
seen=""
for i in 1 2 3 4 5 6; do
    vd_key t
    rmu_wait_shows "EDIT $(( i % 6 + 1 ))"
    seen="$seen $(( i % 6 + 1 ))"
done
vd_expect "t cycles COM2, NAV1, NAV2, XPDR, ADF, COM1" "$seen" " 2 3 4 5 6 1"

# ---- full stop on COM1 standby 118.000 ----
vd_sim_set 0x311A 2 0x1800
rmu_wait_shows "COM1 118.000 118.000"
mark=$(( $(log_lines) + 1 ))
vd_key period
vd_wait_for 10 sim_is 0x311A 2 0x1802 || vd_fail "0x311A holds $(vd_sim_get 0x311A 2)"
vd_expect "full stop writes 0x1802 to 0x311A once" "$(writes_to 0x311A "$mark")" "0218"
rmu_wait_shows "COM1 118.000 118.025"
vd_log "ok: the window shows 118.025"

# ---- a held full stop steps faster the longer it is held ----
vd_sim_set 0x311A 2 0x1800
rmu_wait_shows "COM1 118.000 118.000"
mark=$(( $(log_lines) + 1 ))
xdotool windowfocus --sync "$VD_WIN" 2>/dev/null
xdotool keydown period
vd_wait_for 30 sim_is 0x311A 2 0x3697
held=$?
xdotool keyup period
[ "$held" = 0 ] || vd_fail "a held full stop never reached 136.975 ($(vd_sim_get 0x311A 2))"
sleep 1
# Each write as "milliseconds-of-day frequency-in-kHz".
tail -n "+$mark" "$VD_TMP/sim.log" | awk '$2 == "0x311A" {
        split($1, t, "[:.]"); ms = ((t[1] * 60 + t[2]) * 60 + t[3]) * 1000 + t[4]
        b = $4; lo = substr(b, 1, 2); hi = substr(b, 3, 2)
        word = hi lo   # the word in hex digits: tens, units, tenths, hundredths of MHz
        khz = 100000 + substr(word, 1, 1) * 10000 + substr(word, 2, 1) * 1000 \
              + substr(word, 3, 1) * 100 + substr(word, 4, 1) * 10
        if (substr(word, 4, 1) == "2" || substr(word, 4, 1) == "7") khz += 5
        print ms, khz }' >"$VD_TMP/held.txt"
# The key's first repeat comes after the X server's repeat delay, which is longer than a
# step's pause, so the pass may end once after the first step and start counting again.
awk '
    { ms[NR] = $1; khz[NR] = $2 }
    END {
        prev = 118000; bad = 0; small = 0
        while (small < NR && khz[small + 1] - (small ? khz[small] : prev) == 25) small++
        if (small != 20 && small != 21) { printf "%d steps of 25 kHz\n", small; bad = 1 }
        for (i = 1; i <= NR; i++) {
            want = i <= small ? 25 : i <= small + 20 ? 100 : 1000
            next_khz = prev + want; if (next_khz > 136975) next_khz = 136975
            if (khz[i] != next_khz) { printf "step %d: %d kHz, expected %d\n", i, khz[i], next_khz; bad = 1 }
            # The pauses before the steps: 200 ms, and 300 ms for the 1 MHz steps.
            if (i > 2 && ms[i] - ms[i - 1] < (want < 1000 ? 195 : 295)) {
                printf "step %d came %d ms after the one before\n", i, ms[i] - ms[i - 1]; bad = 1
            }
            prev = khz[i]
        }
        if (NR < small + 37) { printf "only %d steps\n", NR; bad = 1 }
        exit bad
    }' "$VD_TMP/held.txt" >"$VD_TMP/held.out" ||
    vd_fail "held full stop: $(head -n 5 "$VD_TMP/held.out" | tr '\n' ' ')"
vd_log "ok: a held full stop steps 20 x 25 kHz, 20 x 100 kHz, then 1 MHz up to 136.975"

# ---- s swaps COM1 in the simulator ----
vd_sim_set 0x034E 2 0x2270
vd_sim_set 0x311A 2 0x1802
rmu_wait_shows "COM1 122.700 118.025"
mark=$(( $(log_lines) + 1 ))
vd_key s
vd_wait_for 10 sim_is 0x034E 2 0x1802 || vd_fail "COM1 active is $(vd_sim_get 0x034E 2)"
vd_check "s leaves COM1 standby with the old active" sim_is 0x311A 2 0x2270
vd_expect "s writes the COM1 swap bit to 0x3123" "$(writes_to 0x3123 "$mark")" "08"
rmu_wait_shows "COM1 118.025 122.700"

# ---- c with 0x40 writes 0x80 ----
vd_sim_set 0x3122 1 0x40
sleep 0.5 # a pass reads the selector byte back
mark=$(( $(log_lines) + 1 ))
vd_key c
vd_wait_for 10 sim_is 0x3122 1 0x80 || vd_fail "0x3122 holds $(vd_sim_get 0x3122 1)"
vd_expect "c writes 0x80 to 0x3122" "$(writes_to 0x3122 "$mark")" "80"

# ---- with the simulator gone only t, F1 and the layout keys act ----
vd_stop_sim
vd_wait_for 10 not_connected || vd_fail "the title never said Not Connected"
vd_key period comma s c v b n m k e a F1 t i
vd_wait_for 10 vd_outer_is 0 0 643 425 || vd_fail "i did not act while waiting: $(vd_outer)"
vd_log "ok: i widens the window while the simulator is gone"
vd_key period # F1 returned at once: keys still flow
mark=$(( $(log_lines) + 1 ))
vd_start_sim
vd_wait_for 20 connected || vd_fail "never connected again"
LAYOUT="281 400 75 0"
rmu_wait_shows "EDIT 2"
vd_log "ok: t moved the highlight to COM2 while the simulator was gone"
for offset in 0x311A 0x034E 0x3123 0x3122; do
    vd_expect "no write to $offset from keys typed while the simulator was gone" \
        "$(writes_to "$offset" "$mark")" ""
done
# A fresh simulator: the reset's COM1 standby and selector byte are still there.
vd_check "COM1 standby untouched" sim_is 0x311A 2 0x1802
rmu_wait_shows "COM1 118.000 118.025"

vd_stop
