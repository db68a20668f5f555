// The control verbs of valdora-sim, each defined in its own file as
// `extern const sim_control_verb sim_verb_<name> = {...};`. To add one: declare it in the
// first block and list it in the second, before the NULL.
#include "sim/sim.h"

extern const sim_control_verb sim_verb_get;
extern const sim_control_verb sim_verb_set;
extern const sim_control_verb sim_verb_apu;
extern const sim_control_verb sim_verb_aircraft;

// One entry per line.
// clang-format off
const sim_control_verb *const sim_control_verbs[] = {
    &sim_verb_get,
    &sim_verb_set,
    &sim_verb_apu,
    &sim_verb_aircraft,
    NULL,
};
// clang-format on
