#!/bin/bash
# A short run of the soak (tests/soak/soak.sh): 40 simulator restarts at random moments with
# the boards' inputs moving and the board file replugged twice, then kills while saving the
# settings (at random moments, and with strace at each call of the save).
exec bash "$(dirname "$0")/../soak/soak.sh" --cycles 40 --replug-every 20 --save-kills 4
