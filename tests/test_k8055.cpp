// The cockpit inputs: board discovery and shutdown, the polling pass and board 0's tuning panel,
// the knobs and buttons of boards 1 to 3, the analog axes through their calibration points, and
// the virtual boards' driver underneath.
#include "tests/support/testboards.h"

#include <climits>

namespace {

typedef std::vector<int64_t> V;

class K8055 : public CockpitTest {
  protected:
    // Sets an offset, holds one input for n passes (no idle pass after) and gives the value
    // written at each pass (signed 16 or 32 bits by size, unsigned 16 bits for size -2) and
    // adds each pass's pauses to the list.
    static V steps(int board, int ch, uint32_t offset, int size, int64_t start, int n,
                   std::vector<Pauses> &pauses) {
        V out;
        testsim_set(offset, size < 0 ? 2 : size, (uint32_t)start);
        testboards_press(board, ch, 1);
        for (int k = 0; k < n && pass() == 1 && written(offset).size() == 1; k++) {
            uint32_t w = written(offset)[0];
            out.push_back(size == 2 ? (int16_t)w : size == -2 ? (uint16_t)w : (int32_t)w);
            pauses.push_back(testsleep_pauses());
        }
        testboards_press(board, ch, 0);
        return out;
    }
    // A button pressed for one pass, which must wait for its release.
    static int button(int board) {
        testboards_hold(board, 5, 2);
        int result = pass();
        EXPECT_EQ(testboards_reads[board][5], 3) << "waited for the release";
        return result;
    }
};

TEST_F(K8055, DiscoveryReportAndClose) {
    const std::string one = "Velleman K8055 Interface detected is on address ",
                      all = "Velleman K8055 Interfaces detected are on addresses ",
                      o = " SetCurrentDevice ", c = " ClearAllDigital ClearAllAnalog";
    // clang-format off
    const struct { int mask, extra; std::string ops, text; } rows[] = {
        {0, 0, "SearchDevices", std::string("No Velleman K8055 interfaces are present\0\0", 42)},
        {5, 0, "SearchDevices OpenDevice 0" + o + "0" + c + " OpenDevice 2" + o + "2" + c,
         all + "[Zero] [Two] " + std::string(13, ' ')},
        {8, 0, "SearchDevices OpenDevice 3" + o + "3" + c, one + "[Three]" + std::string(23, ' ')},
        {15, 0, "", all + "[Zero] [One] [Two] [Three]"},
        {1, 16, "SearchDevices", all + std::string(26, ' ')}};
    // clang-format on
    for (auto &r : rows) {
        reset_state();
        for (int b = 0; b < 4; b++)
            testboards_io(b).plugged = (r.mask >> b) & 1;
        k8055_search_extra = r.extra, forget();
        int before = testsim_requests();
        k8055_initialise();
        const int32_t flags[4] = {vel_zero, vel_one, vel_two, vel_three};
        for (int b = 0; b < 4; b++) // a search result beyond 15 finds no board
            EXPECT_EQ(flags[b], r.extra ? 0 : (r.mask >> b) & 1) << "board " << b;
        EXPECT_EQ(velkit, r.mask | r.extra);
        EXPECT_EQ(testsim_requests(), before + 1);
        EXPECT_EQ(r.ops.empty() ? "" : ops(), r.ops);
        std::vector<testsim_write> t = testsim_writes_to(0x3380);
        ASSERT_EQ(t.size(), 1u);
        EXPECT_EQ(std::string(t[0].data.begin(), t[0].data.end()), r.text);
        EXPECT_EQ(testsim_writes_to(0x32FA).at(0).data.size() * 100 + written(0x32FA)[0], 215u);
    }
    forget(), testsim_fail_next(1), k8055_initialise(); // a failed process reconnects at once
    EXPECT_EQ(testsim_writes_to(0x3380).size(), 1u);
    reset_state(), discover(10);         // shutdown: each board present cleared and closed in order
    testboards_io(1).digital_out[7] = 1; // the flags stay
    EXPECT_EQ(k8055_close(), 0);
    EXPECT_EQ(ops(),
              "SetCurrentDevice 1" + c + " CloseDevice SetCurrentDevice 3" + c + " CloseDevice");
    EXPECT_EQ(testboards_io(1).digital_out[7] + vel_one * 10 + vel_three, 11);
}

TEST_F(K8055, PassBlocksOfEachBoard) {
    EXPECT_EQ(pass() + testboards_calls.size(), 0u);
    EXPECT_EQ(testsleep_pauses(), Pauses{50});
    discover(15);
    electrics = 0;             // the master lamps then make no clock read
    for (int i : {0, 3, 5, 6}) // one axis in use on each board
        *testaxes[i].enabled = 1, *testaxes[i].points[0] = 0,
        *testaxes[i].points[i == 5 ? 1 : 2] = 255;
    int before = testsim_requests();
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(testsim_requests() - before, 4); // exactly one process call per present board
    std::string selected;
    for (const testboards_call &c : testboards_calls)
        selected += c.op == "SetCurrentDevice" ? std::to_string(c.a) : "";
    EXPECT_EQ(selected, "01230"); // the last for the master lamps
    for (int b = 0; b < 4; b++)
        for (int ch = 1; ch <= 5; ch++)
            EXPECT_EQ(testboards_reads[b][ch], 1) << "board " << b << " input " << ch;
}

TEST_F(K8055, TuningPanel) {
    discover(1);
    rmu_edit = 6; // select wraps to 1, wins over later inputs and waits for its release
    testboards_hold(0, 1, 3), testboards_press(0, 2, 1);
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(rmu_edit * 100 + testboards_reads[0][1] * 10 + testboards_reads[0][2], 140);
    // Silence held: the tuning count stays; an idle pass resets it.
    testboards_press(0, 2, 0), testboards_press(0, 5, 1), press_length2 = 7;
    EXPECT_EQ(pass() * 1000 + silence * 100 + press_length2, 107);
    testboards_press(0, 5, 0);
    EXPECT_EQ(pass() * 100 + press_length2, 0);
    rmu_edit = 1, testboards_hold(0, 4, 2); // swap COM1, with its pause; waits for the release
    EXPECT_EQ(pass() * 10 + testboards_reads[0][4], 13);
    EXPECT_EQ(sent(), " 3123:1=8");
    EXPECT_EQ(testsleep_pauses(), (Pauses{200, 50}));
}

TEST_F(K8055, KnobsStepFasterTheLongerHeld) {
    discover(14);
    std::vector<Pauses> p;
    V speed = steps(2, 2, 0x07E2, -2, 300, 22, p);
    for (size_t k = speed.size() - 1; k > 0; k--)
        speed[k] -= speed[k - 1];
    EXPECT_EQ(speed, (V{301, 2,  3,  5,  6,  7,  8,  10, 11, 12, 13,
                        15,  16, 17, 18, 20, 21, 22, 23, 50, 52, 52}));
    EXPECT_EQ(p, std::vector<Pauses>(22, Pauses{200, 50}));
    // Heading and altitude share board 1's counter: heading adds 1 (pausing) up to 20, then 5,
    // then 20 from 101, and steps by counter + 150 around the circle; altitude adds 2 ft
    // (pausing) up to 399500, then 8 ft, and steps by counter + 20 ft between 0 and 95000 ft,
    // even after the longest hold.
    // clang-format off
    const struct { int board, ch, size, start, counter; V want; Pauses pause; } rows[] = {
        {1, 2, -2, 65500, 20, {135}, {50, 50}}, {1, 2, -2, 1000, 21, {1176}, {50}},
        {1, 2, -2, 1000, 100, {1255}, {50}}, {1, 1, -2, 100, 101, {65365}, {50}},
        {1, 2, -2, 1000, 65380, {1014}, {50}}, // a long hold still steps right
        {1, 4, 4, 0, 399500, {838957}, {50, 50}}, {1, 4, 4, 0, 399501, {958808}, {50}},
        {1, 3, 4, 199753, 0, {0}, {50, 50}}, {1, 4, 4, 0, INT_MAX - 10, {1897660416}, {50}}, // no overflow
        {2, 2, -2, 899, 15, {900}, {200, 50}}, {2, 1, -2, 3, 15, {0}, {200, 50}},
        {2, 3, 2, -2950, 0, {-3000}, {50}}, {2, 4, 2, 2990, 0, {3000}, {50}},
        {2, 3, 2, 4000, 0, {3940}, {200, 50}}, {2, 4, 2, -4000, 0, {-3940}, {200, 50}},
        {2, 4, 2, -3000, 900, {-2040}, {200, 50}}, {2, 4, 2, -3000, 950, {-1900}, {50, 50}},
        {2, 4, 2, 0, 1000, {510}, {200, 50}},
        {3, 2, 2, 359, 0, {0}, {100, 50}}, {3, 1, 2, 1, 11, {358}, {50}},
        {3, 2, 2, 100, 7, {101, 102, 104}, {50}}, {3, 3, 2, 16208, 7, {16204, 16200}, {50}},
        {3, 4, 2, 16208, 7, {16212}, {50}}};
    // clang-format on
    const uint32_t offsets[4][2] = {{}, {0x07CC, 0x07D4}, {0x07E2, 0x07F2}, {0x0C4E, 0x0330}};
    int *const counters[4] = {nullptr, &step_increase1, &step_increase2, &step_increase3};
    for (auto &r : rows) {
        pass(), *counters[r.board] = r.counter, p.clear();
        EXPECT_EQ(steps(r.board, r.ch, offsets[r.board][r.ch > 2], r.size, r.start,
                        (int)r.want.size(), p),
                  r.want)
            << r.start;
        EXPECT_EQ(p.back(), r.pause) << r.start;
    }
    EXPECT_EQ(step_increase3, 7); // the baro has no counter
    discover(15), step_increase1 = step_increase2 = step_increase3 = 7;
    EXPECT_EQ(pass(), 0); // an idle pass resets each board's counter
    EXPECT_EQ(step_increase1 + step_increase2 + step_increase3, 0);
}

TEST_F(K8055, EngineStartAndApuButtons) {
    discover(14);
    // clang-format off
    const struct { int board, state, autostart, starter, fail; const char *sent;
                   int starting, phase; Pauses pauses; } rows[] = {
        {1, 1, 1, 2, -1, "", 1, 1, {50}}, // handed to the autostart
        {1, 1, 1, 1, -1, " 0892:2=0 208C:4=0 3125:1=2", 0, 1, {50}}, // running: stopped
        {2, 1, 1, 1, -1, " 092A:2=0 218C:4=0 3125:1=1", 0, 1, {50}},
        {2, 1, 1, 1, 2, " 092A:2=0 218C:4=0", 0, 1, {}}, // no pump byte: pumps left alone
        {2, 0, 1, 0, -1, " 092A:2=1", 0, 3, {50}}, {2, 0, 1, 1, -1, " 092A:2=2", 0, 3, {100, 50}},
        {2, 1, 0, 2, -1, " 092A:2=1", 0, 3, {50}}, // autostart off: the manual path
        {1, 1, 1, 2, 0, "", 1, 3, {}}, {1, 1, 1, 1, 1, "", 1, 3, {}}}; // state, starter read fail
    // clang-format on
    for (auto &r : rows) {
        SCOPED_TRACE(&r - rows);
        testsim_set(r.board == 1 ? 0x3590 : 0x3594, 4, r.state);
        testsim_set(r.board == 1 ? 0x0892 : 0x092A, 2, r.starter);
        testsim_set(0x3125, 1, 3), eng_autostart = r.autostart;
        eng1_starting = eng2_starting = 1, eng1_start_phase = eng2_start_phase = 3;
        int &counter = (r.board == 1 ? step_increase1 : step_increase2) = 40; // left alone
        if (r.fail >= 0)
            testfail_after(r.fail);
        EXPECT_EQ(button(r.board), 0);
        EXPECT_EQ(sent(), r.sent);
        EXPECT_EQ(r.board == 1 ? eng1_starting * 10 + eng1_start_phase
                               : eng2_starting * 10 + eng2_start_phase,
                  r.starting * 10 + r.phase);
        EXPECT_EQ(r.pauses.empty() ? r.pauses : testsleep_pauses(), r.pauses);
        EXPECT_EQ(counter, 40);
    }
    EXPECT_EQ(button(3) * 10 + apu_status, 1); // the APU button switches on, then off
    EXPECT_EQ(button(3) * 10 + apu_status, 0);
}

TEST_F(K8055, AxesMapThroughTheirCalibrationPoints) {
    discover(15);
    // {axis, points, on the ground, reading, value sent}; degenerate points last.
    // clang-format off
    const struct { int axis, p[4], ground, r, want; } rows[] = {
        {0, {20, 60, 230}, 1, 5, -4096}, {0, {20, 60, 230}, 1, 60, 64}, {0, {20, 60, 230}, 1, 61, 175},
        {0, {20, 60, 230}, 1, 250, 16230}, {0, {20, 60, 230}, 0, 20, 80}, {1, {230, 190, 20}, 1, 190, 64},
        {1, {230, 190, 20}, 1, 189, 175}, {3, {10, 50, 90, 130}, 1, 27, 0}, {3, {10, 50, 90, 130}, 1, 28, 5461},
        {3, {10, 50, 90, 130}, 1, 67, 5461}, {3, {10, 50, 90, 130}, 1, 68, 10922}, {3, {10, 50, 90, 130}, 1, 107, 10922},
        {3, {10, 50, 90, 130}, 1, 108, 16383}, {3, {130, 90, 50, 10}, 1, 113, 0}, {3, {130, 90, 50, 10}, 1, 112, 5461},
        {3, {130, 90, 50, 10}, 1, 72, 10922}, {3, {130, 90, 50, 10}, 1, 32, 16383}, {2, {10, 40, 200}, 0, 38, 0},
        {2, {10, 40, 200}, 0, 39, 4800}, {2, {10, 40, 200}, 0, 58, 4800}, {2, {10, 40, 200}, 0, 59, 6175},
        {2, {10, 40, 200}, 0, 200, 16383}, {2, {10, 40, 200}, 1, 59, 16383}, {2, {200, 170, 10}, 0, 172, 0},
        {2, {200, 170, 10}, 0, 171, 4800}, {2, {200, 170, 10}, 0, 151, 6175}, {4, {0, 100, 200}, 1, 94, 0},
        {4, {0, 100, 200}, 1, 106, 0}, {4, {0, 100, 200}, 1, 107, 1146}, {4, {0, 131, 255}, 1, 123, -1000},
        {4, {200, 100, 0}, 1, 50, 8191}, {5, {10, 200}, 1, 105, 8191}, {5, {10, 200}, 1, 255, 16383},
        {6, {0, 100, 111}, 1, 111, 16382}, {7, {250, 128, 6}, 1, 250, -16383}, {7, {250, 128, 6}, 1, 67, 8191},
        {0, {20, 20, 230}, 1, 20, 80}, {0, {20, 20, 230}, 1, 230, 16250}, {0, {20, 230, 230}, 1, 230, -106},
        {6, {0, 0, 200}, 1, 0, 0}, {6, {0, 0, 200}, 1, 100, 8191}, {6, {0, 0, 200}, 1, 200, 16383},
        {6, {0, 200, 200}, 1, 200, 0}, {2, {10, 200, 200}, 0, 200, 4800}};
    // clang-format on
    for (auto &r : rows) {
        const testaxis &a = testaxes[r.axis];
        *a.enabled = 1;
        for (int i = 0; i < 4 && a.points[i]; i++)
            *a.points[i] = r.p[i];
        on_ground = (int16_t)r.ground, testboards_io(a.board).analog_in[a.ch - 1] = (uint8_t)r.r;
        pass(), *a.enabled = 0;
        std::vector<uint32_t> w = written(a.offset);
        ASSERT_EQ(w.size(), 1u) << &r - rows;
        EXPECT_EQ(a.offset == 0x0BD0 || a.offset == 0x0BDC ? (int32_t)w[0] : (int16_t)w[0], r.want)
            << "row " << &r - rows;
    }
    // Brakes both the same, left first; switches, then spoilers, then flaps.
    toe_brakes_enabled = spoilers_enabled = flaps_enabled = 1, pass();
    EXPECT_EQ(sent(), " 0BD0:4=4800 0BDC:4=16383 0BC4:2=16383 0BC6:2=16383");
    EXPECT_NE(ops().find("ReadDigitalChannel 5 ReadAnalogChannel 1 ReadAnalogChannel 2"),
              std::string::npos);
    // Only 1 means in use, and equal end points: neither read nor sent.
    l_throttle_enabled = 2, spoilers_enabled = flaps_enabled = 0;
    for (int i : {1, 4, 5, 6, 7})
        *testaxes[i].enabled = 1, *testaxes[i].points[0] = *testaxes[i].points[i == 5 ? 1 : 2] = 3;
    pass();
    EXPECT_EQ(calls("ReadAnalogChannel") + testsim_writes().size(), 0u);
    // Brakes with equal points: 0 x (16383 / 0) has no value, and 0 is sent.
    EXPECT_EQ(k8055_axis_value(2, 2, 3), 0);
    spd = 1, l_throttle_enabled = 1, l_throttle_cal_max = 9; // the speed hold: throttles alone
    pass();
    EXPECT_EQ(calls("ReadAnalogChannel") + testsim_writes().size(), 0u);
}

} // namespace
