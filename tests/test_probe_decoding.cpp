// The probe decodes with the program's own code (the lamp tests check the flags it sets): each
// raw value in the stand-in simulator gives the probe's snapshot its text and the lamps it names,
// whatever the program's flags held before, and the probe never writes to the simulator.
#include "tests/support/testboards.h"

#include "probe/probe.h"

#include <algorithm>

namespace {

using ProbeDecoding = CockpitTest;

TEST_F(ProbeDecoding, SameRawValuesGiveTheProgramsFlagsAndTheProbesText) {
    // The probe's own open of the link writes nothing, not even the library version.
    FSUIPC_Close(), testsim_clear_writes();
    ASSERT_TRUE(probe_connect());
    EXPECT_TRUE(testsim_writes().empty()) << "the probe's open wrote to the simulator";
    FSUIPC_Listen_Only = 0;
    // {offset, size, raw value, group, row, the flag the value sets, the probe's line}
    // clang-format off
    const struct { uint32_t offset, size, value; int group, row; int32_t *flag; const char *text; } cases[] = {
        {0x0BEC, 4, 16383, 0, 0, &gear_nose,
         "0BEC 4 gear nose 16383 down -> b0.d2 gear-nose-transit off, b0.d5 gear-nose-down ON"},
        {0x0BF0, 4, 16382, 0, 2, &gear_right,
         "0BF0 4 gear right 16382 transit -> b0.d3 gear-right-transit ON, b0.d6 gear-right-down off"},
        {0x08BA, 2, 6851, 0, 9, &l_oil_press_low, "08BA 2 oil pressure 1 6851 LOW -> b0.d7"},
        {0x08BA, 2, 6852, 0, 9, &l_oil_press_low, "08BA 2 oil pressure 1 6852 ok -> b0.d7"},
        {0x0990, 4, 720, 0, 12, &r_fuel_press_low, "0990 4 fuel pressure 2 720 LOW"},
        {0x3B7C, 4, 1, 0, 13, &eng1_generator, "3B7C 4 generator 1 1 on line"},
        {0x3366, 1, 3, 0, 16, &r_eng_fire, "3366 1 engine fires 3 engine 1 FIRE, engine 2 FIRE"},
        {0x3366, 1, 16, 0, 16, &l_eng_fire, "3366 1 engine fires 16 engine 1 no fire, engine 2 no fire"},
        {0x07DC, 4, 1, 1, 6, &spd, "07DC 4 speed hold 1 ON -> b1.d7 ap-spd ON"},
        {0x08B2, 2, 1, 2, 6, &anti_ice, "08B2 2 anti-ice 1 on -> b2.d8 anti-ice-off off"},
        {0x0B53, 1, 1, 2, 5, &apu_fire, "0B53 1 APU fire 1 FIRE -> b2.d7 apu-fire ON"},
        {0x029C, 1, 1, 3, 5, &pitot_heat, "029C 1 pitot heat 1 on -> b3.a1 pitot-heat-off off"},
        {0x218C, 4, 1, 3, 3, &r_ign_switch, "218C 4 ignition 2 1 ON -> b3.d5 ignition-2 ON"},
        {0x0B54, 4, 0x42480000, 0, 19, nullptr, "radios powered by the APU -> b0.a1 apu-gauge 100"},
        {0x0B54, 4, 0x4247F5C3, 0, 19, nullptr, "radios not powered by the APU -> b0.a1 apu-gauge 99"}};
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.offset << " = " << std::dec << c.value);
        testsim_set(c.offset, c.size, c.value);
        if (c.flag)
            *c.flag = 7; // the probe's text must come from its own decoding
        testsim_clear_writes();
        EXPECT_TRUE(probe_snapshot());
        char line[256];
        probe_format_row(c.group, c.row, line, sizeof line);
        std::string text = line; // blanks run together
        text.erase(std::unique(text.begin(), text.end(),
                               [](char a, char b) { return a == ' ' && b == ' '; }),
                   text.end());
        EXPECT_NE(text.find(c.text), std::string::npos) << text;
        EXPECT_TRUE(testsim_writes().empty()) << "the probe wrote to the simulator";
    }
}

} // namespace
