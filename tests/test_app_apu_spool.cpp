// Tests of the APU spool step of the main loop: the climb and fall with the APU switch, the
// simulator's own speed taking over, and values that are not multiples of the step.
#include <gtest/gtest.h>

#include "app/app.h"

namespace {

TEST(ApuSpool, OneStepFromEachState) {
    // {switch, speed before, simulator's speed, speed after}: no clamping past the ends.
    const struct {
        int status;
        float before, sim, after;
    } rows[] = {{1, 0.0f, 0, 2.0f},        {1, 98.0f, 0, 100.0f},  {1, 100.0f, 0, 100.0f},
                {1, 99.5f, 0, 101.5f},     {1, 101.5f, 0, 101.5f}, {0, 100.0f, 0, 98.0f},
                {0, 2.0f, 0, 0.0f},        {0, 0.0f, 0, 0.0f},     {0, 1.0f, 0, -1.0f},
                {0, -1.0f, 0, -1.0f},      {2, 30.0f, 0, 30.0f},   {1, 40.0f, 73.25f, 73.25f},
                {0, 40.0f, 0.002f, 0.002f}};
    for (const auto &r : rows) {
        apu_status = r.status;
        apu_speed = r.before;
        fsx_apu_speed = r.sim;
        apu_spool_step();
        EXPECT_EQ(apu_speed, r.after) << r.status << " " << r.before << " " << r.sim;
    }
    fsx_apu_speed = 0.0009f; // not above 0.001: the switch rules again
    apu_spool_step();
    EXPECT_FLOAT_EQ(apu_speed, 0.002f - 2.0f);
    apu_speed = fsx_apu_speed = 0.0f;
    apu_status = 0;
}

} // namespace
