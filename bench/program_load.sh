#!/bin/bash
# The running program's load, measured under its own X server against the stand-in simulator:
#  1. at rest, connected, no boards: share of one core over 10 s (goal under 2 %) and peak
#     resident memory (goal under 30 MB);
#  2. four virtual boards with a button held (the heading knob, which steps again and again):
#     share of one core over 10 s, which must stay well below a core spinning at 100 %.
# The X server's own share is printed beside each figure for information, and the program's
# share is split into its main thread and Allegro's background thread (which polls the X
# connection 100 times a second whatever the program does).
#
#   VALDORA_BUILD_DIR=$PWD/build bench/program_load.sh [SECONDS]
. "$(dirname "$0")/../tests/e2e/lib.sh"
VD_NAME=program_load
seconds=${1:-10}
vd_setup
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
BOARDS="$VALDORA_RUN_DIR/valdora-boards"
hz=$(getconf CLK_TCK)

cpu_ticks() { # user + system ticks of a process so far
    awk '{ print $14 + $15 }' "/proc/$1/stat"
}
# Share of one core, in percent, that process PID used over SECONDS (printed with one decimal):
# the whole process, the X server, the main thread and the other threads.
core_share() { # core_share PID XPID SECONDS -> "program xserver main others"
    local a b xa xb ma mb
    a=$(cpu_ticks "$1")
    xa=$(cpu_ticks "$2")
    ma=$(cpu_ticks "$1/task/$1")
    sleep "$3"
    b=$(cpu_ticks "$1")
    xb=$(cpu_ticks "$2")
    mb=$(cpu_ticks "$1/task/$1")
    awk -v d=$((b - a)) -v xd=$((xb - xa)) -v md=$((mb - ma)) -v hz="$hz" -v s="$3" \
        'BEGIN { f = 100 / hz / s; printf "%.1f %.1f %.1f %.1f\n", d * f, xd * f, md * f, (d - md) * f }'
}
linked() { vd_title | grep -q '>>>   Connected   <<<'; }

# ---- At rest, no boards ----
vd_start_sim
vd_start
vd_wait_window
vd_check "connected" vd_wait_for 30 linked
sleep 6 # past the boards banner and the board search
set -- $(core_share "$VD_PID" "$VD_XVFB_PID" "$seconds")
rest_cpu=$1
rest_x=$2
rss_kb=$(awk '/^VmHWM:/ { print $2 }' "/proc/$VD_PID/status")
echo "at rest, no boards: program ${rest_cpu} % of one core over ${seconds} s (main thread ${3} %, Allegro's background thread ${4} %; X server ${rest_x} %), peak RSS $((rss_kb / 1024)).$(((rss_kb % 1024) * 10 / 1024)) MB"
vd_stop

# ---- Four boards, a button held ----
"$BOARDS" plug all >/dev/null || vd_fail "cannot plug the boards"
vd_start
vd_wait_window
vd_check "connected with boards" vd_wait_for 30 linked
sleep 6
"$BOARDS" press heading-right >/dev/null
sleep 1
set -- $(core_share "$VD_PID" "$VD_XVFB_PID" "$seconds")
"$BOARDS" release heading-right >/dev/null
echo "four boards, heading knob held: program ${1} % of one core over ${seconds} s (main thread ${3} %, background thread ${4} %; X server ${2} %)"
held_cpu=$1
vd_stop
"$BOARDS" remove >/dev/null

awk -v r="$rest_cpu" -v m="$rss_kb" -v h="$held_cpu" 'BEGIN {
    printf "goals: at rest under 2 %%: %s; peak RSS under 30 MB: %s; held button not spinning (under 90 %%): %s\n",
        (r < 2 ? "met" : "MISSED"), (m < 30 * 1024 ? "met" : "MISSED"), (h < 90 ? "met" : "MISSED") }'
