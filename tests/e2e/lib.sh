# Shared harness of the end-to-end tests: each test runs the real program in its own X server
# with its own copy of the run folder and its own IPC folder, and cleans everything up at exit.
#
# Use: at the top of tests/e2e/test_<topic>.sh
#     . "$(dirname "$0")/lib.sh"
#     vd_setup
# Environment (set by CTest): VALDORA_RUN_DIR (valdora, valdora-sim, valdora-boards, artwork),
# VALDORA_BUILD_DIR (the build folder, for e2e-tools/), VALDORA_SOURCE_DIR. VD_KEEP=1 keeps the
# private folder for a look after the test.
#
# Set up and checks
#   vd_setup                 Xvfb on a free display (1280x1024x24, no window manager), private
#                            $VD_TMP, $VALDORA_IPC_DIR and run folder $VD_RUN (the working
#                            directory of the program) with the artwork and no settings file.
#                            Everything is stopped and removed when the test script exits.
#   vd_log MESSAGE           prints a progress line
#   vd_fail MESSAGE          prints the message and the program's log, ends the test with 1
#   vd_check MESSAGE CMD...  runs CMD; fails the test with MESSAGE when it fails
#   vd_expect MESSAGE ACTUAL EXPECTED   fails unless the two strings are equal
#   vd_wait_for SECONDS CMD...          repeats CMD every 0.1 s until it succeeds; 1 on time-out
# Settings file
#   vd_write_settings LINE...  writes $VD_RUN/vd60_rmu.ini, one argument a line
#   vd_settings_line N       prints line N of $VD_RUN/vd60_rmu.ini
# Stand-in simulator (valdora-sim in the run folder)
#   vd_start_sim [ARGS...]   starts it (log $VD_TMP/sim.log) and waits until it answers
#   vd_stop_sim              stops it
#   vd_sim_get OFFSET SIZE   prints the value of an offset; vd_sim_set OFFSET SIZE VALUE sets it
#   vd_sim_is OFFSET SIZE VALUE         the offset holds that value (as vd_sim_get prints it)
# Virtual boards ($VD_BOARDS, valdora-boards in the run folder)
#   vd_outputs_are VALUE NAME...        every named output is at VALUE
#   vd_outputs_on NAME...               every named output is on
# The probe (valdora-probe in the run folder)
#   vd_probe_shows PATTERN [OPTION...]  its next snapshot has a line matching PATTERN
#   vd_probe_recovered FILE  a live probe's output shows a link again after waiting
# A cockpit node (the simulator over the network)
#   vd_node                  $VD_NODE, an IPC folder of the node's own (its four virtual boards,
#                            no simulator), and $VD_NET_PORT, a port for the stand-in's server
#   vd_node_start [ARGS...]  vd_start on the node's folder; checks it connects and announces
#   vd_node_boards ARGS...   valdora-boards on the node's boards
#   vd_announcements         how many announcements the stand-in's write log holds
#   vd_sim_killed_and_back [ARGS...]    kills the stand-in, checks "Not Connected", starts it
#                            again with ARGS and checks the program reconnects and announces
# The program
#   vd_start [ARGS...]       starts valdora in $VD_RUN in the background (log $VD_TMP/valdora.log),
#                            sets VD_PID and waits for its window (vd_wait_window)
#   vd_wait_window           waits for its window (sets VD_WIN) and for the window to take the
#                            layout's size (any size but the full graphics mode)
#   vd_title                 prints the window title; vd_title_is TITLE succeeds when it is
#                            TITLE ($VD_CONNECTED, $VD_NOT_CONNECTED: the link's two titles)
#   vd_outer                 prints "X Y WIDTH HEIGHT" of the outer window as the program counts
#                            it (content + 6 across, + 25 down; what it saves as its place)
#   vd_outer_is X Y W H      succeeds when vd_outer prints exactly that (for vd_wait_for)
#   vd_key KEY...            focuses the window and types xdotool key names (i, alt+a, shift+i,
#                            ctrl+r, F1, ...), one at a time, $VD_KEY_GAP seconds apart (0.3):
#                            the program acts on one key per pass and drops the rest
#   vd_press KEY CMD...      types KEY, then waits up to 20 s until CMD succeeds (fails the
#                            test otherwise). Start-up holds a banner for a few seconds before
#                            the main loop reads keys: make the first key of a run one whose
#                            effect is awaited this way, so later keys are not typed too early
#   vd_screenshot FILE.png   saves a picture of the window
#   vd_close                 closes the window as a window manager's close button does
#   vd_wait_exit [SECONDS]   waits for the program to end (default 40 s, as a loaded machine can be
#                            slow to end a process; the browser journey measures the close) and
#                            sets VD_STATUS to its exit status (0-255: -1 shows as 255); fails
#                            the test on time-out
#   vd_stop                  vd_close, then vd_wait_exit; fails unless the status is 0

set -u -o pipefail

: "${VALDORA_BUILD_DIR:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../build" 2>/dev/null && pwd)}"
: "${VALDORA_RUN_DIR:=$VALDORA_BUILD_DIR/run}"
: "${VALDORA_SOURCE_DIR:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
VD_TOOLS="$VALDORA_BUILD_DIR/e2e-tools"
VD_KEY_GAP="${VD_KEY_GAP:-0.3}"
VD_NAME="$(basename "$0" .sh)"
VD_TMP="" VD_RUN="" VD_PID="" VD_WIN="" VD_SIM_PID="" VD_XVFB_PID="" VD_STATUS=""

vd_log() { echo "[$VD_NAME] $*"; }

vd_fail() {
    echo "[$VD_NAME] FAIL: $*" >&2
    local f
    for f in "$VD_TMP/valdora.log" "$VD_RUN/valdora.log"; do # its output, then its own log
        [ -n "$VD_TMP" ] && [ -s "$f" ] && { echo "--- $f ---"; tail -n 40 "$f"; } >&2
    done
    exit 1
}

vd_check() { "${@:2}" || vd_fail "$1"; vd_log "ok: $1"; }
vd_expect() { [ "$2" = "$3" ] || vd_fail "$1: got '$2', expected '$3'"; vd_log "ok: $1"; }

vd_wait_for() {
    local tries=$(($1 * 10))
    until "${@:2}" >/dev/null 2>&1; do
        [ $((tries -= 1)) -gt 0 ] || return 1
        sleep 0.1
    done
}

vd_gone() { ! kill -0 "$1" 2>/dev/null; }
# vd_mega_is FILE out|pwm BOARD VALUE CHANNEL...: a simulated Mega's latest state of those outputs,
# as its printed lines in FILE say.
vd_mega_is() {
    local c
    for c in "${@:5}"; do
        [ "$(awk -v k="$2" -v b="$3" -v c="$c" '$1 == k && $2 == b && $3 == c { v = $4 } END { print v }' "$1")" = "$4" ] || return 1
    done
}

vd_cleanup() {
    local pid
    # The shell's notes on the processes it stops here are of no interest.
    exec 2>/dev/null
    # A program still running is asked to close first, so it releases what it holds (its
    # shared memory block); only then is it stopped.
    [ -n "$VD_PID" ] && [ -n "$VD_WIN" ] && kill -0 "$VD_PID" &&
        { "$VD_TOOLS/vdxtool" close "$VD_WIN"; vd_wait_for 5 vd_gone "$VD_PID"; }
    for pid in "$VD_PID" "$VD_SIM_PID"; do
        [ -n "$pid" ] && kill -0 "$pid" || continue
        kill "$pid"
        vd_wait_for 3 vd_gone "$pid" || kill -9 "$pid"
        wait "$pid"
        # A program stopped by a signal cannot remove its shared block: do it for it.
        rm -f "/dev/shm/FsasmLib:IPC:$(printf '%X' "$pid"):"*
    done
    [ -z "$VD_XVFB_PID" ] || { kill "$VD_XVFB_PID"; wait "$VD_XVFB_PID"; }
    [ -n "$VD_TMP" ] || return 0
    [ "${VD_KEEP:-0}" != 1 ] || { echo "[$VD_NAME] kept $VD_TMP"; return 0; }
    chmod -R u+w "$VD_TMP"
    rm -rf "$VD_TMP"
}

vd_setup() {
    [ -x "$VALDORA_RUN_DIR/valdora" ] || vd_fail "no program at $VALDORA_RUN_DIR/valdora"
    VD_TMP="$(mktemp -d "${TMPDIR:-/tmp}/valdora-e2e.XXXXXX")"
    trap vd_cleanup EXIT
    trap 'exit 1' INT TERM
    VD_RUN="$VD_TMP/run"
    mkdir -p "$VD_RUN" "$VD_TMP/ipc"
    export VALDORA_IPC_DIR="$VD_TMP/ipc"
    cp "$VALDORA_RUN_DIR"/vd60_{rmu,picker,rmub,pickerb}.bmp "$VD_RUN/" ||
        vd_fail "the artwork is missing in $VALDORA_RUN_DIR"
    # A private X server on the first free display number, which it reports itself. It must
    # not reset when its last client leaves: a program that opens and closes a connection
    # before its real one would find the server restarting.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -ac -noreset 3>"$VD_TMP/display" \
        >"$VD_TMP/xvfb.log" 2>&1 &
    VD_XVFB_PID=$!
    vd_wait_for 15 test -s "$VD_TMP/display" || vd_fail "Xvfb did not start"
    export DISPLAY=":$(head -n 1 "$VD_TMP/display")"
    vd_log "display $DISPLAY, folder $VD_TMP"
}

vd_write_settings() { printf '%s\n' "$@" >"$VD_RUN/vd60_rmu.ini"; }
vd_settings_line() { sed -n "${1}p" "$VD_RUN/vd60_rmu.ini" | tr -d '\r'; } # Windows writes CR LF

vd_start_sim() {
    [ -x "$VALDORA_RUN_DIR/valdora-sim" ] || vd_fail "no valdora-sim in $VALDORA_RUN_DIR"
    "$VALDORA_RUN_DIR/valdora-sim" --log "$VD_TMP/sim.log" --quiet "$@" >"$VD_TMP/sim.out" 2>&1 &
    VD_SIM_PID=$!
    vd_wait_for 10 "$VALDORA_RUN_DIR/valdora-sim" get 0x3304 4 ||
        vd_fail "the stand-in simulator did not answer"
}

vd_stop_sim() {
    [ -n "$VD_SIM_PID" ] || return 0
    kill "$VD_SIM_PID" 2>/dev/null && wait "$VD_SIM_PID" 2>/dev/null
    VD_SIM_PID=""
}

vd_sim_get() { "$VALDORA_RUN_DIR/valdora-sim" get "$@"; }
vd_sim_set() { "$VALDORA_RUN_DIR/valdora-sim" set "$@"; }
vd_sim_is() { [ "$(vd_sim_get "$1" "$2")" = "$3" ]; }

VD_BOARDS="$VALDORA_RUN_DIR/valdora-boards"
vd_outputs_are() {
    local name
    for name in "${@:2}"; do [ "$("$VD_BOARDS" get "$name")" = "$1" ] || return 1; done
}
vd_outputs_on() { vd_outputs_are 1 "$@"; }

# valdora-probe: the next snapshot has a line matching PATTERN (grep reads it all: a probe cut
# off by a closed pipe would fail the pipeline); a live probe's output FILE shows a link again
# after its waiting line.
vd_probe_shows() { # vd_probe_shows PATTERN [OPTION...]
    (cd "$VD_RUN" && timeout 60 "$VALDORA_RUN_DIR/valdora-probe" --once "${@:2}") |
        grep -E "$1" >/dev/null
}
vd_probe_recovered() { awk '/^waiting/ { w = 1 } w && /^valdora-probe: link/ { f = 1 } END { exit !f }' "$1"; }

vd_node() {
    VD_NODE="$VD_TMP/node" VD_NET_PORT=$((20000 + RANDOM % 20000))
    mkdir -p "$VD_NODE"
    vd_node_boards plug all >/dev/null || vd_fail "cannot plug the node's virtual boards"
}
vd_node_start() {
    VALDORA_IPC_DIR="$VD_NODE" vd_start "$@"
    vd_check "connected over the network" vd_wait_for 30 vd_title_is "$VD_CONNECTED"
    vd_check "announced in the simulator's message line" vd_wait_for 10 eval '[ "$(vd_announcements)" -ge 1 ]'
}
vd_node_boards() { VALDORA_IPC_DIR="$VD_NODE" "$VALDORA_RUN_DIR/valdora-boards" "$@"; }
vd_announcements() { tr -d '\r' 2>/dev/null <"$VD_TMP/sim.log" | grep -c -- " 0x32FA 2 0500\$" || true; }
vd_sim_killed_and_back() {
    local count=$(vd_announcements)
    kill -9 "$VD_SIM_PID" && wait "$VD_SIM_PID" 2>/dev/null
    vd_check "the simulator away: Not Connected" vd_wait_for 30 vd_title_is "$VD_NOT_CONNECTED"
    vd_start_sim "$@"
    vd_check "reconnected and announced again" vd_wait_for 30 eval \
        '[ "$(vd_announcements)" -gt "$count" ] && vd_title_is "$VD_CONNECTED"'
}

vd_start() {
    VD_WIN=""
    (cd "$VD_RUN" && exec "$VALDORA_RUN_DIR/valdora" "$@") >"$VD_TMP/valdora.log" 2>&1 &
    VD_PID=$!
    vd_wait_window
}

# The program's top-level window: Allegro names its class "allegro".
vd_find_window() {
    local id=$(xdotool search --onlyvisible --classname '^allegro$' 2>/dev/null | head -n 1)
    [ -n "$id" ] && VD_WIN="$id"
}

# The window has left the size of the full graphics mode for the layout's size.
vd_window_placed() { local o; o=$(vd_outer) && set -- $o && { [ "$3" -lt 1278 ] || [ "$4" -lt 1017 ]; }; }

vd_wait_window() {
    vd_wait_for 20 vd_find_window || vd_fail "no window appeared"
    vd_wait_for 10 vd_window_placed || vd_fail "the window was never placed"
}

vd_title() { xdotool getwindowname "$VD_WIN"; }
vd_title_is() { [ "$(vd_title)" = "$1" ]; }
VD_CONNECTED="Valdora V2.08 >>>   Connected   <<<"
VD_NOT_CONNECTED="Valdora V2.08 <<< Not Connected >>>"

vd_outer() {
    [ -n "$VD_WIN" ] || return 1
    xwininfo -id "$VD_WIN" 2>/dev/null | awk '/Absolute upper-left X:/ { x = $NF }
        /Absolute upper-left Y:/ { y = $NF } /^ *Width:/ { w = $NF + 6 } /^ *Height:/ { h = $NF + 25 }
        END { if (w == "") exit 1; print x, y, w, h }'
}

vd_outer_is() { [ "$(vd_outer)" = "$*" ]; }

vd_key() {
    local key
    for key in "$@"; do
        xdotool windowfocus --sync "$VD_WIN" 2>/dev/null
        xdotool key --clearmodifiers "$key" || vd_fail "xdotool could not type $key"
        sleep "$VD_KEY_GAP"
    done
}

vd_press() { vd_key "$1"; vd_wait_for 20 "${@:2}" || vd_fail "no effect of the key $1"; }

vd_screenshot() { import -window "$VD_WIN" "$1" || vd_fail "no screenshot"; }
vd_close() { "$VD_TOOLS/vdxtool" close "$VD_WIN" || vd_fail "cannot send the close request"; }

vd_wait_exit() {
    local seconds=${1:-40}
    vd_wait_for "$seconds" vd_gone "$VD_PID" || vd_fail "the program did not end within $seconds s"
    wait "$VD_PID"
    VD_STATUS=$? VD_PID=""
}

vd_stop() {
    vd_close && vd_wait_exit
    vd_expect "closing the window ends the program with 0" "$VD_STATUS" 0
}
