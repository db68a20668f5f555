// The cockpit inputs: board discovery and shutdown, the polling pass and board 0's tuning panel,
// the knobs and buttons of boards 1 to 3, and the analog axes through their calibration points.
#include "tests/support/testboards.h"

#include <climits>
#include <stdlib.h>

namespace {

typedef std::vector<int64_t> V;
typedef std::vector<uint32_t> W;

class K8055 : public CockpitTest {
  protected:
    // Sets an offset, holds one input for n passes (no idle pass after) and gives the value
    // written at each pass: signed 16 or 32 bits by size, unsigned 16 bits for size -2.
    static V steps(int board, int ch, uint32_t offset, int size, int64_t start, int n,
                   std::vector<Pauses> *pauses = nullptr) {
        V out;
        testsim_set(offset, size < 0 ? 2 : size, (uint32_t)start);
        testboards_press(board, ch, 1);
        for (int k = 0; k < n; k++) {
            EXPECT_EQ(pass(), 1);
            W w = written(offset);
            if (w.size() != 1)
                return ADD_FAILURE() << "pass " << k + 1, out;
            out.push_back(size == 2 ? (int16_t)w[0] : size == -2 ? (uint16_t)w[0] : (int32_t)w[0]);
            if (pauses)
                pauses->push_back(testsleep_pauses());
        }
        testboards_press(board, ch, 0);
        return out;
    }
    // A button pressed for one pass; the pass must wait for its release.
    static int button(int board) {
        testboards_hold(board, 5, 2);
        int result = pass();
        EXPECT_EQ(testboards_reads(board, 5), 3) << "waited for the release";
        return result;
    }
    // The simulator writes of the last pass as "offset:size=value", the link's own (the open
    // and the announcement) left out.
    static std::string sent() {
        std::string out;
        char one[32];
        for (const testsim_write &w : testsim_writes())
            if (w.offset != 0x3380 && w.offset != 0x32FA && w.offset != 0x330A) {
                snprintf(one, sizeof one, " %04X:%zu=%u", w.offset, w.data.size(), w.value());
                out += one;
            }
        return out;
    }
    // One pass with analog input ch of board at each reading; the value sent to offset.
    static void axis(int board, int ch, uint32_t offset, std::vector<std::pair<int, int>> rows) {
        for (auto &r : rows) {
            testboards_analog(board, ch, r.first);
            pass();
            W w = written(offset);
            ASSERT_EQ(w.size(), 1u) << "R " << r.first;
            int got = offset == 0x0BD0 || offset == 0x0BDC ? (int32_t)w[0] : (int16_t)w[0];
            EXPECT_EQ(got, r.second) << "R " << r.first;
        }
    }
    static void cal(int32_t *fields, std::initializer_list<int32_t *> to, std::vector<int> v) {
        *fields = 1;
        for (size_t i = 0; i < v.size(); i++)
            *to.begin()[i] = v[i];
    }
};

const std::string plural = "Velleman K8055 Interfaces detected are on addresses ";

TEST_F(K8055, DiscoveryReportAndClose) {
    const std::string one = "Velleman K8055 Interface detected is on address ";
    const std::string open = " SetCurrentDevice ", clear = " ClearAllDigital ClearAllAnalog";
    const struct {
        int mask, extra;
        std::string ops, text;
    } rows[] = {
        {0, 0, "SearchDevices", std::string("No Velleman K8055 interfaces are present\0\0", 42)},
        {5, 0,
         "SearchDevices OpenDevice 0" + open + "0" + clear + " OpenDevice 2" + open + "2" + clear,
         plural + "[Zero] [Two] " + std::string(13, ' ')},
        {8, 0, "SearchDevices OpenDevice 3" + open + "3" + clear,
         one + "[Three]" + std::string(23, ' ')},
        {15, 0, "", plural + "[Zero] [One] [Two] [Three]"},
        {0, 16, "SearchDevices", plural + std::string(26, ' ')},
        {1, 16, "SearchDevices", plural + std::string(26, ' ')},
    };
    for (auto &r : rows) {
        reset_state();
        for (int b = 0; b < 4; b++) {
            testboards_plug(b, (r.mask >> b) & 1);
            testboards_set_output(b, 3, 1);
        }
        k8055_search_extra = r.extra;
        forget();
        int before = testsim_requests();
        k8055_initialise();
        EXPECT_EQ(velkit, r.mask | r.extra);
        int flags[4] = {vel_zero, vel_one, vel_two, vel_three};
        for (int b = 0; b < 4; b++) {
            EXPECT_EQ(flags[b], r.extra ? 0 : (r.mask >> b) & 1) << r.mask << " board " << b;
            EXPECT_EQ(testboards_output(b, 3), 1 - flags[b]) << "cleared when opened";
        }
        EXPECT_EQ(testsim_requests(), before + 1);
        if (!r.ops.empty()) {
            EXPECT_EQ(ops(), r.ops);
        }
        std::vector<testsim_write> t = testsim_writes_to(0x3380), d = testsim_writes_to(0x32FA);
        ASSERT_EQ(t.size() + d.size(), 2u);
        EXPECT_EQ(std::string(t[0].data.begin(), t[0].data.end()), r.text);
        EXPECT_EQ(d[0].data.size(), 2u);
        EXPECT_EQ(d[0].value(), 15u);
    }
    forget();
    // The run flag already cleared: nothing searched, opened or written.
    loop = 0;
    int before = testsim_requests();
    EXPECT_EQ(k8055_initialise(), 0);
    EXPECT_EQ(ops() + std::to_string(testsim_requests() - before), "0");
    loop = 1;
    // A failed queueing of the text: the display time and the process are still tried.
    FSUIPC_Close();
    k8055_initialise();
    EXPECT_EQ(testsim_writes_to(0x3380).size(), 1u); // the reconnection's announcement only
    W times = written(0x32FA);
    ASSERT_EQ(times.size(), 2u);
    EXPECT_EQ(times[1], 15u);
    forget(); // a failed process reconnects at once
    testsim_fail_next(1);
    k8055_initialise();
    EXPECT_EQ(testsim_writes_to(0x3380).size(), 1u);
    // Shutdown: each present board cleared and closed in order; the flags stay.
    reset_state();
    discover(10);
    testboards_set_output(1, 8, 1);
    k8055_close();
    EXPECT_EQ(ops(), "SetCurrentDevice 1" + clear + " CloseDevice SetCurrentDevice 3" + clear +
                         " CloseDevice");
    EXPECT_EQ(testboards_output(1, 8) + vel_one * 10 + vel_three, 11);
    unsetenv("VALDORA_K8055_READ_US"); // the driver stand-in's default read time serves
    SearchDevices();
    setenv("VALDORA_K8055_READ_US", "0", 1);
}

TEST_F(K8055, PassBlocksOfEachBoard) {
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(testsleep_pauses(), Pauses{50});
    EXPECT_TRUE(testboards_trace().empty());
    discover(15);
    electrics = 0; // the master lamps then make no clock read
    l_throttle_enabled = flaps_enabled = toe_brakes_enabled = yoke_lr_enabled = 1;
    l_throttle_cal_min = toe_brakes_off_cal = yoke_left_cal = 0;
    l_throttle_cal_max = toe_brakes_on_cal = yoke_right_cal = 255;
    cal(&flaps_enabled, {&flaps_up_cal, &flaps_8_cal, &flaps_20_cal, &flaps_dn_cal},
        {0, 9, 99, 255});
    int before = testsim_requests();
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(testsim_requests() - before, 4); // exactly one process call per present board
    std::string selected;
    for (const testboards_call &c : testboards_trace())
        selected += c.op == "SetCurrentDevice" ? std::to_string(c.a) : "";
    EXPECT_EQ(selected, "01230"); // the last for the master lamps
    for (int b = 0; b < 4; b++)
        for (int ch = 1; ch <= 5; ch++)
            EXPECT_EQ(testboards_reads(b, ch), 1) << "board " << b << " input " << ch;
    spd = 1; // the speed hold leaves both throttles unread
    pass();
    EXPECT_EQ(calls("ReadAnalogChannel"), 3);
    EXPECT_TRUE(written(0x089A).empty());
    // Nothing queued: the closing process calls fail for the empty queue, and are ignored.
    flaps_enabled = toe_brakes_enabled = yoke_lr_enabled = 0;
    pass();
    EXPECT_EQ(testsim_writes().size() + connected, 1u);
}

TEST_F(K8055, TuningPanel) {
    discover(1);
    rmu_edit = 6; // select wraps to 1, wins over later inputs and waits for its release
    testboards_hold(0, 1, 3);
    testboards_press(0, 2, 1);
    testboards_press(0, 5, 1);
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(rmu_edit, 1);
    EXPECT_EQ(testboards_reads(0, 1), 4);
    EXPECT_EQ(testboards_reads(0, 2) + testboards_reads(0, 5) + silence, 0);
    EXPECT_EQ(testsleep_pauses(), Pauses{50});
    testboards_press(0, 2, 0);
    testboards_press(0, 5, 0);
    // Step-up held on COM1 118.000: twenty steps of 0.025 MHz, then 0.1 MHz.
    testsim_set(0x311A, 2, 0x1800);
    rmu_fsuipc_read();
    testboards_press(0, 3, 1);
    for (int k = 1; k <= 20; k++)
        ASSERT_EQ(pass(), 1);
    EXPECT_STREQ(com1_disp2, "118.500");
    EXPECT_EQ(testsleep_pauses(), (Pauses{50, 50}));
    EXPECT_EQ(pass(), 1);
    EXPECT_EQ(written(0x311A), W{0x1860});
    // Straight to step-down, then silence held: the count goes on; an idle pass resets it.
    testboards_press(0, 3, 0);
    testboards_press(0, 2, 1);
    EXPECT_EQ(pass(), 1);
    EXPECT_STREQ(com1_disp2, "118.500");
    testboards_press(0, 2, 0);
    testboards_press(0, 5, 1);
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(silence * 100 + press_length2, 122);
    testboards_press(0, 5, 0);
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(press_length2, 0);
    // Swap: written with its pause for COM1; for the transponder nothing, yet it waits.
    for (int edit : {1, 5}) {
        rmu_edit = edit;
        testboards_hold(0, 4, 2);
        EXPECT_EQ(pass(), 1);
        EXPECT_EQ(testboards_reads(0, 4), 3);
        EXPECT_EQ(written(0x3123), edit == 1 ? W{0x08} : W{});
        EXPECT_EQ(testsleep_pauses(), edit == 1 ? (Pauses{200, 50}) : Pauses{50});
    }
}

TEST_F(K8055, HeadingAndAltitudeKnobsShareOneCounter) {
    discover(2);
    // 10,000 passes held right: counter + 150 to the right each pass, with 50 ms pauses while
    // the counter is at most 20; the counter adds 1, then 5 from 21, then 20 from 101.
    testsim_set(0x07CC, 2, 1000);
    testboards_press(1, 2, 1);
    int64_t counter = 0, want = 1000;
    for (int k = 1; k <= 10000; k++) {
        Pauses pause = counter <= 20 ? Pauses{50, 50} : Pauses{50};
        counter += counter <= 20 ? 1 : counter <= 100 ? 5 : 20;
        want = (want + counter + 150) % 65536;
        ASSERT_EQ(pass(), 1);
        ASSERT_EQ(written(0x07CC), W{(uint32_t)want}) << "pass " << k;
        if (k <= 40) {
            EXPECT_EQ(testsleep_pauses(), pause) << "pass " << k;
        }
    }
    testboards_press(1, 2, 0);
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(steps(1, 1, 0x07CC, -2, 100, 1), V{65536 + 100 - 151});
    pass();
    EXPECT_EQ(steps(1, 3, 0x07D4, 4, 199753, 1), V{0}); // 10 ft down: never below 0
    pass();
    std::vector<Pauses> p;
    V up = steps(1, 4, 0x07D4, 4, 0, 12, &p);
    ASSERT_EQ(up.size(), 12u);
    for (int k = 0; k < 12; k++) {
        EXPECT_EQ(up[k] - (k ? up[k - 1] : 0), k < 11 ? 39950 * (k + 1) + 399507 : 599250 + 399507);
        EXPECT_EQ(p[k], k < 11 ? (Pauses{50, 50}) : Pauses{50}) << "pass " << k + 1;
    }
    // Heading straight after it: the shared counter 599250 keeps adding 20.
    EXPECT_EQ(steps(1, 2, 0x07CC, -2, 0, 1), V{(599270 + 150) % 65536});
    pass();
    EXPECT_EQ(steps(1, 4, 0x07D4, 4, 1897660416 - 100000, 2), (V{1897660416, 1897660416}));
    step_increase1 = INT_MAX - 10; // no overflow past the largest int
    EXPECT_EQ(steps(1, 4, 0x07D4, 4, 0, 1), V{1897660416});
    EXPECT_EQ(step_increase1, INT_MAX);
}

TEST_F(K8055, SpeedVerticalSpeedCourseAndBaro) {
    discover(14);
    std::vector<Pauses> p;
    V speed = steps(2, 2, 0x07E2, -2, 300, 22, &p);
    for (size_t k = speed.size() - 1; k > 0; k--)
        speed[k] -= speed[k - 1];
    EXPECT_EQ(speed, (V{301, 2,  3,  5,  6,  7,  8,  10, 11, 12, 13,
                        15,  16, 17, 18, 20, 21, 22, 23, 50, 52, 52}));
    EXPECT_EQ(p, std::vector<Pauses>(22, Pauses{200, 50}));
    const struct {
        int board, ch, size, start, counter;
        V want;
        Pauses pause;
    } rows[] = {
        {2, 2, -2, 899, 15, {900}, {200, 50}},
        {2, 1, -2, 3, 15, {0}, {200, 50}},
        {2, 3, 2, -2950, 0, {-3000}, {50}},
        {2, 4, 2, 2990, 0, {3000}, {50}},
        {2, 3, 2, 4000, 0, {3940}, {200, 50}},
        {2, 4, 2, -4000, 0, {-3940}, {200, 50}},
        {2, 4, 2, -2000, 0, {-1940, -1830}, {200, 50}},
        {2, 4, 2, -3000, 900, {-2040}, {200, 50}},
        {2, 4, 2, -3000, 950, {-1900}, {50, 50}},
        {2, 4, 2, 0, 1000, {510}, {200, 50}},
        {3, 2, 2, 359, 0, {0}, {100, 50}},
        {3, 1, 2, 1, 11, {358}, {50}},
        {3, 2, 2, 100, 0, {101, 102, 103}, {100, 50}},
        {3, 2, 2, 100, 9, {102}, {50}},
        {3, 2, 2, 100, 13, {103}, {50}},
        {3, 3, 2, 16208, 7, {16204, 16200}, {50}},
        {3, 4, 2, 16208, 7, {16212}, {50}},
    };
    for (auto &r : rows) {
        pass();
        *(r.board == 2 ? &step_increase2 : &step_increase3) = r.counter;
        p.clear();
        EXPECT_EQ(
            steps(r.board, r.ch,
                  r.ch > 2 ? (r.board == 2 ? 0x07F2 : 0x0330) : (r.board == 2 ? 0x07E2 : 0x0C4E),
                  r.size, r.start, (int)r.want.size(), &p),
            r.want)
            << r.start;
        EXPECT_EQ(p.back(), r.pause) << r.start;
    }
    EXPECT_EQ(step_increase3, 7); // the baro has no counter
    step_increase3 = 1400;        // a long course hold stays on the circle
    V c = steps(3, 1, 0x0C4E, 2, 0, 60);
    for (int64_t v : c)
        EXPECT_TRUE(v >= 0 && v <= 359) << v;
    EXPECT_EQ(step_increase3, 1439);
    discover(15);
    step_increase1 = step_increase2 = step_increase3 = 7;
    EXPECT_EQ(pass(), 0); // an idle pass resets each board's counter
    EXPECT_EQ(step_increase1 + step_increase2 + step_increase3, 0);
}

TEST_F(K8055, EngineStartAndApuButtons) {
    discover(14);
    const struct {
        int board, state, autostart, starter, fail;
        const char *sent;
        int starting, phase;
        Pauses pauses;
    } rows[] = {
        {1, 1, 1, 2, -1, "", 1, 1, {50}},                            // handed to the autostart
        {1, 1, 1, 1, -1, " 0892:2=0 208C:4=0 3125:1=2", 0, 1, {50}}, // running: stopped
        {2, 1, 1, 1, -1, " 092A:2=0 218C:4=0 3125:1=1", 0, 1, {50}},
        {2, 1, 1, 1, 2, " 092A:2=0 218C:4=0", 0, 1, {}}, // no pump byte: pumps left alone
        {2, 0, 1, 0, -1, " 092A:2=1", 0, 3, {50}},       // manual: engage
        {2, 0, 1, 1, -1, " 092A:2=2", 0, 3, {100, 50}},  // manual: release
        {2, 1, 0, 2, -1, " 092A:2=1", 0, 3, {50}},       // autostart off
        {1, 1, 1, 2, 0, "", 1, 3, {}},                   // state read fails
        {1, 1, 1, 1, 1, "", 1, 3, {}},                   // starter read fails
    };
    for (auto &r : rows) {
        SCOPED_TRACE(&r - rows);
        uint32_t base = r.board == 1 ? 0x3590 : 0x3594, starter = r.board == 1 ? 0x0892 : 0x092A;
        testsim_set(base, 4, r.state);
        testsim_set(starter, 2, r.starter);
        testsim_set(0x3125, 1, 3);
        eng_autostart = r.autostart;
        eng1_starting = eng2_starting = 1;
        eng1_start_phase = eng2_start_phase = 3;
        int *counter = r.board == 1 ? &step_increase1 : &step_increase2;
        *counter = 40;
        if (r.fail >= 0)
            testfail_after(r.fail);
        EXPECT_EQ(button(r.board), 0);
        EXPECT_EQ(sent(), r.sent);
        EXPECT_EQ(r.board == 1 ? eng1_starting : eng2_starting, r.starting);
        EXPECT_EQ(r.board == 1 ? eng1_start_phase : eng2_start_phase, r.phase);
        if (!r.pauses.empty()) {
            EXPECT_EQ(testsleep_pauses(), r.pauses);
        }
        EXPECT_EQ(*counter, 40) << "buttons leave the counters alone";
    }
    std::vector<int> seen{apu_status};
    for (int press = 0; press < 2; press++) {
        EXPECT_EQ(button(3), 0);
        seen.push_back(apu_status);
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 0}));
}

TEST_F(K8055, AxesMapThroughTheirCalibrationPoints) {
    discover(15);
    cal(&l_throttle_enabled, {&l_throttle_cal_min, &l_throttle_cal_idle, &l_throttle_cal_max},
        {20, 60, 230});
    axis(0, 1, 0x089A, {{20, -4096}, {60, 64}, {61, 175}, {230, 16230}, {5, -4096}, {250, 16230}});
    on_ground = 0; // no reverse thrust in the air
    axis(0, 1, 0x089A, {{20, 80}, {60, 80}, {61, 175}});
    l_throttle_enabled = 2; // only 1 means in use
    cal(&r_throttle_enabled, {&r_throttle_cal_min, &r_throttle_cal_idle, &r_throttle_cal_max},
        {230, 190, 20});
    on_ground = 1;
    axis(0, 2, 0x0932, {{230, -4096}, {190, 64}, {189, 175}, {20, 16230}});
    EXPECT_EQ(eng2_throttle_pos + written(0x089A).size(), 16230u);
    cal(&flaps_enabled, {&flaps_up_cal, &flaps_8_cal, &flaps_20_cal, &flaps_dn_cal},
        {10, 50, 90, 130});
    axis(1, 2, 0x0BDC, {{27, 0}, {28, 5461}, {67, 5461}, {68, 10922}, {107, 10922}, {108, 16383}});
    cal(&flaps_enabled, {&flaps_up_cal, &flaps_8_cal, &flaps_20_cal, &flaps_dn_cal},
        {130, 90, 50, 10});
    axis(1, 2, 0x0BDC, {{113, 0}, {112, 5461}, {73, 5461}, {72, 10922}, {33, 10922}, {32, 16383}});
    cal(&spoilers_enabled, {&spoilers_ret_cal, &spoilers_arm_cal, &spoilers_ext_cal},
        {10, 40, 200});
    on_ground = 0;
    axis(1, 1, 0x0BD0, {{0, 0}, {38, 0}, {39, 4800}, {58, 4800}, {59, 6175}, {200, 16383}});
    on_ground = 1;
    axis(1, 1, 0x0BD0, {{59, 16383}, {39, 4800}});
    cal(&spoilers_enabled, {&spoilers_ret_cal, &spoilers_arm_cal, &spoilers_ext_cal},
        {200, 170, 10});
    on_ground = 0;
    axis(1, 1, 0x0BD0, {{172, 0}, {171, 4800}, {152, 4800}, {151, 6175}, {255, 0}});
    EXPECT_NE(ops().find("ReadDigitalChannel 5 ReadAnalogChannel 1 ReadAnalogChannel 2"),
              std::string::npos); // the switches first, then spoilers and flaps
    cal(&rudder_enabled, {&rudder_left_cal, &rudder_center_cal, &rudder_right_cal}, {0, 100, 200});
    axis(2, 1, 0x0BBA, {{0, -16383}, {100, 0}, {150, 8191}, {94, 0}, {106, 0}, {107, 1146}});
    cal(&rudder_enabled, {&rudder_left_cal, &rudder_center_cal, &rudder_right_cal}, {0, 131, 255});
    axis(2, 1, 0x0BBA, {{123, -1000}});
    cal(&rudder_enabled, {&rudder_left_cal, &rudder_center_cal, &rudder_right_cal}, {200, 100, 0});
    axis(2, 1, 0x0BBA, {{200, -16383}, {100, 0}, {50, 8191}, {0, 16383}});
    rudder_enabled = r_throttle_enabled = spoilers_enabled = flaps_enabled = 0;
    cal(&toe_brakes_enabled, {&toe_brakes_off_cal, &toe_brakes_on_cal}, {10, 200});
    axis(2, 2, 0x0BC6, {{0, 0}, {105, 8191}, {255, 16383}});
    EXPECT_EQ(written(0x0BC4), W{16383}); // the same value to the left brake, first
    EXPECT_EQ(testsim_writes()[0].offset, 0x0BC4u);
    cal(&yoke_lr_enabled, {&yoke_left_cal, &yoke_center_cal, &yoke_right_cal}, {0, 100, 111});
    axis(3, 1, 0x0BB6, {{111, 16382}, {0, -16383}, {50, -8191}});
    cal(&yoke_fb_enabled, {&yoke_forward_cal, &yoke_mid_cal, &yoke_back_cal}, {250, 128, 6});
    axis(3, 2, 0x0BB2, {{250, -16383}, {128, 0}, {67, 8191}});
    // Degenerate points send the nearest defined value and the polling goes on.
    on_ground = 1;
    cal(&l_throttle_enabled, {&l_throttle_cal_min, &l_throttle_cal_idle, &l_throttle_cal_max},
        {20, 20, 230});
    axis(0, 1, 0x089A, {{20, 80}, {230, 210 * 77 + 80}});
    cal(&l_throttle_enabled, {&l_throttle_cal_min, &l_throttle_cal_idle, &l_throttle_cal_max},
        {20, 230, 230});
    axis(0, 1, 0x089A, {{230, 210 * 19 - 4096}});
    cal(&yoke_lr_enabled, {&yoke_left_cal, &yoke_center_cal, &yoke_right_cal}, {0, 0, 200});
    axis(3, 1, 0x0BB6, {{0, 0}, {100, 8191}, {200, 16383}});
    cal(&yoke_lr_enabled, {&yoke_left_cal, &yoke_center_cal, &yoke_right_cal}, {0, 200, 200});
    axis(3, 1, 0x0BB6, {{200, 0}});
    cal(&spoilers_enabled, {&spoilers_ret_cal, &spoilers_arm_cal, &spoilers_ext_cal},
        {10, 200, 200});
    axis(1, 1, 0x0BD0, {{200, 4800}});
    // Equal end points: the axis is neither read nor sent.
    spoilers_enabled = flaps_enabled = toe_brakes_enabled = yoke_fb_enabled = 0;
    l_throttle_cal_max = 20;
    r_throttle_cal_min = r_throttle_cal_max = 5;
    cal(&rudder_enabled, {&rudder_left_cal, &rudder_center_cal, &rudder_right_cal}, {50, 9, 50});
    yoke_left_cal = yoke_right_cal = 3;
    cal(&yoke_fb_enabled, {&yoke_forward_cal, &yoke_mid_cal, &yoke_back_cal}, {9, 1, 9});
    cal(&toe_brakes_enabled, {&toe_brakes_off_cal, &toe_brakes_on_cal}, {7, 7});
    r_throttle_enabled = l_throttle_enabled = 1;
    pass();
    EXPECT_EQ(calls("ReadAnalogChannel") + testsim_writes().size(), 0u);
}

} // namespace
