// Tests of the stand-in aircraft's behaviours, stepped directly: the parked state after a
// reset, the clock and its pause, the gear's travel, the engines' start, run and run-down, the
// APU's spool, and the throttle levers following the cockpit's throttles.
#include <gtest/gtest.h>

#include <string.h>

#include "sim/sim.h"

namespace {

void client_write(uint32_t offset, uint32_t size, uint32_t value) {
    uint8_t data[4];
    for (uint32_t i = 0; i < 4; i++)
        data[i] = (uint8_t)(value >> (8 * i));
    sim_write(offset, size, data);
}

// Steps the behaviours for a while in 50 ms steps.
void run_for(double seconds) {
    for (double t = 0; t < seconds - 1e-9; t += 0.05)
        sim_step(0.05);
}

int16_t speed(int engine) {
    return (int16_t)sim_get(engine == 1 ? 0x0896 : 0x092E, 2);
}

float apu_speed() {
    uint32_t bits = sim_get(0x0B54, 4);
    float f;
    memcpy(&f, &bits, 4);
    return f;
}

const uint32_t legs[] = {0x0BEC, 0x0BF4, 0x0BF0};

struct Aircraft : ::testing::Test {
    void SetUp() override {
        sim_reset();
    }
};

TEST_F(Aircraft, ResetIsParkedWithPowerOnGearDownEnginesOff) {
    const struct {
        uint32_t offset, size, value;
    } rows[] = {{0x0BE8, 4, 16383}, {0x0BEC, 4, 16383}, {0x0BF4, 4, 16383}, {0x0BF0, 4, 16383},
                {0x0366, 2, 1},     {0x31E4, 4, 0},     {0x0896, 2, 0},     {0x092E, 2, 0},
                {0x0892, 2, 0},     {0x3125, 1, 0},     {0x3590, 4, 1},     {0x3594, 4, 1},
                {0x281C, 4, 1},     {0x0B6A, 1, 0},     {0x036C, 1, 0},     {0x3366, 1, 0},
                {0x0264, 2, 0},     {0x0B54, 4, 0}};
    for (const auto &r : rows)
        EXPECT_EQ(sim_get(r.offset, r.size), r.value) << std::hex << r.offset;
}

TEST_F(Aircraft, ClockTicksStandsStillWhilePausedAndCarries) {
    uint32_t s0 = sim_get(0x023A, 1);
    run_for(0.9);
    EXPECT_EQ(sim_get(0x023A, 1), s0);
    run_for(0.2);
    EXPECT_EQ(sim_get(0x023A, 1), s0 + 1);
    client_write(0x0264, 2, 1);
    run_for(5.0);
    EXPECT_EQ(sim_get(0x023A, 1), s0 + 1);
    client_write(0x0264, 2, 0);
    run_for(2.0);
    EXPECT_EQ(sim_get(0x023A, 1), s0 + 3);

    sim_set(0x0238, 1, 23);
    sim_set(0x0239, 1, 59);
    sim_set(0x023A, 1, 59);
    sim_step(1.0);
    EXPECT_EQ(sim_get(0x0238, 4) & 0xFFFFFF, 0u);
}

TEST_F(Aircraft, GearTravelsThroughTransitToTheLeversPosition) {
    sim_set(0x0BF0, 4, 5000); // a leg set directly stays until the lever moves
    run_for(3.0);
    EXPECT_EQ(sim_get(0x0BF0, 4), 5000u);
    client_write(0x0BE8, 4, 0);
    run_for(1.0);
    for (uint32_t leg : legs) {
        EXPECT_GT((int32_t)sim_get(leg, 4), 0);
        EXPECT_LT((int32_t)sim_get(leg, 4), 16383);
    }
    run_for(4.0);
    for (uint32_t leg : legs)
        EXPECT_EQ(sim_get(leg, 4), 0u);
    client_write(0x0BE8, 4, 16383);
    run_for(2.0);
    EXPECT_NE(sim_get(0x0BF4, 4), 0u);
    EXPECT_NE(sim_get(0x0BF4, 4), 16383u);
    run_for(3.0);
    for (uint32_t leg : legs)
        EXPECT_EQ(sim_get(leg, 4), 16383u);
}

TEST_F(Aircraft, EngineStartsWithPumpAndStarterAndRunsOnAfterCutOut) {
    client_write(0x3125, 1, 0x01);
    client_write(0x0892, 2, 1);
    run_for(1.0);
    EXPECT_GT(speed(1), 0);
    EXPECT_LT(speed(1), 1115);
    run_for(6.0);
    EXPECT_GE(speed(1), 8192) << "past cut-out";
    EXPECT_EQ(speed(2), 0);
    // Starter cut-out as the cockpit does it: starter to 2, pump off. The engine runs on.
    client_write(0x0892, 2, 2);
    client_write(0x3125, 1, 0x00);
    run_for(5.0);
    EXPECT_GE(speed(1), 10335);
    EXPECT_LE(speed(1), 10500) << "settles at about 63 %";
    EXPECT_GT(sim_get(0x08BA, 2), 6851u) << "oil pressure up";
    EXPECT_GT((int32_t)sim_get(0x08F8, 4), 720) << "fuel pressure up";
    EXPECT_EQ(sim_get(0x3B7C, 4), 0u) << "the generator is the cockpit's to switch";
    client_write(0x0892, 2, 0); // starter off shuts it down
    run_for(15.0);
    EXPECT_EQ(speed(1), 0);
    EXPECT_LE(sim_get(0x08BA, 2), 6851u);
}

TEST_F(Aircraft, EngineWithoutFuelOnlyMotorsAndRunsDownAtStarterTwo) {
    client_write(0x092A, 2, 1);
    run_for(10.0);
    EXPECT_GT(speed(2), 1115);
    EXPECT_LT(speed(2), 8192) << "the starter alone never reaches cut-out";
    client_write(0x092A, 2, 2);
    run_for(10.0);
    EXPECT_EQ(speed(2), 0);
    sim_set(0x0896, 2, 4000); // a speed set from outside counts from there
    sim_step(0.05);
    EXPECT_LT(speed(1), 4000);
    EXPECT_GT(speed(1), 3800);
}

TEST_F(Aircraft, ApuSpinsUpAndDownWithItsSwitchAndThrottlesFollow) {
    client_write(0x0B50, 1, 1);
    run_for(5.0);
    EXPECT_GT(apu_speed(), 40.0f);
    EXPECT_LT(apu_speed(), 60.0f);
    run_for(6.0);
    EXPECT_EQ(apu_speed(), 100.0f);
    client_write(0x0B50, 1, 0);
    run_for(11.0);
    EXPECT_EQ(apu_speed(), 0.0f);
    float set = 52.5f;
    sim_write(0x0B54, 4, (const uint8_t *)&set);
    run_for(2.0);
    EXPECT_EQ(apu_speed(), 52.5f) << "a speed put there directly stays";

    client_write(0x089A, 2, 16230);
    client_write(0x0932, 2, (uint16_t)-4096);
    EXPECT_EQ(sim_get(0x088C, 2), 16230u);
    EXPECT_EQ((int16_t)sim_get(0x0924, 2), -4096);
}

} // namespace
