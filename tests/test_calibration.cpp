// The calibration wizard with Allegro in its no-display mode, a scripted keyboard and virtual
// boards: the points read at each screen, skip and disable at first screens, and the boards
// offered.
#include "tests/support/testboards.h"

#include "calibration/calibration.h"

namespace {

const int key_d = 0x0464, key_s = 0x1373, key_x = 0x1878;

// The keyboard stand-in: before the n-th key it puts both analog inputs of every board at
// 10 + n and 100 + n, so every point tells at which screen it was read.
std::vector<int> script;
size_t next_key, screens;

int scripted_key(void) {
    for (int b = 0; b < 4; b++) {
        testboards_io(b).analog_in[0] = (uint8_t)(10 + next_key);
        testboards_io(b).analog_in[1] = (uint8_t)(100 + next_key);
    }
    screens++;
    return next_key < script.size() ? script[next_key++] : key_x;
}

// The calibration record of the axes, each "flag points..." and axes separated by "|".
std::string record() {
    std::string s;
    for (const testaxis &a : testaxes) {
        s += (s.empty() ? "" : " |") + std::to_string(*a.enabled);
        for (int i = 0; i < 4 && a.points[i]; i++)
            s += " " + std::to_string(*a.points[i]);
    }
    return s;
}

std::string at_start; // the record before any test touched it

class Wizard : public CockpitTest {
  protected:
    static void SetUpTestSuite() {
        CockpitTest::SetUpTestSuite();
        at_start = record();
        install_keyboard_hooks([] { return 0; }, scripted_key); // no key waiting
        set_color_depth(32);
        width = 280, height = 400, gap = 75;
        scrat = create_bitmap(2 * width + gap, height);
        pick = create_bitmap(16, 16);
        screen = create_bitmap(800, 800);
    }
    // Runs the wizard with the boards of a mask and these keys; every key is taken, no more.
    void run(int mask, std::vector<int> keys) {
        discover(mask);
        script = keys, next_key = screens = 0;
        EXPECT_EQ(K8055_analog_cal(), 0);
        EXPECT_EQ(next_key * 1000 + screens, keys.size() * 1001) << "keys taken, screens";
    }
};

TEST_F(Wizard, PointsReadAtEachScreen) {
    const int x = key_x, s = key_s, d = key_d, S = 0x1353, D = 0x0444;
    const std::string t = "-7 -7 -7 -7 |-7 -7 -7 -7 |", u = "|-7 -7 -7 -7 |-7 -7 -7 -7 -7 |";
    const std::string v = "-7 -7 -7 -7 |-7 -7 -7 |-7 -7 -7 -7 |-7 -7 -7 -7";
    const std::string never = "0 -1 -1 -1 |0 -1 -1 -1 |0 -1 -1 -1 |0 -1 -1 -1 -1 |0 -1 -1 -1 |";
    EXPECT_EQ(at_start, never + "0 -1 -1 |0 -1 -1 -1 |0 -1 -1 -1");
    // The n-th key reads 10 + n on input 1 and 100 + n on input 2; -7 is untouched.
    // clang-format off
    const struct { int mask; std::vector<int> keys; std::string record; } rows[] = {
        {1, {d, x, x, x, x}, "0 -1 -7 -1 |1 101 102 103 " + u + v}, // disable clears the ends
        {1, {S, x, x, x, D, x, x, x}, "1 10 11 12 |1 104 105 106 " + u + v}, // capitals: any key
        {1, {x, s, d, d, s}, "1 10 11 12 |-7 -7 -7 -7 " + u + v}, // s, d after a first screen
        {2, {d, d}, t + "0 -1 -1 -1 |0 -1 -1 -1 -1 |" + v},
        {3, {s, x, x, x, x, d, x, x, x, x, x}, // skip is cleared between axes and boards
         "-7 -7 -7 -7 |1 101 102 103 |0 -1 -1 -1 |1 106 107 108 109 |" + v},
        {4, {d, x, x, x}, t + u.substr(1) + "0 -1 -7 -1 |1 101 102 |-7 -7 -7 -7 |-7 -7 -7 -7"},
        {8, {x, x, x, x, x, x, x, x}, t + u.substr(1) + "-7 -7 -7 -7 |-7 -7 -7 |1 10 11 12 |1 104 105 106"}};
    // clang-format on
    for (auto &r : rows) {
        for (const testaxis &a : testaxes)
            for (int i = 0; i < 4 && a.points[i]; i++)
                *a.enabled = *a.points[i] = -7;
        run(r.mask, r.keys);
        EXPECT_EQ(record(), r.record) << "row " << &r - rows;
        EXPECT_EQ(calls("SetCurrentDevice"), __builtin_popcount(r.mask));
        TearDown(), SetUp();
    }
    connected = 0; // not connected: nothing offered
    run(15, {});
    EXPECT_EQ(calls("ReadAnalogChannel"), 0);
}

// The last screen shown. Landscape: its lines on the sheet's corner colour, each centred on
// half a panel at its height fraction, in the library's text mode, the left panel copied right.
TEST_F(Wizard, ScreensShowTheirLinesInBothPanelsAlsoTurnedAndOverlapping) {
    clear_to_color(pick, makecol(0, 0, 90));
    const char *title = "*C A L I B R A T I O N*";
    // The right throttle's first screen; the toe brakes' results, read at the second and third key.
    // clang-format off
    const struct { int mask; std::vector<int> keys; std::vector<std::pair<const char *, double>> lines; } rows[] = {
        {1, {key_s, key_s}, {{title, 0.15}, {"*RIGHT THROTTLE*", 0.25}, {"Select 'REVERSE THRUST'", 0.4},
                             {"'s' to skip,'d' disable", 0.65}, {"Any other key to read", 0.75}}},
        {4, {key_s, key_x, key_x, key_x}, {{title, 0.15}, {"Toe Brakes OFF = 101", 0.3},
                                           {"Toe Brakes ON = 102", 0.4}, {"Any key to continue", 0.65}}}};
    // clang-format on
    BITMAP *want = create_bitmap(2 * width + gap, height);
    for (const auto &r : rows) {
        vel_zero = 0, run(r.mask, r.keys);
        clear_to_color(want, makecol(0, 0, 90));
        for (const auto &l : r.lines)
            textprintf_centre_ex(want, font, width / 2, (int)(height * l.second), 0xFFFF, _textmode,
                                 "%s", l.first);
        blit(want, want, 0, 0, width + gap, 0, width, height);
        int wrong = 0;
        for (int y = 0; y < height; y++)
            for (int x = 0; x < want->w; x++)
                wrong += getpixel(screen, x, y) != getpixel(want, x, y);
        EXPECT_EQ(wrong, 0) << r.mask;
    }
    destroy_bitmap(want);
    // Turned a quarter, with panels overlapping: the right panel is a true copy of the left one,
    // and the screen fills the portrait window, x 0..399 and y 0..539, and nothing outside it.
    angle = 64, gap = -20;
    destroy_bitmap(scrat), clear_bitmap(screen);
    scrat = create_bitmap(2 * width + gap, height);
    run(4, {key_s, key_s});
    int copied = 1, inside = 0, outside = 0;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width + gap; x++)
            copied &= getpixel(scrat, x, y) == getpixel(scrat, width + gap + x, y);
    for (int y = 0; y < 800; y++)
        for (int x = 0; x < 800; x++)
            *(x < 400 && y < 540 ? &inside : &outside) += getpixel(screen, x, y) != 0;
    EXPECT_EQ(copied * 1000000 + (inside > 200000) * 1000 + outside, 1001000) << inside;
    angle = 0;
}

} // namespace
