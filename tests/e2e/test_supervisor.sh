#!/bin/bash
# The simulator link from the outside, and its soak. Started without a simulator the program
# waits (title, live layout keys); it connects and announces itself; the simulator is then
# killed or stopped and started again at random moments while four virtual boards' inputs move
# (40 times, 500 with VALDORA_LONG=1), and the program runs on, reconnects, opens no more files
# and keeps one shared block; closed during the wait it saves its settings (with the simulator
# away it cannot announce itself; a window closed as the link opens is the link test's case);
# killed outright its block is removed by the simulator; and killed while it saves its settings
# (with strace, at each call of the save) it never leaves the settings file missing or cut short.
# Run it against the sanitized build too:
#   VALDORA_BUILD_DIR=$PWD/build-asan VALDORA_LONG=1 tests/e2e/test_supervisor.sh
. "$(dirname "$0")/lib.sh"
vd_setup
cycles=40
[ "${VALDORA_LONG:-0}" = 1 ] && cycles=500

reconnected_since() { [ "$(vd_announcements)" -gt "$1" ] && vd_title_is "$VD_CONNECTED"; }
blocks_of() { find /dev/shm -maxdepth 1 -name "FsasmLib:IPC:$(printf '%X' "$1"):*" | wc -l; }
# 40 numbers and the closing "=number" line.
settings_whole() {
    local f="$VD_RUN/vd60_rmu.ini"
    [ "$(wc -l <"$f")" = 41 ] && ! head -n 40 "$f" | grep -qvxE -- '-?[0-9]+' &&
        tail -n 1 "$f" | grep -qxE -- '=-?[0-9]+'
}

vd_start
vd_check "without a simulator the title says so" vd_wait_for 10 vd_title_is "$VD_NOT_CONNECTED"
set -- $(vd_outer)
vd_press i vd_outer_is "$1" "$2" $(($3 + 2)) "$4"
vd_check "a layout key works during the wait, which goes on" vd_title_is "$VD_NOT_CONNECTED"
"$VD_BOARDS" plug all >/dev/null || vd_fail "cannot plug the virtual boards"
vd_start_sim
vd_check "connected once the simulator is there" vd_wait_for 10 reconnected_since 0
text_hex="$(printf 'Valdora V2.08 Connected' | od -An -tx1 | tr -d ' \n' | tr a-f A-F)00"
announced() { grep -A1 -- " 0x3380 24 $text_hex\$" "$VD_TMP/sim.log" | grep -q " 0x32FA 2 0500\$"; }
vd_check "the announcement's text, with its zero, comes just before its time 5" announced
sleep 6 # the boards banner and the discovery, before counting files
files_linked="$(ls "/proc/$VD_PID/fd" | wc -l)"
(
    taps=(heading-left altitude-up speed-down vs-up step-up step-down swap silence 3:1 3:4)
    while sleep 0.$((RANDOM % 3)); do
        for a in throttle-left flaps rudder 3:a2; do "$VD_BOARDS" set $a $((RANDOM % 256)); done
        "$VD_BOARDS" tap "${taps[RANDOM % ${#taps[@]}]}" $((RANDOM % 200))
    done >/dev/null 2>&1
) &
mover=$!
for i in $(seq 1 "$cycles"); do
    kill -$((RANDOM % 2 ? 9 : 15)) "$VD_SIM_PID"
    wait "$VD_SIM_PID" 2>/dev/null
    sleep "0.$((RANDOM % 3))"
    count="$(vd_announcements)"
    vd_start_sim
    if [ $((i % 20)) = 0 ]; then
        vd_wait_for 30 reconnected_since "$count" || vd_fail "no reconnection in cycle $i"
        vd_expect "open files after $i cycles" "$(ls "/proc/$VD_PID/fd" | wc -l)" "$files_linked"
        vd_expect "one shared block in use after $i cycles" "$(blocks_of "$VD_PID")" 1
    fi
    sleep "0.$((RANDOM % 4))"
    vd_gone "$VD_PID" && vd_fail "the program ended in cycle $i"
done
kill "$mover"
vd_stop_sim
vd_check "losing the simulator brings back the wait" vd_wait_for 10 vd_title_is "$VD_NOT_CONNECTED"
pid=$VD_PID
vd_stop
vd_check "closed during the wait, the settings are saved whole" settings_whole
vd_expect "no shared block is left" "$(blocks_of "$pid")" 0
grep -q "AddressSanitizer\|runtime error" "$VD_TMP/valdora.log" && vd_fail "sanitizer report"

vd_start_sim
vd_start
vd_check "connected again" vd_wait_for 10 vd_title_is "$VD_CONNECTED"
kill -9 "$VD_PID"
vd_check "a killed program's block is removed by the simulator" vd_wait_for 10 eval '[ "$(blocks_of "$VD_PID")" = 0 ]'
wait "$VD_PID" 2>/dev/null

# Killed while saving, at each call of the save: the file is whole, and either the one before or
# the one being written. (A kill at a random moment can only land between two of these calls.)
marked_as() { [ "$(sed -n 41p "$VD_RUN/vd60_rmu.ini")" = "=$1" ]; }
kill_while_saving() { # MARK COMMAND WORDS TO RUN IT UNDER, which end it themselves
    sed -i "41s/.*/=$1/" "$VD_RUN/vd60_rmu.ini"
    (cd "$VD_RUN" && exec "${@:2}" "$VALDORA_RUN_DIR/valdora") >"$VD_TMP/valdora.log" 2>&1 &
    VD_PID=$!
    vd_wait_window
    sleep 5 # into the main loop
    vd_close
    vd_wait_for 30 vd_gone "$VD_PID" || vd_fail "the program did not end under $2"
    wait "$VD_PID" 2>/dev/null
    settings_whole || vd_fail "settings file not whole after a kill ($*)"
}
command -v strace >/dev/null || { vd_log "SKIP kills at each call of the save: no strace"; exit 0; }
for calls in open,openat,creat write fsync close rename,renameat,renameat2 folder; do
    at=(-P vd60_rmu.ini.tmp -P "$VD_RUN/vd60_rmu.ini.tmp") c=$calls
    [ $calls = folder ] && at=(-P "$VD_RUN") c=fsync # the folder's, after the rename
    kill_while_saving -12345 strace -f -qq -o /dev/null "${at[@]}" -e trace=$c -e inject=$c:signal=KILL
    marked_as -12345 && [ $calls = folder ] && vd_fail "the rename had run, yet the old settings are there"
    marked_as -12345 || [ $calls = folder ] || vd_fail "the settings changed before the rename ran ($calls)"
done
vd_log "ok: killed at each call of the save, the settings file stayed whole"
