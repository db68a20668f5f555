// The stand-in aircraft's landing gear: moving the lever (0x0BE8, 0 up, 16383 down) runs the
// nose, left and right legs (0x0BEC, 0x0BF4, 0x0BF0) through transit to the lever's position
// over a few seconds. Legs set directly stay where they were put until the lever moves.
#include "sim/sim.h"

#define GEAR_DOWN 16383
#define GEAR_TRAVEL_SECONDS 4.0

static const uint32_t legs[3] = {0x0BEC, 0x0BF4, 0x0BF0};
static double leg_position[3]; // exact positions while the legs travel
static int gear_moving;        // 1 from a lever movement until every leg has arrived

static void gear_reset(void) {
    sim_set(0x0BE8, 4, GEAR_DOWN); // parked: lever down, gear down and locked
    for (int i = 0; i < 3; i++) {
        sim_set(legs[i], 4, GEAR_DOWN);
        leg_position[i] = GEAR_DOWN;
    }
    gear_moving = 0;
}

static void gear_on_write(uint32_t offset, uint32_t size) {
    if (!sim_overlaps(offset, size, 0x0BE8, 4))
        return;
    for (int i = 0; i < 3; i++)
        leg_position[i] = (double)(int32_t)sim_get(legs[i], 4);
    gear_moving = 1;
}

static void gear_step(double seconds) {
    if (!gear_moving)
        return;
    double target = (int32_t)sim_get(0x0BE8, 4) == 0 ? 0.0 : (double)GEAR_DOWN;
    // The nose leg is a little quicker than the main legs, so the lamps do not all change at once.
    static const double speed_factor[3] = {1.15, 1.0, 0.95};
    int arrived = 0;
    for (int i = 0; i < 3; i++) {
        double travel = GEAR_DOWN / GEAR_TRAVEL_SECONDS * speed_factor[i] * seconds;
        double p = leg_position[i];
        if (p < target)
            p = p + travel >= target ? target : p + travel;
        else if (p > target)
            p = p - travel <= target ? target : p - travel;
        if (p == target)
            arrived++;
        leg_position[i] = p;
        sim_set(legs[i], 4, (uint32_t)(int32_t)p);
    }
    if (arrived == 3)
        gear_moving = 0;
}

extern const sim_behaviour sim_gear = {"gear", gear_reset, gear_on_write, gear_step};
