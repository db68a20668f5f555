#!/bin/bash
# Aircraft profiles at work with the stand-in's aircraft and the shipped example profile: the
# add-on jet loaded in flight, its lamps follow its own bytes within 2 s and a COM1 standby step
# arrives as the control; a livery change keeps the profile; back to today's jet the standard
# reads count again. A bad profile beside the good one is reported and changes nothing else.
# windows/test.sh runs this same journey under Wine, with the Windows build's profiles in Windows
# line ends.
. "$(dirname "$0")/lib.sh"
vd_setup
mkdir -p "$VD_RUN/profiles"
cp "$VALDORA_RUN_DIR"/profiles/*.toml "$VD_RUN/profiles/" || vd_fail "no shipped profiles"
printf 'name = "broken"\n[match]\ntitle = ["Valdora"]\n[lamps]\n"ap-hdg" = { offset = 0x10000, size = 1 }\n' \
    >"$VD_RUN/profiles/broken.toml"
[ -z "${VD_WINE:-}" ] || sed -i 's/$/\r/' "$VD_RUN"/profiles/*.toml # as the Windows zips ship them
vd_start_sim
"$VD_BOARDS" plug all >/dev/null || vd_fail "cannot plug the virtual boards"
logged() { grep -qF "$1" "$VD_RUN/valdora.log"; }
vd_start
vd_wait_for 30 vd_outputs_on gear-nose-down || vd_fail "the lamps were never driven"
vd_check "the bad profile is reported with file and line" logged \
    'profile broken.toml:5: offset 65536 is outside 0 to 65535'
vd_check "today's jet runs on the built-in" vd_wait_for 5 logged \
    'aircraft "Valdora Twin Jet" at "SimObjects\Airplanes\Valdora Twin Jet\aircraft.cfg": built-in (no profile matches)'

"$VALDORA_RUN_DIR/valdora-sim" aircraft addon || vd_fail "cannot load the add-on"
vd_check "the add-on gets its profile by its folder" vd_wait_for 2 logged \
    'aircraft "Addon Twin Jet House Colours" at "SimObjects\Airplanes\Addon Twin Jet\aircraft.cfg": Addon Twin Jet (path "\Addon Twin Jet\" in addon-twin-jet.toml)'
vd_check "the standard gear offsets read 0 on the add-on" vd_sim_is 0x0BEC 4 0x00000000
vd_check "its gear lamps follow its own bytes" vd_wait_for 2 vd_outputs_on gear-nose-down
(cd "$VD_RUN" && exec timeout 30 "$VALDORA_RUN_DIR/valdora-probe" --changes 66C0-66FF) \
    >"$VD_TMP/changes.txt" 2>&1 &
vd_wait_for 20 grep -q '^watching 0x66C0-0x66FF' "$VD_TMP/changes.txt" || vd_fail "no probe watching"
vd_sim_set 0x07C8 4 1
vd_check "heading hold lamp within 2 s" vd_wait_for 2 vd_outputs_on ap-hdg
vd_check "the probe finds where the add-on keeps it" vd_wait_for 3 grep -qx '0x66C8 1 0 -> 1' \
    "$VD_TMP/changes.txt"
vd_sim_set 0x66E0 2 16383 && vd_sim_set 0x66F8 4 0x030201 && vd_sim_set 0x66F0 4 0x04030201
vd_check "each change with its likely width" vd_wait_for 3 eval 'grep -qx "0x66E0 2 0 -> 16383" \
    "$VD_TMP/changes.txt" && grep -qx "0x66F8 4 0 -> 197121" "$VD_TMP/changes.txt" &&
    grep -qx "0x66F0 4 0 -> 67305985" "$VD_TMP/changes.txt"' # 2 bytes, 3 of 4, 4 of 4
vd_check "a reversed range is refused (usage, 2)" eval 'timeout 20 "$VALDORA_RUN_DIR/valdora-probe" \
    --changes 66FF-66C0 2>/dev/null; [ $? = 2 ]'
vd_press period grep -q ' control 66371 0x00001805' "$VD_TMP/sim.log"
vd_check "the control tuned COM1 standby" vd_wait_for 2 vd_sim_is 0x311A 2 0x1805
vd_check "no write to the offset the add-on ignores" eval '! grep -q " 0x311A 2 " "$VD_TMP/sim.log"'

"$VALDORA_RUN_DIR/valdora-sim" aircraft addon-cargo || vd_fail "cannot change the livery"
vd_check "a livery change keeps the profile" vd_wait_for 2 logged \
    'aircraft "Addon Twin Jet Cargo" at "SimObjects\Airplanes\Addon Twin Jet\aircraft.cfg": Addon Twin Jet'

"$VALDORA_RUN_DIR/valdora-sim" aircraft jet || vd_fail "cannot load the jet"
vd_check "back on the jet" vd_wait_for 2 logged 'aircraft "Valdora Twin Jet" at "SimObjects\Airplanes\Valdora Twin Jet\aircraft.cfg": built-in (no profile matches)'
vd_sim_set 0x0BE8 4 0
vd_check "the gear in transit shows again from the standard offsets" vd_wait_for 5 vd_outputs_on gear-nose-transit
vd_press period grep -q ' 0x311A 2 ' "$VD_TMP/sim.log"
vd_stop
