// The radios against the stand-in simulator: the read (packed BCD words to texts, selector
// bits, power bytes, a failed exchange), the tuning steps and swaps (words written, pauses of
// each control, clamps, the transponder's carries and borrows, the ADF's two words) and the
// keys (audio selectors, keys that do nothing, nothing while the link is down).
#include "app/app.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <gtest/gtest.h>

#include <string.h>

#include <vector>

namespace {

typedef std::vector<unsigned> Pauses;
typedef std::vector<uint32_t> Words;

Words words(uint32_t offset) {
    Words out;
    for (auto &w : testsim_writes_to(offset))
        out.push_back(w.value());
    return out;
}

class Rmu : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        install_allegro(SYSTEM_NONE, &errno, atexit);
    }
    void SetUp() override {
        testsleep_record();
        testsim_start();
        connect_to_sim();
        ASSERT_EQ(connected, 1);
        testsim_clear_writes(); // the announcement
    }
    void TearDown() override {
        connected = 1;
        FSUIPC_Close();
        testsim_stop();
        testsleep_real();
    }
    // One step of radio `edit` from a counter value; returns the counter afterwards.
    int step(int edit, int up, int counter, int control) {
        testsim_clear_writes();
        testsleep_clear();
        rmu_edit = edit;
        rmu_tune_step(up, &counter, control);
        return counter;
    }
};

TEST_F(Rmu, ReadTurnsEveryWordIntoItsText) {
    const uint32_t in[14][3] = {{0x034E, 2, 0x1802}, {0x3118, 2, 0x3697}, {0x0350, 2, 0x1095},
                                {0x0352, 2, 0x0800}, {0x311A, 2, 0x2347}, {0x311C, 2, 0x2342},
                                {0x311E, 2, 0x0005}, {0x3120, 2, 0xFFF7}, {0x0354, 2, 0x12AB},
                                {0x034C, 2, 0x0234}, {0x0356, 2, 0x0105}, {0x0B6A, 1, 1},
                                {0x0B52, 1, 1},      {0x3122, 1, 0xA1}};
    for (auto &r : in)
        testsim_set(r[0], r[1], r[2]);
    rmu_fsuipc_read();
    const char *got[] = {com1_disp1, com2_disp1, nav1_disp1, nav2_disp1, com1_disp2,
                         com2_disp2, nav1_disp2, nav2_disp2, xpndr_disp, adf_disp};
    const char *want[] = {"118.025", "136.975", "110.950", "108.000", "123.475",
                          "123.425", "100.050", "1ff.f75", "12ab",    "1234.5"};
    for (int i = 0; i < 10; i++)
        EXPECT_STREQ(got[i], want[i]) << i;
    EXPECT_EQ(std::vector<int>(
                  {com1_sel, com2_sel, both_sel, nav1_sel, nav2_sel, mkr_sel, dme_sel, adf1_sel}),
              std::vector<int>({1, 0, 1, 0, 0, 0, 0, 1}));
    EXPECT_EQ(electrics, 1);               // 0x0B52 powers the unit whatever 0x0B6A says
    EXPECT_TRUE(testsim_writes().empty()); // a read writes nothing
    // A tuning step has just rewritten a standby text; a failed exchange keeps every text,
    // and works the power flag out again from the bytes last received.
    strcpy(com1_disp2, "118.025");
    testsim_set(0x034E, 2, 0x2222);
    testsim_set(0x0B52, 1, 0);
    testsim_fail_next(1);
    rmu_fsuipc_read();
    EXPECT_STREQ(com1_disp2, "118.025");
    EXPECT_STREQ(com1_disp1, "118.025");
    EXPECT_EQ(read_freq1, 0x1802);
    EXPECT_EQ(electrics, 1); // although the reconnection cleared it
    rmu_fsuipc_read();
    EXPECT_STREQ(com1_disp1, "122.225");
    EXPECT_EQ(electrics, 0);
}

TEST_F(Rmu, AdfExtensionSelectorBitsAndPower) {
    const struct {
        uint16_t m, e;
        const char *want;
    } adfs[] = {{0x0350, 0x0000, "0350.0"},
                {0x0100, 0x0100, "1100.0"},
                {0x0350, 0x0010, "0350.1"},
                {0x0350, 0x1005, "0350.1"},
                {0x0C34, 0x0000, "0c34.0"}};
    for (auto &c : adfs) {
        char t[7] = "xxxxxx";
        rmu_decode_adf(c.m, c.e, t);
        EXPECT_STREQ(t, c.want);
    }
    for (int bit = 0; bit < 8; bit++) {
        rmu_decode_selectors((uint8_t)(1 << bit));
        int flags[] = {adf1_sel, dme_sel,  mkr_sel,  nav2_sel,
                       nav1_sel, both_sel, com2_sel, com1_sel};
        for (int i = 0; i < 8; i++)
            EXPECT_EQ(flags[i], i == bit) << "bit " << bit << " flag " << i;
    }
    const int power[][3] = {{1, 0, 0}, {1, 1, 1}, {0, 0, 1}, {2, 0, 1}, {1, 2, 0}};
    for (auto &p : power)
        EXPECT_EQ(rmu_power_flag(p[0], p[1]), p[2]) << p[0] << ", " << p[1];
}

TEST_F(Rmu, ComAndNavScheduleAndClamps) {
    struct {
        int edit, up, counter, control;
        const char *from, *after;
        uint32_t offset, word;
        unsigned pause;
    } const cases[] = {
        {1, 0, 0, RMU_KEYBOARD, "118.000", "118.000", 0x311A, 0x1800, 200},
        {2, 1, 45, RMU_KEYBOARD, "136.950", "136.975", 0x311C, 0x3697, 300},
        {2, 1, 45, RMU_PANEL, "136.950", "136.975", 0x311C, 0x3697, 200},
        {1, 1, 0, RMU_KEYBOARD, "117.000", "117.025", 0x311A, 0x1702, 200},
        {1, 1, 0, RMU_KEYBOARD, "140.000", "136.975", 0x311A, 0x3697, 200},
        {1, 1, 19, RMU_KEYBOARD, "120.000", "120.025", 0x311A, 0x2002, 200},
        {1, 1, 20, RMU_KEYBOARD, "120.000", "120.100", 0x311A, 0x2010, 200},
        {1, 1, 40, RMU_KEYBOARD, "120.000", "121.000", 0x311A, 0x2100, 300},
        {1, 1, 19, RMU_PANEL, "120.000", "120.025", 0x311A, 0x2002, 50},
        {1, 1, 40, RMU_PANEL, "120.000", "121.000", 0x311A, 0x2100, 200},
        {1, 0, 40, RMU_KEYBOARD, "136.975", "135.975", 0x311A, 0x3597, 300},
        {3, 0, 0, RMU_KEYBOARD, "108.000", "108.000", 0x311E, 0x0800, 200},
        {4, 1, 50, RMU_PANEL, "117.900", "117.950", 0x3120, 0x1795, 50},
        {4, 1, 19, RMU_KEYBOARD, "110.000", "110.050", 0x3120, 0x1005, 200},
        {4, 1, 20, RMU_KEYBOARD, "110.000", "110.200", 0x3120, 0x1020, 200},
        {4, 1, 40, RMU_KEYBOARD, "110.000", "111.000", 0x3120, 0x1100, 300},
        {4, 1, 40, RMU_PANEL, "110.000", "110.200", 0x3120, 0x1020, 50},
    };
    char *texts[] = {com1_disp2, com2_disp2, nav1_disp2, nav2_disp2};
    for (auto &c : cases) {
        strcpy(texts[c.edit - 1], c.from);
        EXPECT_EQ(step(c.edit, c.up, c.counter, c.control), c.counter + 1);
        EXPECT_STREQ(texts[c.edit - 1], c.after) << c.from << " counter " << c.counter;
        EXPECT_EQ(words(c.offset), Words{c.word}) << c.from << " counter " << c.counter;
        EXPECT_EQ(testsleep_pauses(), Pauses{c.pause}) << c.from << " counter " << c.counter;
    }
    EXPECT_EQ(testsim_writes_to(0x3120)[0].data.size(), 2u);
}

TEST_F(Rmu, TransponderDigitChoiceCarriesAndBorrows) {
    struct {
        const char *from;
        int up, counter;
        uint32_t word;
        unsigned kb_pause, panel_pause; // 0: no digit moved, no pause
    } const cases[] = {
        {"7777", 1, 0, 0x7777, 0, 0},      {"0000", 0, 0, 0x0000, 0, 0},
        {"0777", 1, 0, 0x1000, 100, 50},   {"1000", 0, 0, 0x0777, 100, 50},
        {"1200", 0, 20, 0x1170, 150, 100}, {"1234", 0, 20, 0x1233, 100, 50},
        {"6777", 1, 20, 0x7007, 150, 100}, {"1277", 1, 10, 0x1300, 100, 50},
        {"1277", 1, 41, 0x1377, 200, 100}, {"1270", 1, 41, 0x1271, 100, 50},
        {"1200", 0, 41, 0x1100, 200, 100}, {"1210", 0, 41, 0x1200, 150, 100},
        {"7776", 1, 0, 0x7777, 100, 50},   {"1000", 0, 50, 0x0700, 200, 100},
    };
    for (int control : {RMU_KEYBOARD, RMU_PANEL}) {
        for (auto &c : cases) {
            strcpy(xpndr_disp, c.from);
            EXPECT_EQ(step(5, c.up, c.counter, control), c.counter + 1);
            EXPECT_EQ(words(0x0354), Words{c.word}) << c.from << " up " << c.up << " " << c.counter;
            unsigned pause = control == RMU_PANEL ? c.panel_pause : c.kb_pause;
            EXPECT_EQ(testsleep_pauses(), pause ? Pauses{pause} : Pauses{}) << c.from;
            EXPECT_STREQ(xpndr_disp, c.from); // the next read shows the new code
        }
    }
}

TEST_F(Rmu, AdfStepsWriteBothWords) {
    struct {
        const char *from;
        int up, counter, control;
        uint32_t main_word, ext_word;
        unsigned pause;
    } const cases[] = {
        {"0100.0", 0, 0, RMU_KEYBOARD, 0x0100, 0x0000, 150},
        {"1799.9", 1, 0, RMU_KEYBOARD, 0x0799, 0x0109, 150},
        {"0150.0", 0, 100, RMU_KEYBOARD, 0x0100, 0x0000, 300},
        {"0500.0", 1, 29, RMU_KEYBOARD, 0x0500, 0x0001, 150},
        {"0500.0", 1, 30, RMU_KEYBOARD, 0x0501, 0x0000, 150},
        {"0500.0", 1, 60, RMU_KEYBOARD, 0x0510, 0x0000, 200},
        {"0500.0", 1, 29, RMU_PANEL, 0x0500, 0x0001, 50},
        {"0500.0", 1, 60, RMU_PANEL, 0x0510, 0x0000, 100},
        {"0500.0", 1, 100, RMU_PANEL, 0x0600, 0x0000, 200},
        {"0234.5", 1, 100, RMU_KEYBOARD, 0x0334, 0x0005, 300},
        {"0999.9", 1, 0, RMU_KEYBOARD, 0x0000, 0x0100, 150},
    };
    for (auto &c : cases) {
        strcpy(adf_disp, c.from);
        step(6, c.up, c.counter, c.control);
        EXPECT_EQ(words(0x034C), Words{c.main_word}) << c.from << " counter " << c.counter;
        EXPECT_EQ(words(0x0356), Words{c.ext_word}) << c.from << " counter " << c.counter;
        EXPECT_EQ(testsleep_pauses(), Pauses{c.pause}) << c.from << " counter " << c.counter;
    }
    std::vector<testsim_write> all = testsim_writes(); // the main word first
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].offset, 0x034Cu);
    // A step whose exchange fails still rewrites the text and counts, and the ADF step makes
    // its second write after a failed first one.
    strcpy(com1_disp2, "118.000");
    testsim_set(0x311A, 2, 0x1800);
    testsim_fail_next(1);
    EXPECT_EQ(step(1, 1, 0, RMU_KEYBOARD), 1);
    EXPECT_STREQ(com1_disp2, "118.025");
    EXPECT_EQ(testsim_get(0x311A, 2), 0x1800u);
    strcpy(adf_disp, "0350.0");
    testsim_fail_next(1);
    step(6, 1, 0, RMU_KEYBOARD);
    EXPECT_EQ(testsim_get(0x0356, 2), 0x0001u);
}

TEST_F(Rmu, SwapsAndKeys) {
    EXPECT_EQ(step(7, 1, 3, RMU_KEYBOARD), 3); // no radio: nothing, not even the count
    for (int edit = 1; edit <= 6; edit++) {
        rmu_edit = edit;
        rmu_swap(RMU_PANEL);
        rmu_key_action(RMU_KEY_S); // the keyboard's swap
    }
    const uint8_t bytes[] = {0x08, 0x08, 0x04, 0x04, 0x02, 0x02, 0x01, 0x01};
    std::vector<testsim_write> all = testsim_writes();
    ASSERT_EQ(all.size(), 8u);
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(all[i].data, std::vector<uint8_t>{bytes[i]}) << i;
    EXPECT_EQ(all[7].offset, 0x3123u);
    EXPECT_EQ(testsleep_pauses(), (Pauses{200, 100, 200, 100, 200, 100, 200, 100}));
    const struct {
        int code;
        uint8_t before, written;
    } selectors[] = {{RMU_KEY_C, 0x40, 0x80}, {RMU_KEY_V, 0x80, 0x40}, {RMU_KEY_C, 0xC0, 0x80},
                     {RMU_KEY_V, 0x41, 0x41}, {RMU_KEY_B, 0xFF, 0xDF}, {RMU_KEY_N, 0x00, 0x10},
                     {RMU_KEY_M, 0x00, 0x08}, {RMU_KEY_K, 0x00, 0x04}, {RMU_KEY_E, 0x00, 0x02},
                     {RMU_KEY_A, 0x81, 0x80}};
    for (auto &c : selectors) {
        testsim_set(0x3122, 1, c.before);
        rmu_fsuipc_read();
        testsim_clear_writes();
        rmu_key_action(c.code);
        EXPECT_EQ(words(0x3122), Words{c.written}) << std::hex << "key " << c.code;
        EXPECT_EQ(testsim_writes_to(0x3122).at(0).data.size(), 1u);
    }
    // The full stop steps up with the keyboard's counter and pauses.
    rmu_edit = 1;
    strcpy(com1_disp2, "120.000");
    press_length = 40;
    testsleep_clear();
    rmu_key_action(RMU_KEY_STOP);
    EXPECT_STREQ(com1_disp2, "121.000");
    EXPECT_EQ(press_length, 41);
    rmu_key_action(RMU_KEY_COMMA);
    EXPECT_STREQ(com1_disp2, "120.000");
    EXPECT_EQ(testsleep_pauses(), (Pauses{300, 300}));
    // Shift+comma, the keypad's point, Shift+T, upper-case C, Alt+T and a digit do nothing;
    // with the link down neither do the radio keys, but t still cycles the radio.
    testsim_clear_writes();
    testsleep_clear();
    for (int code : {0x483C, 0x5A2E, 0x1454, 0x0343, 0x1400, 0x0231})
        rmu_key_action(code);
    connected = 0;
    for (int code : {RMU_KEY_COMMA, RMU_KEY_STOP, RMU_KEY_S, RMU_KEY_C, RMU_KEY_A})
        rmu_key_action(code);
    EXPECT_EQ(rmu_edit, 1);
    EXPECT_EQ(press_length, 42);
    EXPECT_TRUE(testsim_writes().empty());
    EXPECT_TRUE(testsleep_pauses().empty());
    std::vector<int> seen;
    for (int i = 0; i < 6; i++) {
        rmu_key_action(RMU_KEY_T);
        seen.push_back(rmu_edit);
    }
    EXPECT_EQ(seen, (std::vector<int>{2, 3, 4, 5, 6, 1}));
}

} // namespace
