// Tests of the calibration wizard with Allegro in its no-display mode, a scripted keyboard
// stand-in and virtual boards: the screens and their texts, skip and disable at first screens,
// capital letters as ordinary keys, which boards are offered, and where the screens are put.
#include <gtest/gtest.h>

#include <errno.h>
#include <string>
#include <utility>
#include <vector>

#include "app/app.h"
#include "calibration/calibration.h"
#include "k8055/k8055.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"
#include "tests/support/testboards.h"
#include "tests/support/testsim.h"

namespace {

// Key codes as readkey gives them: scancode in the high byte, character in the low byte.
const int key_d = 0x0464, key_s = 0x1373, key_shift_d = 0x0444, key_shift_s = 0x1353,
          key_x = 0x1878;

// The keyboard stand-in: each readkey takes the next scripted key, after putting both analog
// inputs of every board at 10 + n and 100 + n for the n-th key, so every point read tells
// which screen it was read at. Each screen is kept as it stood when its key was taken.
std::vector<int> script;
size_t next_key;
std::vector<BITMAP *> shown_scrat, shown_screen;

int no_key_waiting(void) {
    return 0;
}

int scripted_key(void) {
    int n = (int)next_key;
    for (int b = 0; b < 4; b++) {
        testboards_analog(b, 1, 10 + n);
        testboards_analog(b, 2, 100 + n);
    }
    BITMAP *s = create_bitmap(scrat->w, scrat->h);
    blit(scrat, s, 0, 0, 0, 0, scrat->w, scrat->h);
    shown_scrat.push_back(s);
    BITMAP *t = create_bitmap(screen->w, screen->h);
    blit(screen, t, 0, 0, 0, 0, screen->w, screen->h);
    shown_screen.push_back(t);
    return next_key < script.size() ? script[next_key++] : key_x;
}

typedef std::vector<std::pair<std::string, double>> lines;

const char *const title = "*C A L I B R A T I O N*";

lines first_screen(const char *axis, const char *prompt) {
    return {{title, 0.15},
            {axis, 0.25},
            {prompt, 0.4},
            {"'s' to skip,'d' disable", 0.65},
            {"Any other key to read", 0.75}};
}

lines point_screen(const char *axis, const char *prompt) {
    return {{title, 0.15}, {axis, 0.25}, {prompt, 0.4}, {"Any key to read value", 0.65}};
}

lines result_screen(lines results) {
    lines l = {{title, 0.15}};
    l.insert(l.end(), results.begin(), results.end());
    l.push_back({"Any key to continue", 0.65});
    return l;
}

std::string print(const char *format, int value) {
    char text[80];
    snprintf(text, sizeof text, format, value);
    return text;
}

// The screen as it should look: the sheet's corner colour, the lines centred in the left panel
// (the old text calls draw on the default text background, black), the right panel a copy.
BITMAP *expected_scrat(const lines &l) {
    BITMAP *b = create_bitmap(2 * width + gap, height);
    clear_to_color(b, getpixel(pick, 0, 0));
    for (auto &line : l)
        textout_centre_ex(b, font, line.first.c_str(), width / 2, (int)(height * line.second),
                          0xFFFF, 0);
    BITMAP *left = create_bitmap(width, height);
    blit(b, left, 0, 0, 0, 0, width, height);
    blit(left, b, 0, 0, width + gap, 0, width, height);
    destroy_bitmap(left);
    return b;
}

// The first differing pixel, or "" when both are the same.
std::string difference(BITMAP *a, BITMAP *b) {
    if (a->w != b->w || a->h != b->h)
        return "sizes differ";
    for (int y = 0; y < a->h; y++)
        for (int x = 0; x < a->w; x++)
            if (getpixel(a, x, y) != getpixel(b, x, y))
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
    return "";
}

class Wizard : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        install_allegro(SYSTEM_NONE, &errno, atexit);
        install_keyboard_hooks(no_key_waiting, scripted_key);
        set_color_depth(32);
    }

    void SetUp() override {
        testsim_start();
        testboards_start();
        width = 280;
        height = 400;
        gap = 75;
        extra_border = angle = 0;
        connected = 1;
        vel_zero = vel_one = vel_two = vel_three = 0;
        int32_t *all[] = {
            &l_throttle_enabled, &l_throttle_cal_min, &l_throttle_cal_idle, &l_throttle_cal_max,
            &r_throttle_enabled, &r_throttle_cal_min, &r_throttle_cal_idle, &r_throttle_cal_max,
            &spoilers_enabled,   &spoilers_ret_cal,   &spoilers_arm_cal,    &spoilers_ext_cal,
            &flaps_enabled,      &flaps_up_cal,       &flaps_8_cal,         &flaps_20_cal,
            &flaps_dn_cal,       &rudder_enabled,     &rudder_left_cal,     &rudder_center_cal,
            &rudder_right_cal,   &toe_brakes_enabled, &toe_brakes_off_cal,  &toe_brakes_on_cal,
            &yoke_lr_enabled,    &yoke_left_cal,      &yoke_center_cal,     &yoke_right_cal,
            &yoke_fb_enabled,    &yoke_forward_cal,   &yoke_mid_cal,        &yoke_back_cal};
        for (int32_t *f : all)
            *f = -7;
    }

    void TearDown() override {
        clear_shown();
        destroy_bitmap(scrat);
        destroy_bitmap(pick);
        destroy_bitmap(screen);
        scrat = pick = screen = NULL;
        testboards_stop();
        testsim_stop();
        vel_zero = vel_one = vel_two = vel_three = 0;
        connected = 0;
    }

    void clear_shown() {
        for (BITMAP *b : shown_scrat)
            destroy_bitmap(b);
        for (BITMAP *b : shown_screen)
            destroy_bitmap(b);
        shown_scrat.clear();
        shown_screen.clear();
    }

    // Makes the bitmaps, plugs and opens the boards in the mask, and runs the wizard with
    // these keys; every key must be taken and no more.
    void run(int mask, std::vector<int> keys) {
        scrat = create_bitmap(2 * width + gap, height);
        pick = create_bitmap(16, 16);
        clear_to_color(pick, makecol(20, 40, 60));
        putpixel(pick, 1, 0, makecol(200, 0, 0)); // only the corner pixel counts
        screen = create_bitmap(1400, 1400);
        clear_to_color(screen, makecol(1, 2, 3));
        int32_t *flags[4] = {&vel_zero, &vel_one, &vel_two, &vel_three};
        for (int b = 0; b < 4; b++)
            if (mask & (1 << b))
                testboards_plug(b, 1);
        SearchDevices();
        for (int b = 0; b < 4; b++)
            if ((*flags[b] = (mask >> b) & 1))
                OpenDevice(b);
        testboards_trace_clear();
        script = keys;
        next_key = 0;
        EXPECT_EQ(K8055_analog_cal(), 0);
        EXPECT_EQ(next_key, keys.size()) << "keys taken";
        EXPECT_EQ(shown_scrat.size(), keys.size()) << "screens shown";
    }

    void expect_screen(size_t n, const lines &l) {
        ASSERT_LT(n, shown_scrat.size());
        BITMAP *e = expected_scrat(l);
        EXPECT_EQ(difference(shown_scrat[n], e), "") << "screen " << n << ": " << l[1].first;
        destroy_bitmap(e);
    }

    size_t analog_reads() {
        size_t n = 0;
        for (auto &c : testboards_trace())
            n += c.op == "ReadAnalogChannel";
        return n;
    }
};

TEST_F(Wizard, NothingOfferedWhileNotConnectedOrWithoutBoards) {
    connected = 0;
    run(0xF, {});
    EXPECT_TRUE(testboards_trace().empty());
    EXPECT_EQ(l_throttle_enabled, -7);
    EXPECT_EQ(yoke_back_cal, -7);
}

// The n-th key reads 10 + n on input 1 and 100 + n on input 2; -7 is left untouched.
TEST_F(Wizard, KeysAtEachScreen) {
    const int x = key_x, s = key_s, d = key_d;
    const struct {
        int mask;
        std::vector<int> keys;
        std::vector<std::pair<int32_t *, int>> fields;
        int reads; // -1: not checked
        int board; // the one board selected, -1: not checked
        // clang-format off
    } rows[] = {
        {0x1, {x, x, x, x, x, x, x, x}, {{&l_throttle_enabled, 1}, {&l_throttle_cal_min, 10},
        {&l_throttle_cal_idle, 11}, {&l_throttle_cal_max, 12}, {&r_throttle_enabled, 1},
        {&r_throttle_cal_min, 104}, {&r_throttle_cal_idle, 105}, {&r_throttle_cal_max, 106}}, 6,
        0},
        // Disable clears the ends only; skip changes and reads nothing.
        {0x1, {d, x, x, x, x}, {{&l_throttle_enabled, 0}, {&l_throttle_cal_min, -1},
        {&l_throttle_cal_idle, -7}, {&l_throttle_cal_max, -1}, {&r_throttle_enabled, 1},
        {&r_throttle_cal_min, 101}, {&skip, 0}}, -1, -1}, {0x1, {s, s}, {{&l_throttle_enabled, -7},
        {&l_throttle_cal_min, -7}, {&r_throttle_enabled, -7}, {&r_throttle_cal_max, -7}, {&skip,
        1}, {&keypress, key_s}}, 0, -1}, {0x2, {d, d}, {{&spoilers_enabled, 0}, {&spoilers_ret_cal,
        -1}, {&spoilers_arm_cal, -1}, {&spoilers_ext_cal, -1}, {&flaps_enabled, 0}, {&flaps_up_cal,
        -1}, {&flaps_8_cal, -1}, {&flaps_20_cal, -1}, {&flaps_dn_cal, -1}}, 0, -1}, {0x2, {x, x, x,
        x, x, x, x, x, x}, {{&spoilers_ret_cal, 10}, {&spoilers_arm_cal, 11}, {&spoilers_ext_cal,
        12}, {&flaps_up_cal, 104}, {&flaps_8_cal, 105}, {&flaps_20_cal, 106}, {&flaps_dn_cal,
        107}}, -1, -1}, {0x4, {d, x, x, x}, {{&rudder_enabled, 0}, {&rudder_left_cal, -1},
        {&rudder_center_cal, -7}, {&rudder_right_cal, -1}, {&toe_brakes_enabled, 1},
        {&toe_brakes_off_cal, 101}, {&toe_brakes_on_cal, 102}}, -1, -1},
        // Only board 3 offers the yoke, and the elevator centre is its mid point.
        {0x8, {x, x, x, x, x, x, x, x}, {{&yoke_lr_enabled, 1}, {&yoke_left_cal, 10},
        {&yoke_center_cal, 11}, {&yoke_right_cal, 12}, {&yoke_fb_enabled, 1}, {&yoke_forward_cal,
        104}, {&yoke_mid_cal, 105}, {&yoke_back_cal, 106}, {&l_throttle_enabled, -7},
        {&rudder_enabled, -7}}, -1, 3},
        // Capital letters are any other key; 's' and 'd' are after the first screen.
        {0x1, {key_shift_s, x, x, x, key_shift_d, x, x, x}, {{&l_throttle_enabled, 1},
        {&l_throttle_cal_min, 10}, {&r_throttle_enabled, 1}, {&r_throttle_cal_min, 104},
        {&r_throttle_cal_max, 106}}, -1, -1}, {0x1, {x, s, d, d, s}, {{&l_throttle_enabled, 1},
        {&l_throttle_cal_min, 10}, {&l_throttle_cal_idle, 11}, {&l_throttle_cal_max, 12},
        {&r_throttle_enabled, -7}}, 3, -1},
        // Skip is cleared between axes and boards.
        {0x3, {s, x, x, x, x, d, x, x, x, x, x}, {{&l_throttle_enabled, -7}, {&r_throttle_cal_max,
        103}, {&spoilers_enabled, 0}, {&flaps_enabled, 1}, {&flaps_up_cal, 106}, {&flaps_dn_cal,
        109}}, -1, -1},
    };
    // clang-format on
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        const auto &r = rows[i];
        SCOPED_TRACE(i);
        if (i)
            TearDown(), SetUp();
        run(r.mask, r.keys);
        for (auto &f : r.fields)
            EXPECT_EQ(*f.first, f.second) << "field " << (&f - &r.fields[0]);
        if (r.reads >= 0) {
            EXPECT_EQ(analog_reads(), (size_t)r.reads);
        }
        if (r.board < 0)
            continue;
        auto trace = testboards_trace();
        ASSERT_FALSE(trace.empty());
        EXPECT_EQ(trace[0].op, "SetCurrentDevice");
        for (auto &c : trace) {
            if (c.op == "SetCurrentDevice") {
                EXPECT_EQ(c.a, r.board);
            }
        }
    }
}

TEST_F(Wizard, Screens) {
    const int x = key_x;
    run(0x1, {x, x, x, x, x, x, x, x});
    expect_screen(0, first_screen("*LEFT THROTTLE*", "Select 'REVERSE THRUST'"));
    expect_screen(1, point_screen("*LEFT THROTTLE*", "Select 'IDLE"));
    expect_screen(2, point_screen("*LEFT THROTTLE*", "Select 'MAX THRUST"));
    expect_screen(3, result_screen({{print("Left Throttle R/T = %i", 10), 0.3},
                                    {print("Left Throttle IDLE= %i", 11), 0.4},
                                    {print("Left Throttle MAX = %i", 12), 0.5}}));
    expect_screen(7, result_screen({{print("Right Throttle R/T= %i", 104), 0.3},
                                    {print("Right Throttle IDL= %i", 105), 0.4},
                                    {print("Right Throttle MAX= %i", 106), 0.5}}));
    TearDown(), SetUp();
    run(0x2, {x, x, x, x, x, x, x, x, x});
    expect_screen(3, result_screen({{print("Spoiler RET = %i", 10), 0.3},
                                    {print("Spoiler ARM = %i", 11), 0.4},
                                    {print("Spoiler EXT = %i", 12), 0.5}}));
    expect_screen(4, first_screen("*FLAPS*", "Set Flaps to 'UP'"));
    expect_screen(7, point_screen("*FLAPS*", "Set Flaps to 'DN'"));
    expect_screen(8, result_screen({{print("Flaps UP = %i", 104), 0.25},
                                    {print("Flaps 8 = %i", 105), 0.35},
                                    {print("Flaps 20 = %i", 106), 0.45},
                                    {print("Flaps DN = %i", 107), 0.55}}));
    TearDown(), SetUp();
    run(0x4, {key_d, x, x, x});
    expect_screen(1, first_screen("*TOE BRAKES*", "Set Toe Brakes 'OFF'"));
    expect_screen(3, result_screen({{print("Toe Brakes OFF = %i", 101), 0.3},
                                    {print("Toe Brakes ON = %i", 102), 0.4}}));
    TearDown(), SetUp();
    gap = -9; // the right panel is still a true copy
    run(0x8, {x, x, x, x, x, x, x, x});
    expect_screen(0, first_screen("*YOKE AILERONS*", "Set Yoke 'LEFT'"));
    expect_screen(7, result_screen({{print("Yoke FORWARD = %i", 104), 0.3},
                                    {print("Yoke CENTER = %i", 105), 0.4},
                                    {print("Yoke BACK = %i", 106), 0.5}}));
}

TEST_F(Wizard, ScreensArePutAtTheBorderOrTurnedInPortrait) {
    extra_border = 10;
    run(0x1, {key_s, key_s});
    BITMAP *e = create_bitmap(screen->w, screen->h);
    clear_to_color(e, makecol(1, 2, 3));
    blit(shown_scrat[0], e, 0, 0, 5, 5, scrat->w, scrat->h);
    EXPECT_EQ(difference(shown_screen[0], e), "");
    destroy_bitmap(e);

    // Portrait: 2 × 280 + 75 = 635 across, 400 high: x = 200 − 317 + 5, y = 317 − 200 + 5.
    TearDown(), SetUp();
    extra_border = 10;
    angle = 64;
    run(0x1, {key_s, key_s});
    // Drawn 200 pixels further right into the expected picture, so no position is negative.
    e = create_bitmap(screen->w, screen->h);
    clear_to_color(e, makecol(1, 2, 3));
    rotate_sprite(e, shown_scrat[0], -112 + 200, 122, ftofix(64));
    std::string diff;
    for (int y = 0; y < 1400 && diff.empty(); y++)
        for (int x = 0; x < 1200 && diff.empty(); x++)
            if (getpixel(shown_screen[0], x, y) != getpixel(e, x + 200, y))
                diff = "pixel " + std::to_string(x) + "," + std::to_string(y);
    EXPECT_EQ(diff, "");
    destroy_bitmap(e);
}

} // namespace
