// Virtual K8055 boards for unit tests: maps the board file in the test simulator's folder and
// records the driver calls through the trace seam; the cockpit tests' fixture and its failure
// injection.
#include "tests/support/testboards.h"

#include "calibration/calibration.h"

#include <algorithm>
#include <atomic>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

std::vector<testboards_call> testboards_calls;
int testboards_reads[4][6];
static int hold_left[4][6];

// clang-format off
const testaxis testaxes[8] = {
    {&l_throttle_enabled, {&l_throttle_cal_min, &l_throttle_cal_idle, &l_throttle_cal_max}, 0, 1, 0x089A},
    {&r_throttle_enabled, {&r_throttle_cal_min, &r_throttle_cal_idle, &r_throttle_cal_max}, 0, 2, 0x0932},
    {&spoilers_enabled, {&spoilers_ret_cal, &spoilers_arm_cal, &spoilers_ext_cal}, 1, 1, 0x0BD0},
    {&flaps_enabled, {&flaps_up_cal, &flaps_8_cal, &flaps_20_cal, &flaps_dn_cal}, 1, 2, 0x0BDC},
    {&rudder_enabled, {&rudder_left_cal, &rudder_center_cal, &rudder_right_cal}, 2, 1, 0x0BBA},
    {&toe_brakes_enabled, {&toe_brakes_off_cal, &toe_brakes_on_cal}, 2, 2, 0x0BC6},
    {&yoke_lr_enabled, {&yoke_left_cal, &yoke_center_cal, &yoke_right_cal}, 3, 1, 0x0BB6},
    {&yoke_fb_enabled, {&yoke_forward_cal, &yoke_mid_cal, &yoke_back_cal}, 3, 2, 0x0BB2}};
// clang-format on
static k8055_board_map map = {-1, NULL};
static long selected = -1;

// Runs before the operation acts: an input held for a number of reads opens at the last one.
static void record(const char *op, long a, long b) {
    std::string name(op);
    if (name == "SetCurrentDevice" || name == "OpenDevice")
        selected = a;
    if (name == "ReadDigitalChannel" && selected >= 0 && selected < 4 && a >= 1 && a <= 5) {
        testboards_reads[selected][a]++;
        if (hold_left[selected][a] > 0 && --hold_left[selected][a] == 0)
            testboards_press((int)selected, (int)a, 0);
    }
    testboards_calls.push_back(testboards_call{name, a, b});
}

void testboards_start(void) {
    setenv("VALDORA_K8055_READ_US", "0", 1), k8055_board_remove();
    if (k8055_board_create(&map) == -1)
        fprintf(stderr, "testboards: cannot create the board file\n"), abort();
    memset(hold_left, 0, sizeof hold_left), k8055_trace_hook = record;
}

k8055_board &testboards_io(int board) {
    return map.file->boards[board];
}

void testboards_press(int board, int channel, int active) {
    testboards_io(board).digital_in[channel - 1] = (uint8_t)active;
}

void testboards_hold(int board, int channel, int reads) {
    testboards_press(board, channel, 1);
    hold_left[board][channel] = reads + 1;
}

// Counted on the simulator's thread, so a later exchange of a step fails while earlier ones pass.
static std::atomic<int> successes_left(0);

static void count_down(uint8_t *, size_t) {
    if (--successes_left == 0) {
        testsim_fail_next(1);
        testsim_tamper(nullptr);
    }
}

void testfail_after(int successes) {
    if (successes == 0)
        return testsim_fail_next(1);
    successes_left = successes;
    testsim_tamper(count_down);
}

void CockpitTest::TearDown() {
    testsim_tamper(nullptr), k8055_close(), reset_state();
    k8055_trace_hook = NULL, k8055_board_close(&map);
    FSUIPC_Close(), testsim_stop(), testsleep_real();
}

void CockpitTest::reset_state() {
    velkit = vel_zero = vel_one = vel_two = vel_three = gear_nose = gear_left = gear_right = 0;
    gear = count = l_oil_press_low = r_oil_press_low = l_fuel_press_low = r_fuel_press_low = 0;
    eng1_generator = eng2_generator = gen_fail = emer_batt = normal_brakes_fail = l_eng_fire = 0;
    r_eng_fire = stall = overspeed = fd1 = hdg = nav = app = ap = yd = spd = alt = 0;
    gen1_switch = gen2_switch = main_batt_switch = apu_fire = anti_ice = l_start = r_start = 0;
    l_ign_switch = r_ign_switch = pitot_heat = silence = l_throttle_enabled = 0;
    r_throttle_enabled = spoilers_enabled = flaps_enabled = rudder_enabled = 0;
    toe_brakes_enabled = yoke_lr_enabled = yoke_fb_enabled = 0;
    loop = rmu_edit = eng1_start_phase = eng2_start_phase = eng_autostart = on_ground = 1;
    step_increase1 = step_increase2 = step_increase3 = press_length2 = skip = 0;
    apu_status = eng1_starting = eng2_starting = fuel_pumps = fuel_xfeed = 0;
    apu_speed = fsx_apu_speed = warn = caution = 0.0f;
    k8055_search_extra = 0;
    k8055_outputs(); // no board present: only the stores take the values above
}

void CockpitTest::discover(int mask) {
    for (int b = 0; b < 4; b++)
        testboards_io(b).plugged = (mask >> b) & 1;
    k8055_initialise();
    forget();
}

void CockpitTest::forget() {
    testsim_clear_writes(), testsleep_clear(), testboards_calls.clear();
    memset(testboards_reads, 0, sizeof testboards_reads);
}

void CockpitTest::poke(const char *sets) {
    unsigned offset, size, n;
    long value;
    for (; sscanf(sets, " %x:%u=%ld%n", &offset, &size, &value, &n) == 3; sets += n)
        testsim_set(offset, size, (uint32_t)value);
}

std::vector<uint32_t> CockpitTest::written(uint32_t offset) {
    std::vector<uint32_t> out;
    for (const testsim_write &w : testsim_writes_to(offset))
        out.push_back(w.value());
    return out;
}

int CockpitTest::calls(const char *op) {
    return (int)std::count_if(testboards_calls.begin(), testboards_calls.end(),
                              [op](const testboards_call &c) { return c.op == op; });
}

std::string CockpitTest::ops() {
    std::string out;
    for (const testboards_call &c : testboards_calls)
        out += (out.empty() ? "" : " ") + c.op + (c.a >= 0 ? " " + std::to_string(c.a) : "");
    return out;
}

std::string CockpitTest::put(uint32_t offset, size_t size, uint32_t value) {
    char one[32];
    snprintf(one, sizeof one, " %04X:%zu=%u", offset, size, value);
    return one;
}

std::string CockpitTest::sent() {
    std::string out;
    for (const testsim_write &w : testsim_writes())
        if (w.offset != 0x3380 && w.offset != 0x32FA && w.offset != 0x330A)
            out += put(w.offset, w.data.size(), w.value());
    return out;
}
