// The stand-in aircraft's auxiliary power unit: its speed in percent is a float at 0x0B54.
// Writing the APU switch byte at 0x0B50 (1 on, 0 off) spins it up to 100 % or down to 0 over
// about ten seconds; a speed set directly stays where it was put until the switch is written.
#include "sim/sim.h"

#include <string.h>

#define APU_SWITCH 0x0B50
#define APU_SPEED 0x0B54
#define APU_RATE 10.0 // percent per second

static int apu_spooling; // 1 from a switch write until the speed has arrived

static float apu_get_speed(void) {
    uint32_t bits = sim_get(APU_SPEED, 4);
    float speed;
    memcpy(&speed, &bits, sizeof speed);
    return speed;
}

static void apu_set_speed(float speed) {
    uint32_t bits;
    memcpy(&bits, &speed, sizeof bits);
    sim_set(APU_SPEED, 4, bits);
}

static void apu_reset(void) {
    sim_set(APU_SWITCH, 1, 0);
    apu_set_speed(0.0f);
    apu_spooling = 0;
}

static void apu_on_write(uint32_t offset, uint32_t size) {
    if (sim_overlaps(offset, size, APU_SWITCH, 1))
        apu_spooling = 1;
}

static void apu_step(double seconds) {
    if (!apu_spooling)
        return;
    double target = sim_get(APU_SWITCH, 1) != 0 ? 100.0 : 0.0;
    double speed = apu_get_speed();
    double amount = APU_RATE * seconds;
    if (speed < target)
        speed = speed + amount >= target ? target : speed + amount;
    else if (speed > target)
        speed = speed - amount <= target ? target : speed - amount;
    apu_set_speed((float)speed);
    if (speed == target)
        apu_spooling = 0;
}

extern const sim_behaviour sim_apu = {"apu", apu_reset, apu_on_write, apu_step};
