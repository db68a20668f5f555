// The stand-in aircraft's behaviours, each a small piece in its own file that defines
// `extern const sim_behaviour sim_<name> = {...};`. To add one: declare it in the first block
// and list it in the second, before the NULL. Resets, hooks and steps run in list order.
#include "sim/sim.h"

extern const sim_behaviour sim_message_line;
extern const sim_behaviour sim_clock;
extern const sim_behaviour sim_engines;
extern const sim_behaviour sim_apu;
extern const sim_behaviour sim_gear;
extern const sim_behaviour sim_ground;
extern const sim_behaviour sim_controls;
extern const sim_behaviour sim_warnings;
extern const sim_behaviour sim_autopilot_modes;
extern const sim_behaviour sim_switches;
extern const sim_behaviour sim_radios;
extern const sim_behaviour sim_aircraft;

// One entry per line.
// clang-format off
const sim_behaviour *const sim_behaviours[] = {
    &sim_message_line,
    &sim_clock,
    &sim_engines,
    &sim_apu,
    &sim_gear,
    &sim_ground,
    &sim_controls,
    &sim_warnings,
    &sim_autopilot_modes,
    &sim_switches,
    &sim_radios,
    &sim_aircraft,
    NULL,
};
// clang-format on
