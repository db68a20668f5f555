# A scripted cockpit session whose simulator writes are compared with a recorded log: radio
# keys and board buttons that each give the same writes on every run. (The lamps write nothing
# to the simulator: their answer to its events is the cockpit journeys' and the lamp tests'.)
# Sourced by a test after lib.sh and vd_setup; `writes_session OUT` runs it against a fresh
# stand-in simulator and leaves the folded write log in OUT.
#
# The folded log: the stand-in's log of writes received, without times, as one line per offset
# (sorted) with the values written to it in order, a value repeated at once kept once. The
# program writes some offsets every pass (the radios' APU power byte), so how often a value
# repeats depends on the machine's speed; which values follow which, per offset, does not.
writes_fold() { # writes_fold SIM_LOG
    awk '{ key = $2 " " $3; v = $4 ""
           if (!(key in last) || last[key] != v) { seq[key] = seq[key] " " v; last[key] = v } }
         END { for (k in seq) print k ":" seq[k] }' "$1" | sort
}

writes_session() { # writes_session OUT
    rm -f "$VD_TMP/sim.log"
    vd_start_sim
    "$VD_BOARDS" plug all >/dev/null || vd_fail "cannot plug the virtual boards"
    vd_start
    vd_wait_for 30 vd_outputs_on gear-nose-down || vd_fail "the lamps were never driven"
    # Radio keys: COM1 standby up twice and swapped, NAV1 down, NAV2, transponder and ADF up,
    # the audio selectors.
    vd_press period vd_sim_is 0x311A 2 0x1805
    vd_key period s t t comma t period t period t period c b
    vd_wait_for 10 vd_sim_is 0x3122 1 0xA0 || vd_fail "the audio keys were not written"
    # Board 0: select COM2 then swap it; board 3: the APU button; board 1: engine 1 start.
    "$VD_BOARDS" tap radio-select 300 && "$VD_BOARDS" tap swap 300
    "$VD_BOARDS" tap apu 300
    vd_wait_for 60 vd_sim_is 0x0B52 1 0x01 || vd_fail "the APU never powered the radios"
    "$VD_BOARDS" tap engine-1-start 300
    vd_wait_for 30 vd_sim_is 0x3B7C 4 0x00000001 || vd_fail "engine 1 never came on line"
    "$VD_BOARDS" tap apu 300
    vd_wait_for 60 vd_sim_is 0x0B52 1 0x00 || vd_fail "the APU never stopped powering the radios"
    vd_stop
    vd_stop_sim
    writes_fold "$VD_TMP/sim.log" >"$1"
}
