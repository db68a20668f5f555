# The end-to-end harness (tests/e2e/lib.sh) for the Windows build under Wine: sourced right
# after lib.sh. windows/test.sh sets VALDORA_RUN_DIR to a folder of small launchers (valdora,
# valdora-sim, valdora-boards) that run the .exe files under Wine, so the harness drives the
# Windows programs as it drives the Linux ones; only finding the window differs.

VD_WINE=1 # for the shared tests that reach a serial port through Wine's COM ports

# The program's visible top-level window: Wine names its class after the executable (a hidden
# helper window of the same class exists too, hence --onlyvisible).
vd_find_window() {
    local id=$(xdotool search --onlyvisible --classname '^valdora\.exe$' 2>/dev/null | head -n 1)
    [ -n "$id" ] && VD_WIN="$id"
}

# A line the stand-in simulator printed (its output has CR LF line ends under Windows).
vd_sim_said() { [ -f "$VD_TMP/sim.out" ] && tr -d '\r' <"$VD_TMP/sim.out" | grep -F -- "$1" >/dev/null; }

# Typing into the window. Wine makes the window active, and Allegro takes the keyboard through
# DirectInput, only a moment after the window gets the X focus; keys typed before that are lost.
# So the window is focused once, given a second, and typed into from then on. (A program started
# again may get the same window id: the process counts too.)
VD_FOCUSED=""
vd_key() {
    local key
    for key in "$@"; do
        [ "$VD_FOCUSED" = "$VD_PID $VD_WIN" ] ||
            { xdotool windowfocus --sync "$VD_WIN" 2>/dev/null; sleep 1; VD_FOCUSED="$VD_PID $VD_WIN"; }
        xdotool key --clearmodifiers "$key" || vd_fail "xdotool could not type $key"
        sleep "$VD_KEY_GAP"
    done
}

# COM1 standby (0x311A, packed BCD) is exactly / above the given word.
vd_standby_is() { [ "$(vd_sim_get 0x311A 2)" = "$1" ]; }
vd_standby_above() { [ $(($(vd_sim_get 0x311A 2))) -gt $(($1)) ]; }
