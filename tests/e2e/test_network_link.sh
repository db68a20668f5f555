#!/bin/bash
# A cockpit node beside the simulator PC: the program reaches valdora-sim's WebSocket server
# over loopback only (its own IPC folder holds no simulator, only its boards), set in
# valdora.ini: it connects and announces itself, a radio key writes, a board's button writes,
# the lamps follow the stand-in aircraft, the APU button runs the gauge, valdora.log names the
# server and why it failed while it was away, the simulator is killed and started again and the
# program reconnects; the probe shows the radios over the network with its round trip, also
# from a network namespace of its own where the machine allows one (skipped plainly otherwise).
. "$(dirname "$0")/lib.sh"
vd_setup
BOARDS="$VALDORA_RUN_DIR/valdora-boards"
linked="Valdora V2.08 >>>   Connected   <<<" waiting="Valdora V2.08 <<< Not Connected >>>"
port=$((20000 + RANDOM % 20000))
node="$VD_TMP/node" # the node's own IPC folder: boards only
mkdir -p "$node"
VALDORA_IPC_DIR="$node" "$BOARDS" plug all >/dev/null || vd_fail "cannot plug the virtual boards"
node_boards() { VALDORA_IPC_DIR="$node" "$BOARDS" "$@"; }
lamps_are() { local n; for n in "${@:2}"; do [ "$(node_boards get "$n")" = "$1" ] || return 1; done; }
sim_is() { [ "$(vd_sim_get "$1" "$2")" = "$3" ]; }
title_is() { [ "$(vd_title)" = "$1" ]; }
announcements() { grep -c -- " 0x32FA 2 0500\$" "$VD_TMP/sim.log" 2>/dev/null || true; }
writes_to() { awk -v o="$1" '$2 == o' "$VD_TMP/sim.log" | wc -l; }

vd_start_sim --net="$port"
printf 'sim=ws://127.0.0.1:%s\n' "$port" >"$VD_RUN/valdora.ini"
VD_WIN=""
(cd "$VD_RUN" && VALDORA_IPC_DIR="$node" exec "$VALDORA_RUN_DIR/valdora") >"$VD_TMP/valdora.log" 2>&1 &
VD_PID=$!
vd_wait_window
vd_check "connected over the network" vd_wait_for 20 title_is "$linked"
vd_check "announced in the simulator's message line" vd_wait_for 10 eval '[ "$(announcements)" -ge 1 ]'
vd_check "the log names the network link" grep -q "simulator: the network link to ws://127.0.0.1:$port" "$VD_RUN/valdora.log"
vd_sim_set 0x311A 2 0x1800
sleep 5 # the boards banner and their discovery
vd_press period eval 'sim_is 0x311A 2 0x1802'
vd_check "the radio key wrote COM1 standby 118.025 over the network" sim_is 0x311A 2 0x1802
vd_check "the lamps follow the aircraft: gear down" vd_wait_for 20 lamps_are 1 gear-left-down gear-nose-down
vd_sim_set 0x0BEC 4 0
vd_check "the nose gear lamp goes out when the gear moves" vd_wait_for 10 lamps_are 0 gear-nose-down
before=$(writes_to 0x311A)
node_boards hold step-up 600 >/dev/null
vd_check "a board's button wrote the standby" vd_wait_for 10 eval '[ "$(writes_to 0x311A)" -gt "$before" ]'
node_boards hold apu 1000 >/dev/null
vd_check "the APU button spins the gauge up" vd_wait_for 60 lamps_are 200 apu-gauge
node_boards hold engine-1-start 1000 >/dev/null
vd_check "the engine 1 start runs the autostart: starter lamp" vd_wait_for 10 lamps_are 1 starter-1

count=$(announcements)
kill -9 "$VD_SIM_PID"; wait "$VD_SIM_PID" 2>/dev/null
vd_check "the simulator away: Not Connected" vd_wait_for 10 title_is "$waiting"
vd_check "valdora.log names the server and why" vd_wait_for 10 grep -q \
    "network link to ws://127.0.0.1:$port: .*\(refused\|closed\|stopped answering\)" "$VD_RUN/valdora.log"
sleep 1
vd_start_sim --net="$port"
vd_check "reconnected and announced again" vd_wait_for 20 eval '[ "$(announcements)" -gt "$count" ] && title_is "$linked"'

vd_check "the probe shows the radios over the network" vd_probe_shows '0x311A 2 COM1 standby' --sim "ws://127.0.0.1:$port"
vd_check "with its round trip" vd_probe_shows '^valdora-probe: round trip [0-9.]+ ms' --sim "ws://127.0.0.1:$port"

# From a network namespace of its own, over a veth pair (needs root and ip netns): the probe
# as a node on another "machine" reaches the server at the host side's address.
ns="vd28-$$" host_ip=10.77.$((RANDOM % 250)).1
if [ "$(id -u)" != 0 ] || ! command -v ip >/dev/null || ! ip netns add "$ns" 2>/dev/null; then
    vd_log "SKIP network namespace: needs root and ip netns, which this machine does not give"
else
    trap 'ip netns del "$ns" 2>/dev/null; ip link del "v$$" 2>/dev/null; vd_cleanup' EXIT
    ip link add "v$$" type veth peer name "n$$" &&
        ip link set "n$$" netns "$ns" &&
        ip addr add "$host_ip/30" dev "v$$" && ip link set "v$$" up &&
        ip netns exec "$ns" ip addr add "${host_ip%.1}.2/30" dev "n$$" &&
        ip netns exec "$ns" ip link set "n$$" up || vd_fail "cannot set up the veth pair"
    vd_check "the probe in its own network namespace reaches the server" eval \
        '(cd "$VD_RUN" && timeout 60 ip netns exec "$ns" "$VALDORA_RUN_DIR/valdora-probe" --once --sim "ws://$host_ip:$port") | grep -q "0x311A 2 COM1 standby"'
fi
vd_stop
