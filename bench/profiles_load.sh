#!/bin/bash
# What the aircraft profiles cost the running program, with four virtual boards at rest against
# the stand-in simulator: the share of one core over SECONDS and the main loop's pass time
# (from the passes counted in the stand-in's write log: each pass writes the radios' APU power
# byte once), first with no profiles folder (today's jet, built-in), then with the shipped
# profiles and the add-on jet loaded (its profile's reads and lamp in every pass).
#
#   VALDORA_BUILD_DIR=$PWD/build bench/profiles_load.sh [SECONDS]
. "$(dirname "$0")/../tests/e2e/lib.sh"
VD_NAME=profiles_load
seconds=${1:-10}
vd_setup
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
BOARDS="$VALDORA_RUN_DIR/valdora-boards"
hz=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
passes() { grep -c ' 0x0B52 1 ' "$VD_TMP/sim.log"; }
linked() { vd_title | grep -q '>>>   Connected   <<<'; }

measure() { # measure LABEL
    vd_start
    vd_check "connected" vd_wait_for 30 linked
    sleep 8 # past the boards banner, the board search and the first change of aircraft
    local a p b q
    a=$(cpu_ticks "$VD_PID") p=$(passes)
    sleep "$seconds"
    b=$(cpu_ticks "$VD_PID") q=$(passes)
    awk -v d=$((b - a)) -v n=$((q - p)) -v hz="$hz" -v s="$seconds" -v l="$1" 'BEGIN {
        printf "%s: program %.1f %% of one core over %d s; %d passes, %.1f ms a pass\n",
               l, d * 100 / hz / s, s, n, n ? s * 1000 / n : 0 }'
    vd_stop
}

vd_start_sim
"$BOARDS" plug all >/dev/null || vd_fail "cannot plug the boards"
measure "no profiles, built-in"
mkdir -p "$VD_RUN/profiles"
cp "$VALDORA_RUN_DIR"/profiles/*.toml "$VD_RUN/profiles/"
"$VALDORA_RUN_DIR/valdora-sim" aircraft addon || vd_fail "cannot load the add-on"
measure "add-on with its profile"
grep -q 'Addon Twin Jet (path' "$VD_RUN/valdora.log" || vd_fail "the profile was not in use"
