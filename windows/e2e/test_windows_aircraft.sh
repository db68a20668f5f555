#!/bin/bash
# Aircraft profiles with the Windows programs under Wine: the journey of the Linux suite
# (tests/e2e/test_aircraft_profiles.sh) with the profiles folder of the Windows build's run
# folder, in Windows line ends: the add-on loaded in flight lights its lamps from its own bytes
# within 2 s, a COM1 standby step arrives as the control, a livery change keeps the profile, the
# jet gets the standard reads back, and a bad profile is reported with its file and line.
. "$VALDORA_SOURCE_DIR/tests/e2e/lib.sh"
. "$VALDORA_SOURCE_DIR/windows/e2e/wine.sh"
. "$VALDORA_SOURCE_DIR/tests/e2e/test_aircraft_profiles.sh"
