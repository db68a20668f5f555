#!/bin/bash
# A cockpit node beside the simulator PC: the program reaches valdora-sim's WebSocket server
# over loopback only (its own IPC folder holds no simulator, only its boards), set in
# valdora.ini: it connects and announces itself, a radio key writes, a board's button writes,
# the lamps follow the stand-in aircraft, the engine start runs the autostart, valdora.log names the
# server and why it failed while it was away, the simulator is killed and started again and the
# program reconnects; the probe shows the radios over the network with its round trip, also
# from a network namespace of its own where the machine allows one (skipped plainly otherwise).
. "$(dirname "$0")/lib.sh"
vd_setup

vd_node
vd_start_sim --net="$VD_NET_PORT"
printf 'sim=ws://127.0.0.1:%s\n' "$VD_NET_PORT" >"$VD_RUN/valdora.ini"
vd_node_start
vd_check "the log names the network link" grep -q "simulator: the network link to ws://127.0.0.1:$VD_NET_PORT" "$VD_RUN/valdora.log"
vd_sim_set 0x311A 2 0x1800
sleep 5 # the boards banner and their discovery
vd_press period vd_sim_is 0x311A 2 0x1802 # the radio key wrote COM1 standby 118.025
vd_sim_set 0x0BEC 4 0
vd_check "the lamps follow the aircraft: left gear down, nose gear moving" vd_wait_for 20 eval 'VALDORA_IPC_DIR="$VD_NODE" vd_outputs_are 1 gear-left-down && VALDORA_IPC_DIR="$VD_NODE" vd_outputs_are 0 gear-nose-down'
vd_node_boards hold step-up 600 >/dev/null
vd_check "a board's button wrote the standby" vd_wait_for 10 eval '! vd_sim_is 0x311A 2 0x1802'
vd_node_boards hold engine-1-start 1000 >/dev/null
vd_check "the engine 1 start runs the autostart: starter lamp" vd_wait_for 10 eval 'VALDORA_IPC_DIR="$VD_NODE" vd_outputs_are 1 starter-1'

vd_sim_killed_and_back --net="$VD_NET_PORT"
vd_check "valdora.log names the server and why it was away" grep -q \
    "network link to ws://127.0.0.1:$VD_NET_PORT: .*\(refused\|closed\|stopped answering\)" "$VD_RUN/valdora.log"

vd_check "the probe shows the radios over the network" vd_probe_shows '0x311A 2 COM1 standby' --sim "ws://127.0.0.1:$VD_NET_PORT"
vd_check "with its round trip" vd_probe_shows '^valdora-probe: round trip [0-9.]+ ms' --sim "ws://127.0.0.1:$VD_NET_PORT"

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
        '(cd "$VD_RUN" && timeout 60 ip netns exec "$ns" "$VALDORA_RUN_DIR/valdora-probe" --once --sim "ws://$host_ip:$VD_NET_PORT") | grep "0x311A 2 COM1 standby" >/dev/null'
fi
vd_stop
