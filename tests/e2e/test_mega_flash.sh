#!/bin/bash
# valdora-flash against the Mega's stock bootloader (Debian's arduino-core-avr) running in
# simavr at the boot section: valdora-mega.hex is written and verified, read back through the
# bootloader and from the chip's flash it matches the hex byte for byte, and the same chip then
# runs the firmware, which answers Valdora's hello with its version; the probe's board search
# finds it although the chip restarts into its bootloader as the port opens, and the program gets
# its lamps back to it after it restarted under the program (the reset button). A pseudo-terminal
# has no DTR, so the test resets the chip where the flasher says it resets the board, and the
# moment the probe opens the port. Under Wine (windows/test.sh) the Windows programs reach the
# chip through COM6, mapped to the pseudo-terminal.
. "$(dirname "$0")/lib.sh"

BOOTLOADER=${VALDORA_MEGA_BOOTLOADER:-/usr/share/arduino/hardware/arduino/avr/bootloaders/stk500v2/stk500boot_v2_mega2560.hex}
MEGA_RUN=$VALDORA_RUN_DIR
[ -n "${VD_WINE:-}" ] && MEGA_RUN=${VALDORA_MEGA_RUN_DIR:-$VALDORA_SOURCE_DIR/build/run}
if [ ! -f "$BOOTLOADER" ]; then
    echo "skipped: no stock Mega bootloader at $BOOTLOADER (install arduino-core-avr)"
    exit 77
fi
if [ ! -x "$MEGA_RUN/valdora-mega-boot" ] || [ ! -f "$MEGA_RUN/valdora-mega.hex" ] ||
    ! command -v avr-objcopy >/dev/null; then
    echo "skipped: no simulated Mega in $MEGA_RUN (the Linux build needs avr-gcc and simavr)"
    exit 77
fi
vd_setup
"$MEGA_RUN/valdora-mega-boot" "$BOOTLOADER" "$VD_TMP/mega" "$VD_TMP/control" \
    >"$VD_TMP/boot.out" 2>&1 &
BOOT_PID=$!
COM_LINK=""
trap 'kill $BOOT_PID 2>/dev/null; [ -z "$COM_LINK" ] || rm -f "$COM_LINK"; vd_cleanup' EXIT
vd_wait_for 10 grep -qx ready "$VD_TMP/boot.out" || vd_fail "the simulated Mega never started"
port=$VD_TMP/mega readback=$VD_TMP/readback.bin
if [ -n "${VD_WINE:-}" ]; then
    COM_LINK=$WINEPREFIX/dosdevices/com6
    ln -sfn "$VD_TMP/mega" "$COM_LINK"
    port=COM6 readback="Z:${readback//\//\\}"
fi

# flash [drop]: runs the flasher on valdora-mega.hex, the chip held in reset until the flasher's
# cue, as its DTR pulse would do; with drop the link then loses the first sign-on (7 bytes). Its
# output goes to a file, not a pipe: Wine's helper processes keep a pipe open after it ends.
flash() {
    echo hold >"$VD_TMP/control"
    VALDORA_FLASH_READBACK=$readback "$VALDORA_RUN_DIR/valdora-flash" "$port" \
        "$MEGA_RUN/valdora-mega.hex" >"$VD_TMP/flash.out" 2>&1 &
    local pid=$!
    vd_wait_for 30 grep -q "^resetting the board" "$VD_TMP/flash.out" &&
        { [ "${1:-}" != drop ] || echo "drop 7"; echo reset; } >"$VD_TMP/control"
    wait "$pid"
}

flash || vd_fail "the flash failed: $(cat "$VD_TMP/flash.out")"
vd_check "it signed on at 115200 baud" grep -q "answered at 115200 baud" "$VD_TMP/flash.out"
fw=$(sed -n 's/^#define FIRMWARE_VERSION \([0-9]*\).*/\1/p' "$VALDORA_SOURCE_DIR/firmware/firmware.h")
vd_check "the same chip runs the firmware, which answers the hello with version $fw" grep -q \
    "^the board answers: protocol 2, pin table 1, firmware $fw, identity [0-9a-f]\{8\}" "$VD_TMP/flash.out"

avr-objcopy -I ihex -O binary "$MEGA_RUN/valdora-mega.hex" "$VD_TMP/hex.bin"
size=$(stat -c %s "$VD_TMP/hex.bin")
echo "dump $VD_TMP/flash.bin" >"$VD_TMP/control"
vd_wait_for 10 grep -qx dumped "$VD_TMP/boot.out" || vd_fail "the simulated Mega did not dump"
vd_check "the chip's flash holds the hex ($size bytes)" cmp -n "$size" "$VD_TMP/hex.bin" "$VD_TMP/flash.bin"
vd_check "the bytes read back through the bootloader match the hex" \
    cmp -n "$size" "$VD_TMP/hex.bin" "$VD_TMP/readback.bin"

# The board search as a real Mega meets it: the chip restarts as the port opens (DTR), and a byte
# that reaches its bootloader before it gives up keeps the firmware from starting. The chip is
# held in reset and let go once a process other than the simulated chip has the pseudo-terminal
# open (within 0.1 s), so nothing sent at the opening reaches the firmware.
port_opened() { grep -qvE "^(/proc/$BOOT_PID/|$)" <<<"$(find /proc/[0-9]*/fd -lname "$(readlink -f "$VD_TMP/mega")" 2>/dev/null)"; }
vd_start_sim && echo hold >"$VD_TMP/control"
{ vd_wait_for 20 port_opened && echo reset >"$VD_TMP/control"; } & watcher=$!
VALDORA_BOARDS=serial:$port vd_check "restarted as the probe opens its port, the board is found" \
    vd_probe_shows "serial board on .*: protocol 2, pin table 1, firmware $fw, identity" --boards
wait "$watcher" || vd_fail "the probe never opened the port"

# Restarted while the program holds its port (the reset button): the chip sits in its bootloader,
# which any byte keeps there. The program sends nothing once the board's stream has fallen silent,
# so the firmware starts again and gets its lamps back.
gear_down() { vd_mega_is "$VD_TMP/boot.out" out 0 "$1" 4 5 6; }
export VALDORA_BOARDS=serial:$port
vd_start
vd_wait_for 30 gear_down 1 || vd_fail "the gear down lamps never lit on the flashed Mega"
echo reset >"$VD_TMP/control"
vd_wait_for 10 gear_down 0 || vd_fail "the lamps did not go dark at the restart"
vd_check "restarted under the program, the board gets its lamps back" vd_wait_for 30 gear_down 1
vd_stop

# An older Mega: bootloaders built before the end of 2011 take only sequence number 1 or the one
# after the last. The build makes one from Debian's source (firmware/host/CMakeLists.txt, the
# firmware's README); its link loses the first sign-on, so the flasher must sign on again with the
# same number.
[ -f "$MEGA_RUN/stk500boot-2011.hex" ] ||
    { echo "skipped: the older Mega (its bootloader is built from arduino-core-avr's source)"; exit 0; }
kill $BOOT_PID && wait $BOOT_PID
"$MEGA_RUN/valdora-mega-boot" "$MEGA_RUN/stk500boot-2011.hex" "$VD_TMP/mega" "$VD_TMP/control" \
    >"$VD_TMP/old.out" 2>&1 &
BOOT_PID=$!
vd_wait_for 10 grep -qx ready "$VD_TMP/old.out" || vd_fail "the older Mega never started"
vd_check "an older Mega that lost the first sign-on is flashed" flash drop
vd_check "and runs the firmware" grep -q "^the board answers: protocol 2" "$VD_TMP/flash.out"
