#!/bin/bash
# valdora.log: a run that connects, loses the simulator, reconnects and is closed writes exactly
# those events, in order and time-stamped; a log that cannot be written changes nothing else.
. "$(dirname "$0")/lib.sh"
vd_setup
vd_start_sim
connected() { vd_title | grep -q '>>>   Connected   <<<'; }
waiting() { vd_title | grep -q '<<< Not Connected >>>'; }

vd_start
vd_wait_window
vd_wait_for 20 connected || vd_fail "never connected"
vd_wait_for 20 grep -q "boards: none" "$VD_RUN/valdora.log" || vd_fail "no board report"
vd_stop_sim
vd_wait_for 20 waiting || vd_fail "the loss was not noticed"
vd_start_sim
vd_wait_for 20 connected || vd_fail "never reconnected"
vd_stop

stamp='^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} '
vd_check "every line time-stamped" [ "$(grep -Evc "$stamp" "$VD_RUN/valdora.log")" = 0 ]
events="$(sed -E "s/$stamp//; s/[ :].*//" "$VD_RUN/valdora.log" | tr '\n' ' ')"
vd_expect "the events in order" "$events" "start connect boards lost connect exit "
vd_check "start line" grep -Eq "start Valdora V2.08; settings defaults \(vd60_rmu.ini: .*\); desktop 1280x1024; artwork vd60_rmu.bmp" "$VD_RUN/valdora.log"
vd_check "connect line" grep -Eq "connect FS98MAIN, server version 0x[0-9A-F]{8}, simulator type [0-9]+, after [0-9]+ ms$" "$VD_RUN/valdora.log"
vd_check "loss line" grep -Eq "lost the simulator: (exchange of [0-9]+ requests from|read of|write of) 0x[0-9A-F]{4}.* failed, result 1[12]$" "$VD_RUN/valdora.log"
vd_check "exit line" grep -Eq "exit 0$" "$VD_RUN/valdora.log"

# A log that cannot be written: the run goes on and ends as before.
rm -f "$VD_RUN/valdora.log" "$VD_RUN/vd60_rmu.ini"
mkdir "$VD_RUN/valdora.log"
vd_start
vd_wait_window
vd_wait_for 20 connected || vd_fail "never connected without a log"
vd_stop
vd_check "settings still saved" [ -s "$VD_RUN/vd60_rmu.ini" ]
