#!/bin/bash
# The tablet panel's figures, measured in one run under its own X server against the stand-in
# simulator, with headless Chromium (playwright-core from npm, as the browser test uses):
#  1. a tap on an audio key to the simulator's write, 100 taps: median and 95th percentile;
#  2. a simulator change (COM1 standby set with valdora-sim, whose own start is included) to the
#     page's new picture, 100 changes: median and 95th percentile;
#  3. at rest with a browser connected: the program's share of one core over 10 s and the bytes
#     the page received meanwhile;
#  4. the main loop's pass time (the time between its radio exchanges, traced with strace) over
#     10 s with no browser, then with ten: median and 95th percentile;
#  5. under the floods of the browser test's hostile clients (abuse.js: idle connections and
#     trickled refused requests from another address, a client that never reads, broken and
#     huge frames), with ten browsers: the pass time again, and a key typed in the window to
#     its simulator write, 40 keys.
#   VALDORA_BUILD_DIR=$PWD/build bench/web_panel.sh
. "$(dirname "$0")/../tests/e2e/lib.sh"
VD_NAME=web_panel
NODE_DIR="$VALDORA_BUILD_DIR/e2e-node"
[ -d "$NODE_DIR/node_modules/playwright-core" ] ||
    (mkdir -p "$NODE_DIR" && cd "$NODE_DIR" && npm install --no-audit --no-fund --silent playwright-core@1.65.2) ||
    { echo "no playwright-core"; exit 1; }
vd_setup
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
PORT=$((20000 + RANDOM % 20000)) CODE=abcdefghijkmnpqr
URL="http://127.0.0.1:$PORT/?code=$CODE"
printf 'web=1\nport=%s\ncode=%s\n' "$PORT" "$CODE" >"$VD_RUN/valdora.ini"
coproc BROWSER { NODE_PATH="$NODE_DIR/node_modules" exec node "$VALDORA_SOURCE_DIR/tests/e2e/web/browser.js" 2>"$VD_TMP/browser.log"; }
br() {
    local r
    echo "$*" >&"${BROWSER[1]}"
    read -r -t 120 r <&"${BROWSER[0]}" || vd_fail "the browser did not answer: $*"
    [ "${r%% *}" = ok ] || vd_fail "browser: $* -> $r"
    REPLY="${r#ok }"
}
stats() { sort -n | awk '{ v[NR] = $1 } END { printf "median %d ms, 95th percentile %d ms (%d tries)", v[int((NR + 1) / 2)], v[int(NR * 0.95 + 0.5)], NR }'; }
# Milliseconds of the day (UTC) of a simulator log line's time.
log_ms() { awk -F'[:. ]' '{ print (($1 * 60 + $2) * 60 + $3) * 1000 + $4 }'; }

hz=$(getconf CLK_TCK)
ticks() { awk '{ print $14 + $15 }' "/proc/$VD_PID/stat"; }
share() { # the program's share of one core over 10 s, in percent
    local a
    a=$(ticks)
    sleep 10
    awk -v a="$a" -v b="$(ticks)" -v hz="$hz" 'BEGIN { printf "%.1f", 100 * (b - a) / hz / 10 }'
}

vd_start_sim
vd_start
vd_wait_window
sleep 6 # past the boards banner
echo "at rest, no browser: $(share) % of a core"
br open "$URL&exact"

: >"$VD_TMP/tap"
for i in $(seq 100); do
    mark=$(($(wc -l <"$VD_TMP/sim.log") + 1))
    [ $((i % 2)) = 1 ] && br tap 49 331 || br tap 114 331 # COM1 and COM2 in turn
    t=$REPLY
    vd_wait_for 5 eval "tail -n +$mark \"$VD_TMP/sim.log\" | grep -q ' 0x3122 '" || vd_fail "no write"
    w=$(tail -n "+$mark" "$VD_TMP/sim.log" | grep -m1 ' 0x3122 ' | log_ms)
    echo $((w - t % 86400000)) >>"$VD_TMP/tap"
done
echo "tap to simulator write: $(stats <"$VD_TMP/tap")"

: >"$VD_TMP/change"
for i in $(seq 100); do
    br stats
    set -- $REPLY
    t=$(date +%s%3N)
    vd_sim_set 0x311A 2 $((0x1800 + (i % 2) * 5))
    t1=$(date +%s%3N)
    br wait_drawn "$1" 5
    br stats
    set -- $REPLY
    echo $(($2 - t)) >>"$VD_TMP/change"
    echo $(($2 - t1)) >>"$VD_TMP/change_after_set"
done
echo "simulator change to page picture: $(stats <"$VD_TMP/change")"
echo "  the same from the end of the valdora-sim command: $(stats <"$VD_TMP/change_after_set")"

br stats
set -- $REPLY
b0=$3
rest=$(share)
br stats
set -- $REPLY
echo "at rest, one browser: $rest % of a core; the page received $(($3 - b0)) bytes in 10 s"

pass_times() { # the main thread's radio exchanges, 10 s: the times between them
    timeout 10 strace -tt -e trace=sendto -p "$VD_PID" 2>&1 | awk -F'[:. ]' '/sendto/ {
        t = (($1 * 60 + $2) * 60 + $3) * 1000 + $4 / 1000; if (p) printf "%d\n", t - p; p = t }'
}
echo "main loop pass, one browser: $(pass_times | stats)"
br more 9 "$URL"
sleep 2
echo "main loop pass, ten browsers: $(pass_times | stats)"

key_latency() { # a full stop typed in the window to COM1 standby's write, N times
    local i mark t w
    for i in $(seq "$1"); do
        mark=$(($(wc -l <"$VD_TMP/sim.log") + 1))
        xdotool windowfocus --sync "$VD_WIN" 2>/dev/null
        t=$(date +%s%3N)
        xdotool key period
        vd_wait_for 5 eval "tail -n +$mark \"$VD_TMP/sim.log\" | grep -q ' 0x311A '" || vd_fail "no write"
        w=$(tail -n "+$mark" "$VD_TMP/sim.log" | grep -m1 ' 0x311A ' | log_ms)
        echo $((w - t % 86400000))
        sleep 0.4 # the key's own pause over: each key a first press
    done
}
vd_sim_set 0x311A 2 0x1800
echo "key to simulator write, ten browsers: $(key_latency 40 | stats)"
node "$VALDORA_SOURCE_DIR/tests/e2e/web/abuse.js" "$PORT" "$CODE" 60 >"$VD_TMP/abuse.log" 2>&1 &
abuse=$!
sleep 2
echo "main loop pass, ten browsers and floods: $(pass_times | stats)"
vd_sim_set 0x311A 2 0x1800
echo "key to simulator write, ten browsers and floods: $(key_latency 40 | stats)"
kill "$abuse" 2>/dev/null
wait "$abuse" 2>/dev/null
t0=$(date +%s%3N)
vd_stop
echo "window closed to program ended, ten browsers: $(($(date +%s%3N) - t0)) ms"
