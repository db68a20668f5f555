// The cockpit's wiring, written once: every channel of the four boards by the name of what it
// is wired to, and the Arduino Mega pin that carries it when one Mega stands in for the boards.
// valdora-boards, the lamps and the probe name channels from it; the firmware's pin table and
// the README's wiring table are checked against it.
#include "boards/boards.h"

#define DI BOARD_DIGITAL_IN
#define AI BOARD_ANALOG_IN
#define DO BOARD_DIGITAL_OUT
#define AO BOARD_ANALOG_OUT

const struct board_wire board_wiring[] = {
    {0, 1, DI, "radio-select", "RMU panel: select the next radio", "22"},
    {0, 2, DI, "step-down", "RMU panel: step the radio down", "23"},
    {0, 3, DI, "step-up", "RMU panel: step the radio up", "24"},
    {0, 4, DI, "swap", "RMU panel: swap active and standby", "25"},
    {0, 5, DI, "silence", "silence master warning and caution", "26"},
    {0, 1, AI, "throttle-left", "left (engine 1) throttle lever", "A0"},
    {0, 2, AI, "throttle-right", "right (engine 2) throttle lever", "A1"},
    {0, 1, DO, "gear-left-transit", "left gear leg in transit", "42"},
    {0, 2, DO, "gear-nose-transit", "nose gear leg in transit", "43"},
    {0, 3, DO, "gear-right-transit", "right gear leg in transit", "44"},
    {0, 4, DO, "gear-left-down", "left gear leg down", "45"},
    {0, 5, DO, "gear-nose-down", "nose gear leg down", "46"},
    {0, 6, DO, "gear-right-down", "right gear leg down", "47"},
    {0, 7, DO, "master-warning", "master warning (flashes)", "48"},
    {0, 8, DO, "master-caution", "master caution", "49"},
    {0, 1, AO, "apu-gauge", "APU speed gauge, level = percent x 2", "4"},

    {1, 1, DI, "heading-left", "autopilot heading knob left", "27"},
    {1, 2, DI, "heading-right", "autopilot heading knob right", "28"},
    {1, 3, DI, "altitude-down", "autopilot altitude knob down", "29"},
    {1, 4, DI, "altitude-up", "autopilot altitude knob up", "30"},
    {1, 5, DI, "engine-1-start", "engine 1 start button", "31"},
    {1, 1, AI, "spoilers", "spoiler lever", "A2"},
    {1, 2, AI, "flaps", "flap lever", "A3"},
    {1, 1, DO, "ap-fd", "flight director", "50"},
    {1, 2, DO, "ap-hdg", "autopilot heading mode", "51"},
    {1, 3, DO, "ap-nav", "autopilot nav mode", "52"},
    {1, 4, DO, "ap-app", "autopilot approach mode", "53"},
    {1, 5, DO, "ap-engaged", "autopilot engaged", "A8"},
    {1, 6, DO, "ap-yd", "yaw damper", "A9"},
    {1, 7, DO, "ap-spd", "autopilot airspeed hold", "A10"},
    {1, 8, DO, "ap-alt", "autopilot altitude hold", "A11"},

    {2, 1, DI, "speed-down", "autopilot speed knob down", "32"},
    {2, 2, DI, "speed-up", "autopilot speed knob up", "33"},
    {2, 3, DI, "vs-down", "autopilot vertical speed knob down", "34"},
    {2, 4, DI, "vs-up", "autopilot vertical speed knob up", "35"},
    {2, 5, DI, "engine-2-start", "engine 2 start button", "36"},
    {2, 1, AI, "rudder", "rudder pedals", "A4"},
    {2, 2, AI, "toe-brakes", "toe brakes", "A5"},
    {2, 1, DO, "generator-1-off", "generator 1 switch off", "A12"},
    {2, 2, DO, "generator-2-off", "generator 2 switch off", "A13"},
    {2, 3, DO, "battery-off", "main battery switch off", "A14"},
    {2, 4, DO, "fuel-pump-1", "fuel pump 1 on", "A15"},
    {2, 5, DO, "fuel-pump-2", "fuel pump 2 on", "2"},
    {2, 6, DO, "crossfeed", "fuel crossfeed open", "3"},
    {2, 7, DO, "apu-fire", "APU fire", "5"},
    {2, 8, DO, "anti-ice-off", "anti-ice off", "6"},
    {2, 1, AO, "overspeed", "overspeed warning", "13"},
    {2, 2, AO, "gear-warning", "gear warning", "10"},

    {3, 1, DI, "course-down", "NAV1 course knob down", "37"},
    {3, 2, DI, "course-up", "NAV1 course knob up", "38"},
    {3, 3, DI, "baro-down", "altimeter setting knob down", "39"},
    {3, 4, DI, "baro-up", "altimeter setting knob up", "40"},
    {3, 5, DI, "apu", "APU on/off button", "41"},
    {3, 1, AI, "yoke-roll", "yoke left/right", "A6"},
    {3, 2, AI, "yoke-pitch", "yoke forward/back", "A7"},
    {3, 1, DO, "starter-1", "engine 1 starter engaged", "7"},
    {3, 2, DO, "ignition-1", "engine 1 ignition on", "8"},
    {3, 3, DO, "engine-fire-1", "engine 1 fire", "11"},
    {3, 4, DO, "engine-fire-2", "engine 2 fire", "12"},
    {3, 5, DO, "ignition-2", "engine 2 ignition on", "14"},
    {3, 6, DO, "starter-2", "engine 2 starter engaged", "15"},
    {3, 7, DO, "stall", "stall warning", "16"},
    {3, 8, DO, "power", "on while the aircraft has power", "17"},
    {3, 1, AO, "pitot-heat-off", "pitot heat off", "9"},
};
const int board_wiring_count = (int)(sizeof board_wiring / sizeof board_wiring[0]);

const struct board_wire *board_wire_at(int board, enum board_kind kind, int channel) {
    for (int i = 0; i < board_wiring_count; i++)
        if (board_wiring[i].board == board && board_wiring[i].kind == kind &&
            board_wiring[i].channel == channel)
            return &board_wiring[i];
    return NULL;
}

const char *board_wire_name(int board, enum board_kind kind, int channel) {
    const struct board_wire *w = board_wire_at(board, kind, channel);
    return w ? w->name : "";
}
