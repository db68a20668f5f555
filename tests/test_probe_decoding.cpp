// The probe and the program decode from the same code: one set of raw values in the stand-in
// simulator goes through the program's lamp-state read (its flags and the APU power byte it
// writes) and through the probe's snapshot (its text and the lamps it names).
#include <gtest/gtest.h>

#include <algorithm>
#include <string.h>

#include "app/app.h"
#include "k8055/k8055.h"
#include "lamps/lamps.h"
#include "probe/probe.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

namespace {

class ProbeDecoding : public ::testing::Test {
  protected:
    void SetUp() override {
        testsim_start();
        testsleep_record();
        ASSERT_TRUE(FSUIPC_Open(0, &dwResult));
        vel_zero = vel_one = vel_two = vel_three = 1;
    }
    void TearDown() override {
        FSUIPC_Close();
        testsim_stop();
        testsleep_real();
        vel_zero = vel_one = vel_two = vel_three = 0;
        apu_speed = fsx_apu_speed = 0.0f;
    }
    // The probe's line for one value of a group after a fresh snapshot, blanks run together.
    std::string probe_line(int group, int row) {
        EXPECT_TRUE(probe_snapshot());
        char line[256];
        probe_format_row(group, row, line, sizeof line);
        std::string text = line;
        text.erase(std::unique(text.begin(), text.end(),
                               [](char a, char b) { return a == ' ' && b == ' '; }),
                   text.end());
        return text;
    }
};

TEST_F(ProbeDecoding, SameRawValuesGiveTheProgramsFlagsAndTheProbesText) {
    struct {
        uint32_t offset, size, value;
        int group, row;
        int32_t *flag;
        int32_t flag_value;
        const char *text; // the probe's line after its offset and size
    } cases[] = {
        {0x0BEC, 4, 16383, 0, 0, &gear_nose, 1,
         "gear nose 16383 down -> b0.d2 gear-nose-transit off, b0.d5 gear-nose-down ON"},
        {0x0BF0, 4, 16382, 0, 2, &gear_right, -1,
         "gear right 16382 transit -> b0.d3 gear-right-transit ON, b0.d6 gear-right-down off"},
        {0x08BA, 2, 6851, 0, 9, &l_oil_press_low, 1, "oil pressure 1 6851 LOW -> b0.d7"},
        {0x08BA, 2, 6852, 0, 9, &l_oil_press_low, 0, "oil pressure 1 6852 ok -> b0.d7"},
        {0x0990, 4, 720, 0, 12, &r_fuel_press_low, 1, "fuel pressure 2 720 LOW"},
        {0x3B7C, 4, 1, 0, 13, &eng1_generator, 0, "generator 1 1 on line"},
        {0x3366, 1, 3, 0, 16, &r_eng_fire, 1, "fires 3 engine 1 FIRE, engine 2 FIRE"},
        {0x3366, 1, 16, 0, 16, &l_eng_fire, 0, "fires 16 engine 1 no fire, engine 2 no fire"},
        {0x07DC, 4, 1, 1, 6, &spd, 1, "speed hold 1 ON -> b1.d7 ap-spd ON"},
        {0x08B2, 2, 1, 2, 6, &anti_ice, 1, "anti-ice 1 on -> b2.d8 anti-ice-off off"},
        {0x0B53, 1, 1, 2, 5, &apu_fire, 1, "APU fire 1 FIRE -> b2.d7 apu-fire ON"},
        {0x029C, 1, 1, 3, 5, &pitot_heat, 1, "pitot heat 1 on -> b3.a1 pitot-heat-off off"},
        {0x218C, 4, 1, 3, 3, &r_ign_switch, 1, "ignition 2 1 ON -> b3.d5 ignition-2 ON"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.offset << " = " << std::dec << c.value);
        testsim_set(c.offset, c.size, c.value);
        k8055_fsuipc_read(0);
        EXPECT_EQ(*c.flag, c.flag_value);
        *c.flag = 7; // the probe's text must come from its own decoding
        std::string line = probe_line(c.group, c.row);
        EXPECT_NE(line.find(c.text), std::string::npos) << line;
    }
}

TEST_F(ProbeDecoding, ApuSpeedPowersTheRadiosAndMovesTheGauge) {
    struct {
        float speed;
        uint32_t power_byte;
        const char *text;
    } cases[] = {
        {50.0f, 1, "radios powered by the APU -> b0.a1 apu-gauge 100"},
        {49.99f, 0, "radios not powered by the APU -> b0.a1 apu-gauge 99"},
        {37.9f, 0, "radios not powered by the APU -> b0.a1 apu-gauge 75"},
        {100.0f, 1, "radios powered by the APU -> b0.a1 apu-gauge 200"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.speed);
        apu_speed = c.speed;
        testsim_clear_writes();
        k8055_fsuipc_read(0);
        ASSERT_EQ(testsim_writes_to(0x0B52).size(), 1u);
        EXPECT_EQ(testsim_writes_to(0x0B52)[0].value(), c.power_byte);
        uint32_t bits;
        memcpy(&bits, &c.speed, 4);
        testsim_set(0x0B54, 4, bits);
        apu_speed = 0.0f;
        std::string line = probe_line(0, 19);
        EXPECT_NE(line.find(c.text), std::string::npos) << line;
        EXPECT_EQ(testsim_writes_to(0x0B52).size(), 1u) << "the probe wrote to the simulator";
    }
}

} // namespace
