#!/bin/bash
# A cockpit node beside the simulator PC: the program reaches valdora-sim's WebSocket server
# over loopback only (its own IPC folder holds no simulator, only its boards), set in
# valdora.ini: it connects and announces itself, a radio key writes, the lamps follow the
# stand-in aircraft, valdora.log names the server and why it failed while it was away, the
# simulator is killed and started again and the program reconnects; the probe shows the radios
# over the network with its round trip.
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

vd_sim_killed_and_back --net="$VD_NET_PORT"
vd_check "valdora.log names the server and why it was away" grep -q \
    "network link to ws://127.0.0.1:$VD_NET_PORT: .*\(refused\|closed\|stopped answering\)" "$VD_RUN/valdora.log"

vd_check "the probe shows the radios over the network" vd_probe_shows '0x311A 2 COM1 standby' --sim "ws://127.0.0.1:$VD_NET_PORT"
vd_check "with its round trip" vd_probe_shows '^valdora-probe: round trip [0-9.]+ ms' --sim "ws://127.0.0.1:$VD_NET_PORT"

vd_stop
