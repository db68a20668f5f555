#!/bin/bash
# The Windows program under Wine as a cockpit node: valdora.exe --sim ws://127.0.0.1:PORT
# reaches the Windows stand-in's WebSocket server (valdora-sim.exe --net, under Wine too) over
# loopback, its own IPC folder holding only its boards. It connects and announces itself, a
# radio key writes COM1 standby, the gear lamps follow the aircraft, and when the stand-in is
# killed the title shows the lost link until the stand-in is back and it is announced again.
. "$VALDORA_SOURCE_DIR/tests/e2e/lib.sh"
. "$VALDORA_SOURCE_DIR/windows/e2e/wine.sh"
vd_setup
vd_node
vd_start_sim --net="$VD_NET_PORT"
vd_sim_set 0x311A 2 0x1800
vd_node_start --sim "ws://127.0.0.1:$VD_NET_PORT"
vd_check "the gear lamps follow the aircraft" vd_wait_for 30 eval 'VALDORA_IPC_DIR="$VD_NODE" vd_outputs_are 1 gear-left-down gear-nose-down'
vd_press period vd_standby_is 0x1802 # the radio key's write over the network
vd_sim_killed_and_back --net="$VD_NET_PORT"
vd_stop
