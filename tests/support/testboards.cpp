// Virtual K8055 boards for unit tests: maps the board file in the test simulator's folder, sets
// its inputs, reads its outputs and records the driver calls through the trace seam; and the
// cockpit tests' fixture with its failure injection.
#include "tests/support/testboards.h"

#include "calibration/calibration.h"
#include "platform/k8055_board_file.h"

#include <atomic>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

static k8055_board_map map = {-1, NULL};
static std::vector<testboards_call> calls_seen;
static int reads[K8055_BOARDS][K8055_DIGITAL_INPUTS + 1];
static int hold_left[K8055_BOARDS][K8055_DIGITAL_INPUTS + 1];
static long selected = -1;

// Runs before the operation acts: an input held for a number of reads opens at the last one.
static void record(const char *op, long a, long b) {
    std::string name(op);
    if (name == "SetCurrentDevice" || name == "OpenDevice")
        selected = a;
    if (name == "ReadDigitalChannel" && selected >= 0 && selected < K8055_BOARDS && a >= 1 &&
        a <= K8055_DIGITAL_INPUTS) {
        reads[selected][a]++;
        if (hold_left[selected][a] > 0 && --hold_left[selected][a] == 0)
            testboards_press((int)selected, (int)a, 0);
    }
    calls_seen.push_back(testboards_call{name, a, b});
}

void testboards_start(void) {
    testboards_stop();
    setenv("VALDORA_K8055_READ_US", "0", 1);
    k8055_board_remove();
    if (k8055_board_create(&map) == -1) {
        fprintf(stderr, "testboards: cannot create the board file\n");
        abort();
    }
    k8055_search_extra = 0;
    testboards_trace_clear();
    for (auto &board : hold_left)
        for (int &n : board)
            n = 0;
    k8055_trace_hook = record;
}

void testboards_stop(void) {
    k8055_trace_hook = NULL;
    k8055_board_close(&map);
}

void testboards_plug(int board, int plugged) {
    k8055_board_put(&map.file->boards[board].plugged, (uint8_t)plugged);
}

void testboards_press(int board, int channel, int active) {
    k8055_board_put(&map.file->boards[board].digital_in[channel - 1], (uint8_t)active);
}

void testboards_hold(int board, int channel, int reads_held) {
    testboards_press(board, channel, 1);
    hold_left[board][channel] = reads_held + 1;
}

void testboards_analog(int board, int channel, int value) {
    k8055_board_put(&map.file->boards[board].analog_in[channel - 1], (uint8_t)value);
}

int testboards_output(int board, int channel) {
    return k8055_board_get(&map.file->boards[board].digital_out[channel - 1]);
}

int testboards_analog_output(int board, int channel) {
    return k8055_board_get(&map.file->boards[board].analog_out[channel - 1]);
}

void testboards_set_output(int board, int channel, int on) {
    k8055_board_put(&map.file->boards[board].digital_out[channel - 1], (uint8_t)on);
}

std::vector<testboards_call> testboards_trace(void) {
    return calls_seen;
}

void testboards_trace_clear(void) {
    calls_seen.clear();
    for (auto &board : reads)
        for (int &n : board)
            n = 0;
}

int testboards_reads(int board, int channel) {
    return reads[board][channel];
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

void CockpitTest::SetUpTestSuite() {
    install_allegro(SYSTEM_NONE, &errno, atexit); // a reconnection sets the window title
}

void CockpitTest::SetUp() {
    reset_state();
    testsleep_record();
    testsim_start();
    connect_to_sim();
    ASSERT_EQ(connected, 1);
    testboards_start();
    electrics = 1;
    forget();
}

void CockpitTest::TearDown() {
    testsim_tamper(nullptr);
    k8055_close();
    reset_state();
    testboards_stop();
    FSUIPC_Close();
    testsim_stop();
    testsleep_real();
}

void CockpitTest::reset_state() {
    int32_t *zero[] = {&velkit,
                       &vel_zero,
                       &vel_one,
                       &vel_two,
                       &vel_three,
                       &gear_nose,
                       &gear_left,
                       &gear_right,
                       &gear,
                       &count,
                       &l_oil_press_low,
                       &r_oil_press_low,
                       &l_fuel_press_low,
                       &r_fuel_press_low,
                       &eng1_generator,
                       &eng2_generator,
                       &gen_fail,
                       &emer_batt,
                       &normal_brakes_fail,
                       &l_eng_fire,
                       &r_eng_fire,
                       &stall,
                       &overspeed,
                       &fd1,
                       &hdg,
                       &nav,
                       &app,
                       &ap,
                       &yd,
                       &spd,
                       &alt,
                       &gen1_switch,
                       &gen2_switch,
                       &main_batt_switch,
                       &apu_fire,
                       &anti_ice,
                       &l_start,
                       &r_start,
                       &l_ign_switch,
                       &r_ign_switch,
                       &pitot_heat,
                       &silence,
                       &l_throttle_enabled,
                       &r_throttle_enabled,
                       &spoilers_enabled,
                       &flaps_enabled,
                       &rudder_enabled,
                       &toe_brakes_enabled,
                       &yoke_lr_enabled,
                       &yoke_fb_enabled};
    for (int32_t *v : zero)
        *v = 0;
    loop = rmu_edit = eng1_start_phase = eng2_start_phase = eng_autostart = on_ground = 1;
    step_increase1 = step_increase2 = step_increase3 = press_length2 = skip = 0;
    apu_status = eng1_starting = eng2_starting = 0;
    fuel_pumps = fuel_xfeed = 0;
    apu_speed = fsx_apu_speed = warn = caution = 0.0f;
    k8055_search_extra = 0;
    k8055_outputs(); // no board present: only the stores take the values above
}

void CockpitTest::discover(int mask) {
    for (int b = 0; b < 4; b++)
        testboards_plug(b, (mask >> b) & 1);
    k8055_initialise();
    forget();
}

void CockpitTest::forget() {
    testsim_clear_writes();
    testsleep_clear();
    testboards_trace_clear();
}

int CockpitTest::pass() {
    forget();
    return k8055_inputs();
}

std::vector<uint32_t> CockpitTest::written(uint32_t offset) {
    std::vector<uint32_t> out;
    for (const testsim_write &w : testsim_writes_to(offset))
        out.push_back(w.value());
    return out;
}

int CockpitTest::calls(const char *op) {
    int n = 0;
    for (const testboards_call &c : testboards_trace())
        n += c.op == op;
    return n;
}

std::string CockpitTest::ops() {
    std::string out;
    for (const testboards_call &c : testboards_trace())
        out += (out.empty() ? "" : " ") + c.op + (c.a >= 0 ? " " + std::to_string(c.a) : "");
    return out;
}
