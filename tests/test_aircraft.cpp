// Aircraft profiles: which profile each of many aircraft identities gets, bad files each with
// its message while the good ones are used, a profile's reads, lamps and writes at work in the
// program's own exchanges, and the identity read riding in the radios' exchange.
#include "aircraft/aircraft.h"
#include "tests/support/testboards.h"

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

typedef std::vector<long> V;

const std::string data = VALDORA_SOURCE_DIR "/tests/data/aircraft/";

// The lines of a data file but its comments, each cut at its tabs into three cells.
std::vector<std::vector<std::string>> rows(const std::string &file) {
    std::ifstream in(data + file);
    std::vector<std::vector<std::string>> out;
    for (std::string line; std::getline(in, line);)
        if (line[0] != '#') {
            std::stringstream ss(line);
            out.push_back({"", "", ""});
            std::getline(ss, out.back()[0], '\t') && std::getline(ss, out.back()[1], '\t') &&
                std::getline(ss, out.back()[2]);
        }
    return out;
}

std::string chosen(const std::string &title, const std::string &path) {
    char rule[160];
    int i = profile_choose(title.c_str(), path.c_str(), rule, sizeof rule);
    return i < 0 ? "built-in" : aircraft_profiles[i].name;
}

TEST(Profiles, EveryIdentityOfTheTableGetsItsProfile) {
    ASSERT_EQ(aircraft_load_profiles((data + "profiles").c_str()), 8);
    auto table = rows("identities.tsv");
    ASSERT_GE(table.size(), 60u);
    for (const auto &r : table)
        EXPECT_EQ(chosen(r[0], r[1]), r[2]) << "title \"" << r[0] << "\" path \"" << r[1] << "\"";
    char rule[160];
    profile_choose("Addon Twin Jet Cargo", "A\\Addon Twin Jet\\aircraft.cfg", rule,
                   sizeof rule); // path first
    EXPECT_STREQ(rule, "path \"\\Addon Twin Jet\\\" in 10-addon.toml");
    EXPECT_EQ(profile_choose("Glider", "", rule, sizeof rule), -1);
    EXPECT_STREQ(rule, "no profile matches");
}

TEST(Profiles, BadFilesAreNamedWithTheirLineAndTheOthersUsed) {
    ASSERT_EQ(aircraft_load_profiles((data + "bad").c_str()), 1);
    std::string expected;
    for (const auto &r : rows("bad.tsv"))
        expected += r[0] + "\n";
    EXPECT_EQ(aircraft_profile_errors + std::string(aircraft_profiles[0].name), expected + "fine");

    // A thousand good profiles: the first 64 in name order are used, the rest reported once.
    char folder[] = "/tmp/valdora-profiles-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    for (int i = 0; i < 1000; i++) {
        char name[64];
        snprintf(name, sizeof name, "%s/p%04d.toml", folder, i);
        std::ofstream(name) << "[match]\ntitle = [\"t" << i << "\"]\n";
    }
    mkfifo((folder + std::string("/pipe.toml")).c_str(), 0600); // opening it would wait forever
    EXPECT_EQ(aircraft_load_profiles(folder), 64);
    EXPECT_STREQ(aircraft_profiles[63].file, "p0063.toml");
    EXPECT_STREQ(aircraft_profile_errors,
                 "pipe.toml: not a plain file\n936 profiles after the first 64 left out\n");
    EXPECT_EQ(system((std::string("rm -rf ") + folder).c_str()), 0);
    EXPECT_EQ(aircraft_load_profiles("/nonexistent"), 0);
}

class ProfileAtWork : public CockpitTest {
  protected:
    void SetUp() override {
        CockpitTest::SetUp();
        std::ifstream in(data + "at-work.toml");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        char error[200] = "";
        ASSERT_EQ(profile_parse(text.data(), text.size(), "w", &aircraft_profiles[0], error, 200),
                  0)
            << error;
        aircraft_profile_count = 1, aircraft_profile = 0;
    }
    static std::string bytes(uint32_t offset) {
        std::string s;
        for (const testsim_write &w : testsim_writes_to(offset))
            for (uint8_t b : w.data)
                s += std::to_string(b) + " ";
        return s;
    }
};

TEST_F(ProfileAtWork, ReadsReplaceTheStandardValuesConvertedAndHeld) {
    vel_zero = vel_one = 1;
    double fuel2 = 360.5; // x 2 = 721: not low
    memcpy(sim_offsets + 0x66E0, &fuel2, 8);
    float apu = 37.9f;
    memcpy(sim_offsets + 0x66C8, &apu, 4);
    // Standard offsets say the opposite everywhere, so only the profile can give these flags.
    poke("0BEC:4=0 08BA:2=9000 08F8:4=9000 0952:2=9000 0990:4=0 07C8:4=0 "
         "66C0:1=1 66C2:2=851 66C4:1=255 66CC:4=0");
    int requests = testsim_requests();
    k8055_fsuipc_read(0);
    EXPECT_EQ(testsim_requests() - requests, 3) << "group 0, the APU byte, group 1: no more";
    // Oil 1: 851 + 6000 = 6851, low; fuel 1: -1 x -721 = 721 (taken unsigned it would be low);
    // oil 2: -5 held to 0; fuel 2: 721; heading hold: 0 + 1.
    EXPECT_EQ(
        (V{gear_nose, l_oil_press_low, l_fuel_press_low, r_oil_press_low, r_fuel_press_low, hdg}),
        (V{1, 1, 0, 1, 0, 1}));
    EXPECT_FLOAT_EQ(fsx_apu_speed, 37.9f);
    EXPECT_EQ(aircraft_read_source("oil pressure 1")->src.offset, 0x66C2); // the probe shows it
    EXPECT_EQ(aircraft_read_source("gear lever"), nullptr);
    EXPECT_EQ((V{eng1_throttle_pos, eng2_throttle_pos}), (V{32767, -32768})) << "held, not wrapped";
    poke("66C2:2=852 66C4:1=1 66CC:4=-1");
    k8055_fsuipc_read(0);
    EXPECT_EQ(l_oil_press_low * 100 + l_fuel_press_low * 10 + hdg, 10); // 6852; -721; 0
    aircraft_profile = -1;
    k8055_fsuipc_read(0);
    EXPECT_EQ(gear_nose * 10 + hdg, 0) << "the built-in reads the standard offsets again";
}

TEST_F(ProfileAtWork, LampsFollowTheirConditionsAndRefreshEveryOutput) {
    discover(15), vel_zero = vel_one = vel_two = vel_three = 1;
    poke("07C4:4=1 0800:4=0 036C:1=1 66D0:1=0 66D1:1=3 66D2:2=10 66D4:2=0 66D6:1=2");
    k8055_fsuipc_read(0);
    // Each lamp the profile names: nav 0 (not 1), app 3 (no bit 4), stall 10 (not above),
    // power 0 (not below 0), gear warning 2 (not 0: lit).
    EXPECT_EQ((V{lamp_output(1, 3), lamp_output(1, 4), lamp_output(3, 7), lamp_output(3, 8),
                 lamp_output(2, LAMP_ANALOG(2))}),
              (V{0, 0, 0, 0, 1}));
    EXPECT_EQ(lamps_master_raised(0), 1) << "the stall still raises the master warning";
    k8055_outputs();
    poke("66D0:1=1 66D1:1=4 66D2:2=11 66D4:2=65535 66D6:1=0");
    k8055_fsuipc_read(0);
    EXPECT_EQ((V{lamp_output(1, 3), lamp_output(1, 4), lamp_output(3, 7), lamp_output(3, 8),
                 lamp_output(2, LAMP_ANALOG(2))}),
              (V{1, 1, 1, 1, 0}));
    forget(), k8055_outputs(); // the serial moved on: every board driven
    EXPECT_EQ(calls("SetCurrentDevice"), 4) << "a lamp of the profile changed";
    EXPECT_EQ(testboards_io(1).digital_out[2], 1);
    electrics = 0;
    EXPECT_EQ(lamp_output(1, 3), 0) << "no lamp without power";
    electrics = 1, aircraft_profile = -1; // the built-in: NAV hold from 0x07C4
    EXPECT_EQ((V{lamp_output(1, 3), lamp_output(1, 4)}), (V{1, 0}));
}

TEST_F(ProfileAtWork, WritesGoAsControlsToOtherOffsetsOrNowhere) {
    DWORD result = 99;
    auto write = [&result](DWORD offset, DWORD size, int32_t value) { // as the program writes
        return aircraft_write(offset, size, &value, &result) && result == 0;
    };
    EXPECT_TRUE(write(0x311A, 2, 0x1805) && FSUIPC_Process(&result));
    EXPECT_EQ(bytes(0x3110), "67 3 1 0 5 24 0 0 ") << "66371, then the word";
    testsim_clear_writes();
    EXPECT_TRUE(write(0x311C, 2, 0x1805) && FSUIPC_Process(&result));
    EXPECT_EQ(bytes(0x3110), "68 3 1 0 7 0 0 0 ") << "66372 with its fixed parameter";
    EXPECT_TRUE(write(0x0330, 2, 16 * 1013) && write(0x07CC, 2, 0x1805));
    for (int sign : {1, -1}) { // the course is signed; 40000 held to a signed 16-bit value
        float course;
        EXPECT_TRUE(write(0x0C4E, 2, 90 * sign) && write(0x07D4, 4, 40000000 * sign) &&
                    FSUIPC_Process(&result));
        memcpy(&course, sim_offsets + 0x66F0, 4);
        EXPECT_EQ(course, 45.0f * sign);
        EXPECT_EQ(testsim_get(0x66F4, 2), sign > 0 ? 32767u : 0x8000u);
    }
    EXPECT_TRUE(testsim_writes_to(0x0330).empty() && testsim_writes_to(0x311C).empty());
    EXPECT_EQ(written(0x07CC), std::vector<uint32_t>{0x1805}) << "not in the profile: as it is";
    // The program's own writes the profile leaves out: an audio key, a NAV1 standby step, the
    // rudder axis (calibrated, on board 2).
    rmu_key_action(RMU_KEY_C);
    rmu_edit = 3, rmu_key_action(RMU_KEY_STOP);
    discover(4), rudder_enabled = 1, rudder_left_cal = 0, rudder_center_cal = 128;
    rudder_right_cal = 255, testboards_io(2).analog_in[0] = 200;
    SetCurrentDevice(2), k8055_axes(2), FSUIPC_Process(&result);
    EXPECT_TRUE(testsim_writes_to(0x3122).empty() && testsim_writes_to(0x311E).empty());
    EXPECT_TRUE(testsim_writes_to(0x0BBA).empty());
    aircraft_profile = -1; // and without the profile they are written
    rmu_key_action(RMU_KEY_STOP), SetCurrentDevice(2), k8055_axes(2), FSUIPC_Process(&result);
    EXPECT_EQ(testsim_writes_to(0x311E).size() * 10 + testsim_writes_to(0x0BBA).size(), 11u);
}

TEST_F(ProfileAtWork, TheIdentityRidesInTheRadiosExchangeAndAChangeChooses) {
    char here[512]; // valdora.log and profiles/ go in the stand-in's folder, removed after
    ASSERT_TRUE(getcwd(here, sizeof here) && chdir(getenv("VALDORA_IPC_DIR")) == 0);
    mkdir("profiles", 0700);
    std::ofstream("profiles/a.toml") << "name = \"Kestrel\"\n[match]\npath = [\"/kestrel/\"]\n";
    std::ofstream("profiles/b.toml") << "["; // a bad file beside it
    memset(sim_offsets + 0x3D00, 'T', 256);  // a title without its zero: 256 characters kept
    strcpy((char *)sim_offsets + 0x3C00, "SimObjects\\Kestrel\\aircraft.cfg");
    int requests = testsim_requests(), serial = aircraft_outputs_serial;
    rmu_fsuipc_read();
    EXPECT_EQ(std::string(aircraft_title), std::string(256, 'T'));
    EXPECT_EQ(
        (V{testsim_requests() - requests, aircraft_profile, aircraft_outputs_serial - serial}),
        (V{1, 0, 1}));
    auto logged = [](const std::string &what) { // how many lines of valdora.log hold it
        std::ifstream log("valdora.log");
        int n = 0;
        for (std::string line; std::getline(log, line);)
            n += line.find(what) != std::string::npos;
        return n;
    };
    EXPECT_EQ(logged("aircraft \"" + std::string(256, 'T') + "\" at \"SimObjects\\Kestrel\\" +
                     "aircraft.cfg\": Kestrel (path \"/kestrel/\" in a.toml)"),
              1);
    auto look = [] { // the identity is read every 500 ms at most
        usleep(600 * 1000);
        rmu_fsuipc_read();
    };
    sim_offsets[0x3D00] = 'L'; // another livery: the title alone changes
    look();
    EXPECT_EQ(aircraft_title[0] * 1000 + aircraft_outputs_serial - serial, 'L' * 1000 + 2);
    strcpy((char *)sim_offsets + 0x3C00, "SimObjects\\Other\\aircraft.cfg");
    testsim_fail_next(1); // a failed exchange changes nothing
    look();
    EXPECT_EQ(aircraft_profile, 0);
    look();
    EXPECT_EQ((V{aircraft_profile, aircraft_outputs_serial - serial}), (V{-1, 3}));
    EXPECT_EQ(logged("profile b.toml:1: "), 1) << "a bad file is logged once, not at each change";
    std::ofstream("profiles/b.toml") << "[[";
    std::ofstream("profiles/c.toml") << "["; // b's old bytes, another name: both logged anew
    strcpy((char *)sim_offsets + 0x3D00, "Evil\nforged line\x1b[2J\x7f"); // a hostile title
    look(); // would forge a log line and clear the probe's screen
    EXPECT_STREQ(aircraft_title, "Evil?forged line?[2J?");
    EXPECT_EQ((V{logged("profile b.toml:1: "), logged("profile c.toml:1: ")}), (V{2, 1}));
    EXPECT_EQ(chdir(here), 0);
}

} // namespace
