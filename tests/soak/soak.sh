#!/bin/bash
# Soak: the program under its own X server against the stand-in simulator and four virtual
# boards whose inputs keep moving. The simulator is killed (SIGKILL or SIGTERM) and started
# again many times at random moments, the board file is unplugged and plugged back now and
# then, and the window is closed at the end: the program must not crash, must hold no more open
# files than when it first connected, must leave no shared block in /dev/shm and must leave a
# whole settings file. Then the program is killed with SIGKILL at random moments while it saves
# its settings, and (with strace) exactly at each system call of the save: the settings file is
# never missing and never cut short.
#
#   tests/soak/soak.sh [--cycles N] [--replug-every N] [--save-kills N] [--no-strace]
#
# Defaults: 500 cycles, board file replugged every 50, 20 random kills while saving. Run it
# against the sanitized build so that any memory fault ends the program:
#   VALDORA_BUILD_DIR=$PWD/build-asan tests/soak/soak.sh
# tests/e2e/test_soak_short.sh runs a short version in CTest.
cycles=500
replug_every=50
save_kills=20
use_strace=1
while [ $# -gt 0 ]; do
    case "$1" in
    --cycles) cycles=$2; shift 2 ;;
    --replug-every) replug_every=$2; shift 2 ;;
    --save-kills) save_kills=$2; shift 2 ;;
    --no-strace) use_strace=0; shift ;;
    *) echo "usage: $0 [--cycles N] [--replug-every N] [--save-kills N] [--no-strace]" >&2; exit 2 ;;
    esac
done

. "$(dirname "$0")/../e2e/lib.sh"
VD_NAME=soak
vd_setup

BOARDS="$VALDORA_RUN_DIR/valdora-boards"
[ -x "$BOARDS" ] || vd_fail "no valdora-boards in the run folder"
MOVER_PID=""

soak_cleanup() {
    if [ -n "$MOVER_PID" ]; then
        kill "$MOVER_PID" 2>/dev/null
        wait "$MOVER_PID" 2>/dev/null
    fi
    vd_cleanup
}
trap soak_cleanup EXIT

announcements() {
    grep -c -- " 0x32FA 2 0500\$" "$VD_TMP/sim.log" 2>/dev/null || true
}
reconnected_since() { # the program announced itself again after COUNT announcements
    [ "$(announcements)" -gt "$1" ] && vd_title | grep -q '>>>   Connected   <<<'
}
open_files() {
    ls "/proc/$VD_PID/fd" | wc -l
}
program_blocks() {
    find /dev/shm -maxdepth 1 -name "FsasmLib:IPC:$(printf '%X' "$1"):*" 2>/dev/null | wc -l
}
# The settings file is there and whole: 40 numbers and the closing "=number" line.
settings_whole() {
    local f="$VD_RUN/vd60_rmu.ini"
    [ -f "$f" ] && [ "$(wc -l <"$f")" = 41 ] &&
        ! head -n 40 "$f" | grep -qvxE -- '-?[0-9]+' &&
        tail -n 1 "$f" | grep -qxE -- '=-?[0-9]+'
}

# The cockpit's hands: axes swept and knobs, buttons and switches tapped at random, a few times
# a second, until stopped. An unplugged board file is left alone (a tap would make a new one).
start_mover() {
    (
        axes="throttle-left throttle-right spoilers flaps rudder toe-brakes 3:a1 3:a2"
        taps=(heading-left heading-right altitude-up altitude-down speed-up speed-down vs-up
              vs-down radio-select step-up step-down swap silence 3:1 3:2 3:3 3:4 3:5)
        while :; do
            if [ -e "$VALDORA_IPC_DIR/k8055-boards" ]; then
                for a in $axes; do "$BOARDS" set "$a" $((RANDOM % 256)) >/dev/null 2>&1; done
                "$BOARDS" tap "${taps[RANDOM % ${#taps[@]}]}" $((RANDOM % 200)) >/dev/null 2>&1
            fi
            sleep 0.$((RANDOM % 3))
        done
    ) &
    MOVER_PID=$!
}

# ---- Phase 1: the simulator comes and goes, the boards are unplugged and plugged back ----
"$BOARDS" plug all >/dev/null || vd_fail "cannot plug the virtual boards"
vd_start_sim
vd_start
vd_wait_window
vd_check "connected at first" vd_wait_for 30 reconnected_since 0
# Start-up holds its boards banner, then discovers the boards: let it settle before counting.
sleep 6
files_linked="$(open_files)"
vd_log "open files while connected: $files_linked"
start_mover

for i in $(seq 1 "$cycles"); do
    if [ $((RANDOM % 2)) = 0 ]; then
        kill -9 "$VD_SIM_PID" 2>/dev/null
    else
        kill "$VD_SIM_PID" 2>/dev/null
    fi
    wait "$VD_SIM_PID" 2>/dev/null
    VD_SIM_PID=""
    if [ $((i % replug_every)) = 0 ]; then
        "$BOARDS" remove >/dev/null 2>&1
        vd_log "cycle $i: board file removed"
    fi
    sleep "0.$((RANDOM % 2))$((RANDOM % 10))"
    count="$(announcements)"
    vd_start_sim
    if [ $((i % replug_every)) = 0 ]; then
        "$BOARDS" plug all >/dev/null || vd_fail "cannot plug the boards back"
        vd_wait_for 30 reconnected_since "$count" || vd_fail "no reconnection in cycle $i"
        sleep 1
        vd_expect "open files after $i cycles" "$(open_files)" "$files_linked"
        vd_expect "one shared block in use after $i cycles" "$(program_blocks "$VD_PID")" 1
    else
        sleep "0.$((RANDOM % 4))$((RANDOM % 10))"
    fi
    kill -0 "$VD_PID" 2>/dev/null || vd_fail "the program ended in cycle $i"
done

vd_check "the program reconnects after the last cycle" vd_wait_for 30 reconnected_since 0
kill "$MOVER_PID" 2>/dev/null
wait "$MOVER_PID" 2>/dev/null
MOVER_PID=""
sleep 1
vd_expect "open files at the end" "$(open_files)" "$files_linked"
pid=$VD_PID
vd_stop
vd_expect "no shared block of the program is left" "$(program_blocks "$pid")" 0
vd_check "the settings file is whole after closing" settings_whole
grep -q "ERROR: AddressSanitizer\|runtime error" "$VD_TMP/valdora.log" &&
    vd_fail "the sanitizers reported an error"

# ---- Phase 2: SIGKILL while the settings are saved ----
# Each run starts from a known settings file; after the kill the file must be whole, and be
# either that file or the one the program was writing.
write_marked_settings() { # the known file, marked in line 41, which the program never reads
    local lines=() n
    for n in $(seq 1 40); do lines+=("$(sed -n "${n}p" "$VD_RUN/vd60_rmu.ini")"); done
    lines+=("=$1")
    vd_write_settings "${lines[@]}"
}
marked_as() {
    [ "$(sed -n 41p "$VD_RUN/vd60_rmu.ini")" = "=$1" ]
}

kill_while_saving() { # kill_while_saving DELAY_SECONDS MARK
    write_marked_settings "$2"
    vd_start
    vd_wait_window
    sleep 5 # past the boards banner, into the main loop
    vd_close
    sleep "$1"
    kill -9 "$VD_PID" 2>/dev/null
    wait "$VD_PID" 2>/dev/null
    # Killed, it could not remove its shared block.
    rm -f "/dev/shm/FsasmLib:IPC:$(printf '%X' "$VD_PID"):"*
    VD_PID=""
    settings_whole || vd_fail "settings file not whole after a kill $1 s into saving: $(cat "$VD_RUN/vd60_rmu.ini" 2>&1 | tr '\n' ' ')"
}

kept=0
replaced=0
for i in $(seq 1 "$save_kills"); do
    delay="0.$((RANDOM % 4))$((RANDOM % 10))$((RANDOM % 10))"
    kill_while_saving "$delay" -$((12300 + i))
    if marked_as -$((12300 + i)); then kept=$((kept + 1)); else replaced=$((replaced + 1)); fi
done
vd_log "ok: $save_kills random kills while saving: file kept $kept times, replaced $replaced times, always whole"

# With strace, the program is killed exactly as it makes each call of the save: creating the
# temporary file, writing it, pushing it to disk, closing it, renaming it over the settings, and
# pushing the folder to disk after the rename.
if [ "$use_strace" = 1 ] && command -v strace >/dev/null; then
    for call in open write fsync close rename folder-fsync; do
        paths=(-P vd60_rmu.ini.tmp -P "$VD_RUN/vd60_rmu.ini.tmp")
        case $call in
        open) calls=open,openat,creat ;;
        rename) calls=rename,renameat,renameat2 ;;
        folder-fsync) calls=fsync paths=(-P "$VD_RUN") ;;
        *) calls=$call ;;
        esac
        write_marked_settings -12345
        started=$(date +%s)
        (cd "$VD_RUN" && exec strace -f -qq -o /dev/null "${paths[@]}" \
            -e trace="$calls" -e inject="$calls":signal=KILL "$VALDORA_RUN_DIR/valdora") \
            >"$VD_TMP/valdora.log" 2>&1 &
        VD_PID=$!
        vd_wait_window
        sleep 5
        vd_close
        vd_wait_for 30 vd_gone "$VD_PID" || vd_fail "the program did not end at $call"
        wait "$VD_PID" 2>/dev/null
        # strace's own pid: the program's blocks carry the traced child's, found by name.
        for f in /dev/shm/FsasmLib:IPC:*; do
            p=${f#/dev/shm/FsasmLib:IPC:}
            [ -e "$f" ] && ! kill -0 $((16#${p%%:*})) 2>/dev/null &&
                [ "$(stat -c %Y "$f")" -ge "$started" ] && rm -f "$f"
        done
        VD_PID=""
        settings_whole || vd_fail "settings file not whole after a kill at $call"
        if [ "$call" = folder-fsync ]; then
            marked_as -12345 && vd_fail "the rename had run, yet the old settings are there"
            vd_log "ok: killed after the rename: the new settings file is whole"
        else
            marked_as -12345 || vd_fail "the settings changed before the rename ran ($call)"
            vd_log "ok: killed at $call of the save: the old settings file is whole"
        fi
    done
else
    vd_log "strace not found: the kills at each call of the save were skipped"
fi
vd_log "soak passed: $cycles simulator restarts, board file replugged every $replug_every"
